// Reading Windows bitmap (.bmp) files into a Raster image.
#include "codecs/bmp_reader.h"

#include "runtime/exceptions.h"

namespace qv {

void ReadBitmap(TBitmap&, TStream&) { throw Exception("BMP reading is not built yet"); }

}  // namespace qv
