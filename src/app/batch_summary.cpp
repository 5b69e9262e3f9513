// The counts of a drop and their one-line text.
#include "app/batch_summary.h"

#include "runtime/strings.h"
#include "runtime/translation.h"

namespace qv {

void TBatchSummary::Count(const TFileResult& result, int step) {
  switch (result.status) {
    case TFileStatus::kConverted:
      converted_ += step;
      if (!result.warnings.empty()) warned_ += step;
      break;
    case TFileStatus::kPassedOver: passed_over_[static_cast<int>(result.reason)] += step; break;
    case TFileStatus::kFailed: failed_ += step; break;
  }
}

void TBatchSummary::Add(const TFileResult& result) { Count(result, 1); }

void TBatchSummary::Remove(const TFileResult& result) { Count(result, -1); }

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

namespace {

std::string CountText(const char* format, int count) {
  return FormatText(format, {IntToStr(count)});
}

}  // namespace

std::string TBatchSummary::Text(int not_reached) const {
  // TRANSLATORS: between the items of a list in one line ("1 converted, 2 failed").
  const std::string separator = TrCtx("list", ", ");
  std::string text = CountText(TrN("%d converted", "%d converted", converted_), converted_);
  if (warned_ > 0)
    text += separator + CountText(TrN("%d with warnings", "%d with warnings", warned_), warned_);
  text +=
      separator + CountText(TrN("%d passed over", "%d passed over", PassedOver()), PassedOver());
  std::string reasons;
  for (int i = 0; i < kPassReasonCount; ++i) {
    if (passed_over_[i] == 0) continue;
    if (!reasons.empty()) reasons += separator;
    // TRANSLATORS: a number of files passed over, then why ("2 output exists").
    reasons += FormatText(TrCtx("files passed over", "%d %s"),
                          {IntToStr(passed_over_[i]), PassReasonText(static_cast<TPassReason>(i))});
  }
  if (!reasons.empty()) text += " (" + reasons + ")";
  text += separator + CountText(TrN("%d failed", "%d failed", failed_), failed_);
  if (not_reached > 0)
    text +=
        separator + CountText(TrN("%d not reached", "%d not reached", not_reached), not_reached);
  return text;
}

std::string TBatchSummary::Brief(int not_reached) const {
  const std::string separator = TrCtx("list", ", ");
  std::string text;
  auto add = [&](const char* format, int count) {
    if (count == 0) return;
    if (!text.empty()) text += separator;
    text += CountText(format, count);
  };
  add(TrN("%d converted", "%d converted", converted_), converted_);
  add(TrN("%d with warnings", "%d with warnings", warned_), warned_);
  add(TrN("%d passed over", "%d passed over", PassedOver()), PassedOver());
  add(TrN("%d failed", "%d failed", failed_), failed_);
  add(TrN("%d not reached", "%d not reached", not_reached), not_reached);
  return text.empty() ? CountText(TrN("%d converted", "%d converted", 0), 0) : text;
}

}  // namespace qv
