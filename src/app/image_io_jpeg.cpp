// JPEG reading and writing for the conversion job.
#include "app/image_io.h"
#include "runtime/exceptions.h"

namespace qv {

void ReadJpegFile(const std::string&, TBitmap&) {
  throw Exception("JPEG reading is not built into this version");
}

void WriteJpeg(const TBitmap&, TStream&, int) {
  throw Exception("JPEG writing is not built into this version");
}

}  // namespace qv
