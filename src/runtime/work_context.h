// What a piece of work may share its long loops with: the spare threads lent to it by the drop
// that runs it, or none. Passed down from the drop to the steps that can use help.
#pragma once

namespace qv {

class TSpareThreads;

// A small value: copy it freely. The spare threads it names must outlive every copy.
class TWorkContext {
 public:
  // This thread alone: bands run one after the other on it and nothing is handed off.
  TWorkContext() = default;
  // The work may share its loops with spare (see ForEachBand, THandOff); help_expected tells
  // that one of them will likely be free before the work ends.
  explicit TWorkContext(TSpareThreads& spare, bool help_expected = false)
      : spare_(&spare), help_expected_(help_expected) {}

  // The spare threads lent to the work, or nullptr.
  TSpareThreads* Spare() const { return spare_; }
  bool HelpExpected() const { return help_expected_; }

 private:
  TSpareThreads* spare_ = nullptr;
  bool help_expected_ = false;
};

}  // namespace qv
