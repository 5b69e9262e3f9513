// A picture as top-down 24-bit rows.
#include "imaging/bgr_rows.h"

#include <cstring>
#include <new>

#include "runtime/exceptions.h"

namespace qv {

TBgrRows::TBgrRows(const TBitmap& image) : width_(image.Width()), height_(image.Height()) {
  if (image.Empty() || width_ <= 0 || height_ <= 0) return;
  const TBitmap* source = &image;
  if (image.PixelFormat() != TPixelFormat::pf24bit) {
    converted_ = image;
    converted_.SetPixelFormat(TPixelFormat::pf24bit);
    source = &converted_;
  }
  if (source->RowStep() > 0) {
    data_ = source->ScanLine(0);
    stride_ = static_cast<std::size_t>(source->RowStep());
    return;
  }
  // Packed rows: three bytes a pixel, no padding.
  stride_ = static_cast<std::size_t>(width_) * 3;
  try {
    flipped_.resize(stride_ * static_cast<std::size_t>(height_));
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory();
  }
  for (int y = 0; y < height_; ++y)
    std::memcpy(flipped_.data() + stride_ * static_cast<std::size_t>(y), source->ScanLine(y),
                stride_);
  converted_ = TBitmap();
  data_ = flipped_.data();
}

}  // namespace qv
