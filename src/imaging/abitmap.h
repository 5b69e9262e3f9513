// TABitmap: a Raster image that keeps 32 bits per pixel, the operand of the fixed-point resize.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/bitmap.h"

namespace qv {

class TABitmap {
 public:
  // An empty image at 32 bits per pixel.
  TABitmap();

  // Becomes a copy of source converted to 32 bits per pixel (a 24-bit source gets fourth bytes
  // of 0); nullptr makes it empty.
  void Assign(const TBitmap* source);
  // 32 bits per pixel, then the width, then the height (new pixels are white).
  void SetSize(int width, int height);

  int Width() const { return bitmap_.Width(); }
  int Height() const { return bitmap_.Height(); }
  std::ptrdiff_t RowStep() const { return bitmap_.RowStep(); }
  // Row y (0 is the top); throws EInvalidGraphicOperation for a row outside the image.
  std::uint8_t* ScanLine(int y) { return bitmap_.ScanLine(y); }
  const std::uint8_t* ScanLine(int y) const { return bitmap_.ScanLine(y); }

  // The image itself, for assigning it to an ordinary Raster image.
  const TBitmap& Bitmap() const { return bitmap_; }

 private:
  TBitmap bitmap_;
};

}  // namespace qv
