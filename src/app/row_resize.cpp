// A picture resized by a bilinear method while its rows are read.
#include "app/row_resize.h"

#include <algorithm>
#include <new>
#include <vector>

#include "imaging/bilinear_stretch.h"
#include "imaging/fixed_point_bilinear_resize.h"
#include "runtime/exceptions.h"

namespace qv {

std::unique_ptr<TRowResize> TRowResize::For(TResampleMethod method, int src_width, int src_height,
                                            int width, int height, int chunk_rows,
                                            const TWorkContext& work) {
  if (src_width < 1 || src_height < 1 || width < 1 || height < 1) return nullptr;
  try {
    std::unique_ptr<IRowResizer> resizer;
    TPixelFormat format = TPixelFormat::pf24bit;
    if (method == TResampleMethod::kBilinear) {
      resizer = std::make_unique<TBilinearStretchRows>(src_width, src_height, width, height);
    } else if (method == TResampleMethod::kFixedPointBilinear) {
      resizer = std::make_unique<TFixedPointRows>(src_width, src_height, width, height);
      format = TPixelFormat::pf32bit;  // as the fixed-point resize leaves its picture
    } else {
      return nullptr;
    }
    if (!TSourceRowRing::Streams(*resizer)) return nullptr;
    return std::unique_ptr<TRowResize>(
        new TRowResize(std::move(resizer), width, height, format, chunk_rows, work));
  } catch (const EOutOfMemory&) {
    return nullptr;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

TRowResize::TRowResize(std::unique_ptr<IRowResizer> resizer, int width, int height,
                       TPixelFormat format, int chunk_rows, const TWorkContext& work)
    : resizer_(std::move(resizer)), chunk_rows_(std::max(chunk_rows, 1)) {
  dest_.Allocate(width, height, format);
  ring_ = std::make_unique<TSourceRowRing>(*resizer_, dest_, chunk_rows_, work);
}

TRowResize::~TRowResize() = default;

void TRowResize::TakeRows(const std::uint8_t* rows, std::ptrdiff_t step, int count) {
  ring_->TakeRows(rows, step, count);
  FinishRowsMade();
}

void TRowResize::TakePlacedRows(int count) {
  ring_->TakePlacedRows(count);
  FinishRowsMade();
}

void TRowResize::FinishRowsMade() {
  if (!finish_row_) return;
  for (; finished_ < ring_->RowsMade(); ++finished_)
    finish_row_(dest_.ScanLine(finished_), dest_.Width());
}

TBitmap TRowResize::Finish() {
  const int height = resizer_->SourceHeight();
  if (ring_->NextRow() < height) {
    const std::vector<std::uint8_t> black(3 * static_cast<std::size_t>(resizer_->SourceWidth()));
    while (ring_->NextRow() < height) ring_->TakeRows(black.data(), 0, 1);
  }
  ring_->Finish();
  FinishRowsMade();
  return std::move(dest_);
}

}  // namespace qv
