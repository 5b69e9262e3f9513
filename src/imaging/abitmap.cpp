// TABitmap: a Raster image held at 32 bits per pixel.
#include "imaging/abitmap.h"

namespace qv {

TABitmap::TABitmap() { bitmap_.SetPixelFormat(TPixelFormat::pf32bit); }

void TABitmap::Assign(const TBitmap* source) {
  bitmap_.Assign(source);
  bitmap_.SetPixelFormat(TPixelFormat::pf32bit);
}

void TABitmap::SetSize(int width, int height) {
  bitmap_.SetPixelFormat(TPixelFormat::pf32bit);
  bitmap_.SetWidth(width);
  bitmap_.SetHeight(height);
}

}  // namespace qv
