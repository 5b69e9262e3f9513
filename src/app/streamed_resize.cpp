// A resize by any resampling method fed with its source rows as a reader makes them.
#include "app/streamed_resize.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "app/image_steps.h"
#include "app/jpeg_resize_stream.h"
#include "app/row_resize.h"
#include "imaging/resample_filters.h"
#include "imaging/sepia.h"
#include "runtime/exceptions.h"

namespace qv {

namespace {

// The most rows one call hands the bilinear ring: a reader's band.
constexpr int kChunkRows = 16;

}  // namespace

std::unique_ptr<TStreamedResize> TStreamedResize::For(TResampleMethod method, int src_width,
                                                      int src_height, int width, int height,
                                                      bool sepia, bool fourth_byte,
                                                      const TWorkContext& work) {
  if (src_width < 1 || src_height < 1 || width < 1 || height < 1) return nullptr;
  if (fourth_byte && method == TResampleMethod::kFixedPointBilinear) return nullptr;
  std::unique_ptr<TStreamedResize> resize(new TStreamedResize());
  const int filter_row = ResampleFilterRow(method);
  if (filter_row < 0) {
    resize->rows_ = TRowResize::For(method, src_width, src_height, width, height, kChunkRows, work);
    if (!resize->rows_) return nullptr;
    resize->chunk_rows_ = kChunkRows;
    if (sepia && ResizeTonesSepia(method)) {
      resize->rows_->SetRowFinish(ApplySepiaRow);
      resize->tones_ = true;
    }
    return resize;
  }
  try {
    resize->filtered_ = std::make_unique<TJpegResizeStream>(
        ResampleFilterTable[static_cast<std::size_t>(filter_row)], src_width, src_height, width,
        height, work);
    if (sepia) {
      resize->filtered_->SetRowFinish(ApplySepiaRow);
      resize->tones_ = true;
    }
  } catch (const EOutOfMemory&) {
    return nullptr;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  return resize;
}

TStreamedResize::~TStreamedResize() = default;

void TStreamedResize::TakeRows(const std::uint8_t* rows, std::ptrdiff_t step, int count) {
  if (filtered_) {
    filtered_->TakeRows(rows, step, count);
    return;
  }
  for (int done = 0; done < count; done += chunk_rows_)
    rows_->TakeRows(rows + done * step, step, std::min(chunk_rows_, count - done));
}

TBitmap TStreamedResize::Finish(const TBitmap& like) {
  if (!filtered_) return rows_->Finish();  // the bilinear methods make a picture of their own
  TBitmap image = filtered_->Finish();
  // The steps of the whole-picture resize on its copy, then the pixels made here.
  TBitmap shaped = like;
  shaped.SetSize(image.Width(), image.Height());
  shaped.SetPixelFormat(TPixelFormat::pf24bit);
  const std::size_t row_bytes = 3 * static_cast<std::size_t>(image.Width());
  const TBitmap& made = image;
  for (int y = 0; y < image.Height(); ++y)
    std::memcpy(shaped.ScanLine(y), made.ScanLine(y), row_bytes);
  return shaped;
}

}  // namespace qv
