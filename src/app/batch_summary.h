// The counts of a drop (or of several): converted, passed over by reason, failed.
#pragma once

#include <array>
#include <string>

#include "app/file_result.h"

namespace qv {

class TBatchSummary {
 public:
  // Counts one result.
  void Add(const TFileResult& result);
  // Takes back a result counted before (its counts are then counted again as they change).
  void Remove(const TFileResult& result);
  // Adds another summary's counts.
  void Add(const TBatchSummary& other);

  int Converted() const { return converted_; }
  int Failed() const { return failed_; }
  // Converted files that came with a warning (also counted as converted).
  int Warned() const { return warned_; }
  int PassedOver() const;
  int PassedOver(TPassReason reason) const { return passed_over_[static_cast<int>(reason)]; }
  int Files() const { return converted_ + failed_ + PassedOver(); }

  // "3 converted, 2 passed over (1 output exists, 1 not a regular file), 1 failed", with
  // ", 1 with warnings" after the converted count when there are any. The parts of the
  // passed-over count appear only when not 0, in the order of TPassReason; ", 2 not reached"
  // at the end when not_reached is above 0 (names a drop ended before). In the user's language.
  std::string Text(int not_reached = 0) const;
  // The same in brief, for a line of a small window: the counts that are not 0, without the
  // reasons ("2 converted, 1 failed"); the converted count also when it is 0 and nothing else is.
  std::string Brief(int not_reached = 0) const;

 private:
  void Count(const TFileResult& result, int step);

  int converted_ = 0;
  int failed_ = 0;
  int warned_ = 0;
  std::array<int, kPassReasonCount> passed_over_{};
};

}  // namespace qv
