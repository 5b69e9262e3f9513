// Reading Windows bitmap (.bmp) files into a Raster image.
#pragma once

#include <string>

namespace qv {

class TBitmap;
class TStream;

// Reads one BMP from the stream's position to its end into image, replacing what it held.
// Zero bytes give an empty image. Throws EInvalidGraphic, EReadError or EOutOfMemory; image is
// unchanged on failure.
void ReadBitmap(TBitmap& image, TStream& stream);

}  // namespace qv
