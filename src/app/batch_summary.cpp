// The counts of a drop and their one-line text.
#include "app/batch_summary.h"

#include "runtime/strings.h"

namespace qv {

void TBatchSummary::Add(const TFileResult& result) {
  switch (result.status) {
    case TFileStatus::kConverted:
      ++converted_;
      if (!result.warnings.empty()) ++warned_;
      break;
    case TFileStatus::kPassedOver: ++passed_over_[static_cast<int>(result.reason)]; break;
    case TFileStatus::kFailed: ++failed_; break;
  }
}

void TBatchSummary::Add(const TBatchSummary& other) {
  converted_ += other.converted_;
  failed_ += other.failed_;
  warned_ += other.warned_;
  for (int i = 0; i < kPassReasonCount; ++i) passed_over_[i] += other.passed_over_[i];
}

int TBatchSummary::PassedOver() const {
  int total = 0;
  for (int count : passed_over_) total += count;
  return total;
}

std::string TBatchSummary::Text() const {
  std::string text = IntToStr(converted_) + " converted";
  if (warned_ > 0) text += ", " + IntToStr(warned_) + " with warnings";
  text += ", " + IntToStr(PassedOver()) + " passed over";
  std::string reasons;
  for (int i = 0; i < kPassReasonCount; ++i) {
    if (passed_over_[i] == 0) continue;
    if (!reasons.empty()) reasons += ", ";
    reasons += IntToStr(passed_over_[i]) + " " + PassReasonText(static_cast<TPassReason>(i));
  }
  if (!reasons.empty()) text += " (" + reasons + ")";
  text += ", " + IntToStr(failed_) + " failed";
  return text;
}

}  // namespace qv
