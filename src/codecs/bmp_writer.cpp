// Writing a Raster image as a Windows bitmap (.bmp) file.
#include "codecs/bmp_writer.h"

#include "runtime/exceptions.h"

namespace qv {

void WriteBitmap(const TBitmap&, TStream&) { throw Exception("BMP writing is not built yet"); }

}  // namespace qv
