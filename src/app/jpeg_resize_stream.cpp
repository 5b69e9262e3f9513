// A JPEG decoded straight into a resized picture, band by band.
#include "app/jpeg_resize_stream.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "codecs/jpeg/jpeg_image.h"
#include "imaging/resample_filters.h"

namespace qv {

namespace {

// Rows a JPEG band holds: two blocks of the horizontal pass, few enough that the band, the
// decoder's own rows and the ring of the vertical pass stay in the level-2 cache together (on a
// 96 MP picture 16 rows took 3% less time than 32, and 8 rows gave no more).
constexpr int kJpegBandRows = 16;

// Bands out on spare threads at once: the latest one and the one being waited for.
constexpr int kBandsOut = 2;

TBitmap NewPicture(int width, int height) {
  TBitmap picture;
  picture.Allocate(width, height, TPixelFormat::pf24bit);
  return picture;
}

}  // namespace

TJpegResizeStream::TJpegResizeStream(const TResampleFilter& filter, int src_width, int src_height,
                                     int width, int height, const TWorkContext& work)
    : work_(work),
      src_width_(src_width),
      src_height_(src_height),
      row_lists_(BuildContributions(ResampleScale(width, src_width), src_width, width,
                                    filter.kernel, filter.support)),
      row_pass_(row_lists_),
      column_lists_(BuildContributions(ResampleScale(height, src_height), src_height, height,
                                       filter.kernel, filter.support)),
      column_pass_(column_lists_),
      dest_(NewPicture(width, height)),
      columns_(column_pass_, width, src_height, kJpegBandRows, dest_, work),
      hand_off_(work, kBandsOut) {}

bool TJpegResizeStream::Decode(TJPEGImage& jpeg, TBitmap& image) {
  const bool decoded =
      jpeg.DecodeInBands(kJpegBandRows, [&](const std::uint8_t* rows, std::ptrdiff_t step,
                                            int count) { TakeBand(rows, step, count); });
  hand_off_.Wait();
  if (!decoded) return false;
  columns_.Finish();
  FinishRowsMade();
  image = std::move(dest_);
  return true;
}

void TJpegResizeStream::TakeRows(const std::uint8_t* rows, std::ptrdiff_t step, int count) {
  for (int done = 0; done < count; done += kJpegBandRows)
    TakeBand(rows + done * step, step, std::min(kJpegBandRows, count - done));
}

TBitmap TJpegResizeStream::Finish() {
  if (next_row_ < src_height_) {
    const std::vector<std::uint8_t> black(3 * static_cast<std::size_t>(src_width_));
    while (next_row_ < src_height_)
      TakeBand(black.data(), 0, std::min(kJpegBandRows, src_height_ - next_row_));
  }
  hand_off_.Wait();
  columns_.Finish();
  FinishRowsMade();
  return std::move(dest_);
}

void TJpegResizeStream::FinishRowsMade() {
  if (!finish_row_) return;
  for (; finished_ < columns_.RowsMade(); ++finished_)
    finish_row_(dest_.ScanLine(finished_), dest_.Width());
}

void TJpegResizeStream::TakeBand(const std::uint8_t* rows, std::ptrdiff_t step, int count) {
  count = std::min(count, src_height_ - next_row_);
  if (count < 1) return;
  hand_off_.WaitAllButLatest();  // the bands before the latest are in
  columns_.MakeRowsAbove(latest_first_);
  FinishRowsMade();
  latest_first_ = next_row_;
  const std::size_t row_bytes = 3 * static_cast<std::size_t>(src_width_);
  for (int done = 0; done < count;) {  // in two runs where the band meets the ring's end
    const int run = std::min(count - done, columns_.RowsBeforeWrap(next_row_));
    std::uint8_t* out = columns_.Band(next_row_, run);
    const std::uint8_t* in = rows + done * step;
    next_row_ += run;
    done += run;
    // When a spare thread waits (the other files of a drop are done), the band's horizontal pass
    // runs there while the decoder makes the next band.
    if (!hand_off_.SpareThreadWaits()) {
      hand_off_.RunHere([&] {
        ResampleRowBand(in, step, src_width_, run, out, columns_.Step(), row_pass_,
                        TArithmeticPath::kFastest, work_);
      });
      continue;
    }
    // The piece owns its copy (not cleared first: every byte is copied in), as pieces may finish
    // in any order. On the spare thread it runs alone (a default work context).
    std::shared_ptr<std::uint8_t[]> copy(
        new std::uint8_t[row_bytes * static_cast<std::size_t>(run)]);
    for (int r = 0; r < run; ++r) std::memcpy(copy.get() + r * row_bytes, in + r * step, row_bytes);
    hand_off_.Offer([this, out, run, copy, row_bytes] {
      ResampleRowBand(copy.get(), static_cast<std::ptrdiff_t>(row_bytes), src_width_, run, out,
                      columns_.Step(), row_pass_);
    });
  }
}

}  // namespace qv
