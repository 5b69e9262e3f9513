// The ring of source rows behind a streamed resize.
#include "imaging/source_row_ring.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

#include "imaging/bitmap.h"
#include "runtime/exceptions.h"
#include "runtime/spare_threads.h"

namespace qv {

namespace {

// Destination rows a spare thread takes at once: one row of a reduction integrates many source
// rows already.
constexpr int kDestBand = 1;

}  // namespace

bool TSourceRowRing::Streams(const IRowResizer& resizer) {
  const int height = resizer.SourceHeight();
  if (resizer.SourceWidth() < 1 || height < 1) return false;
  for (int y = 0; y < resizer.DestHeight(); ++y) {
    const TRowSpan span = resizer.RowsRead(y);
    if (span.first < 0 || span.last >= height || span.first > span.last) return false;
  }
  return true;
}

TSourceRowRing::TSourceRowRing(const IRowResizer& resizer, TBitmap& dest, int chunk_rows,
                               const TWorkContext& work)
    : resizer_(resizer),
      work_(work),
      chunk_rows_(std::max(chunk_rows, 1)),
      width_(resizer.SourceWidth()),
      height_(resizer.SourceHeight()),
      pixel_bytes_(resizer.SourcePixelBytes()) {
  if (!Streams(resizer)) throw std::logic_error("resize reads rows outside its source");
  const int dest_rows = std::min(resizer.DestHeight(), dest.Height());
  // Row addresses looked up once: the rows are made on several threads.
  if (dest_rows > 0) {
    dest0_ = dest.ScanLine(0);
    dest_step_ = dest.RowStep();
  }
  try {
    ready_.resize(static_cast<std::size_t>(dest_rows));
    read_.assign(static_cast<std::size_t>(height_), false);
    rows_.resize(static_cast<std::size_t>(height_));
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory();
  }
  // ready_ is the running maximum of the rows below each destination row's last one, so rows are
  // made in order; the reach is the most rows from the lowest first row of the destination rows
  // still to be made to the row that makes the next one ready.
  std::vector<int> first(static_cast<std::size_t>(dest_rows));
  int high = 0;
  for (int i = 0; i < dest_rows; ++i) {
    const TRowSpan span = resizer.RowsRead(i);
    for (int j = span.first; j <= span.last; ++j) read_[static_cast<std::size_t>(j)] = true;
    high = std::max(high, span.last + 1);
    ready_[static_cast<std::size_t>(i)] = high;
    first[static_cast<std::size_t>(i)] = span.first;
  }
  int reach = 1;
  int low = height_;
  for (int i = dest_rows - 1; i >= 0; --i) {
    low = std::min(low, first[static_cast<std::size_t>(i)]);
    reach = std::max(reach, ready_[static_cast<std::size_t>(i)] - low);
  }
  ring_rows_ = std::min(reach + chunk_rows_, height_);
  row_bytes_ = static_cast<std::size_t>(width_) * static_cast<std::size_t>(pixel_bytes_);
  // A spare row for PlaceOf, and four bytes to spare, so that a four-byte load at any pixel stays
  // inside.
  const std::size_t bytes = row_bytes_ * (static_cast<std::size_t>(ring_rows_) + 1) + 4;
  try {
    ring_.resize(bytes);
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory();
  }
  for (int j = 0; j < height_; ++j)
    rows_[static_cast<std::size_t>(j)] =
        ring_.data() + static_cast<std::size_t>(j % ring_rows_) * row_bytes_;
}

void TSourceRowRing::TakeRows(const std::uint8_t* rows, std::ptrdiff_t step, int count) {
  if (count > chunk_rows_) throw std::logic_error("source chunk larger than the ring allows");
  count = std::min(count, height_ - next_row_);
  for (int r = 0; r < count; ++r, ++next_row_) {
    if (!read_[static_cast<std::size_t>(next_row_)]) continue;
    const std::uint8_t* in = rows + r * step;
    auto* out = const_cast<std::uint8_t*>(rows_[static_cast<std::size_t>(next_row_)]);
    if (pixel_bytes_ == 3) {
      std::memcpy(out, in, row_bytes_);
    } else {
      for (int x = 0; x < width_; ++x, in += 3, out += 4) {
        out[0] = in[0];
        out[1] = in[1];
        out[2] = in[2];
        out[3] = 0;
      }
    }
  }
  MakeRowsAbove(next_row_);
}

std::uint8_t* TSourceRowRing::PlaceOf(int row) {
  if (pixel_bytes_ != 3) throw std::logic_error("rows placed for a resizer of 4-byte pixels");
  if (row < 0 || row >= height_ || !read_[static_cast<std::size_t>(row)])
    return ring_.data() + static_cast<std::size_t>(ring_rows_) * row_bytes_;
  return const_cast<std::uint8_t*>(rows_[static_cast<std::size_t>(row)]);
}

void TSourceRowRing::TakePlacedRows(int count) {
  if (count > chunk_rows_) throw std::logic_error("source chunk larger than the ring allows");
  next_row_ += std::min(count, height_ - next_row_);
  MakeRowsAbove(next_row_);
}

void TSourceRowRing::Finish() {
  if (next_row_ < height_) throw std::logic_error("source rows missing");
  MakeRowsAbove(height_);
}

void TSourceRowRing::MakeRowsAbove(int y) {
  const int dest_rows = static_cast<int>(ready_.size());
  int last = next_dest_;
  while (last < dest_rows && ready_[static_cast<std::size_t>(last)] <= y) ++last;
  if (last == next_dest_) return;
  const TSourceRows source{&rows_, ring_.data() + ring_.size() - 3};
  const int first = next_dest_;
  ForEachBand(work_, last - first, kDestBand, [&](int band_first, int band_last) {
    for (int i = first + band_first; i < first + band_last; ++i)
      resizer_.MakeRow(source, i, dest0_ + i * dest_step_);
  });
  next_dest_ = last;
}

}  // namespace qv
