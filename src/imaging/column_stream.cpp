// The ring of work rows behind the streamed vertical pass.
#include "imaging/column_stream.h"

#include <algorithm>
#include <limits>
#include <new>
#include <stdexcept>

#include "imaging/filtered_resample.h"
#include "runtime/exceptions.h"

namespace qv {

TColumnStream::TColumnStream(const TColumnPass& pass, int width, int work_height, int band_rows,
                             TBitmap& dest, const TWorkContext& work)
    : pass_(pass), work_(work), width_(width), work_height_(std::max(work_height, 1)), dest_(dest) {
  band_rows = std::max(band_rows, 1);
  const TContributionLists& lists = pass.Lists();
  const int dest_rows = std::min(dest.Height(), static_cast<int>(lists.first.size()) - 1);
  try {
    ready_.assign(static_cast<std::size_t>(std::max(dest_rows, 0)), 0);
    keep_.assign(ready_.size(), std::numeric_limits<int>::max());
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory();
  }
  // ready_ is the running maximum of the rows below each list's last tap, so rows are made in
  // order; keep_ the running minimum of first taps from the end. A list without taps reads
  // nothing.
  int high = 0;
  for (int i = 0; i < dest_rows; ++i) {
    const TContribution* list = lists.List(static_cast<std::size_t>(i));
    for (std::size_t e = 0; e < lists.Count(static_cast<std::size_t>(i)); ++e) {
      high = std::max(high, static_cast<int>(list[e].index) + 1);
      keep_[static_cast<std::size_t>(i)] =
          std::min(keep_[static_cast<std::size_t>(i)], static_cast<int>(list[e].index));
    }
    ready_[static_cast<std::size_t>(i)] = high;
  }
  int span = 0;
  for (int i = dest_rows - 1; i >= 0; --i) {
    auto k = static_cast<std::size_t>(i);
    if (k + 1 < keep_.size()) keep_[k] = std::min(keep_[k], keep_[k + 1]);
    if (keep_[k] != std::numeric_limits<int>::max()) span = std::max(span, ready_[k] - keep_[k]);
  }
  // The rows one destination row reads, the band being written and the band before it (which
  // may still be in the making while the rows above it are read).
  const long long wanted = static_cast<long long>(span) + 2LL * band_rows;
  const long long rounded = (wanted + band_rows - 1) / band_rows * band_rows;
  ring_rows_ = static_cast<int>(std::min<long long>(rounded, work_height_));
  ring_.Allocate(width, ring_rows_, TPixelFormat::pf24bit, true);
  slot0_ = ring_.ScanLine(0);
  step_ = ring_.RowStep();
  try {
    rows_.resize(static_cast<std::size_t>(work_height_));
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory();
  }
  for (int j = 0; j < work_height_; ++j)
    rows_[static_cast<std::size_t>(j)] = slot0_ + (j % ring_rows_) * step_;
}

std::uint8_t* TColumnStream::Band(int first, int count) {
  if (first < 0 || count < 1 || first + count > work_height_ || count > RowsBeforeWrap(first))
    throw std::logic_error("work band outside the ring");
  // Writing these rows drops rows first + count - ring_rows_ and above from the ring.
  const std::size_t next = static_cast<std::size_t>(next_);
  if (next < keep_.size() && keep_[next] < first + count - ring_rows_)
    throw std::logic_error("work band overwrites rows still to be read");
  return slot0_ + (first % ring_rows_) * step_;
}

void TColumnStream::MakeRowsAbove(int y) {
  const int dest_rows = static_cast<int>(ready_.size());
  int last = next_;
  while (last < dest_rows && ready_[static_cast<std::size_t>(last)] <= y) ++last;
  if (last == next_) return;
  pass_.Run(rows_.data(), width_, dest_, next_, last, TArithmeticPath::kFastest, work_);
  next_ = last;
}

}  // namespace qv
