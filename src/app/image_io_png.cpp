// PNG reading and writing for the conversion job.
#include "app/image_io.h"
#include "runtime/exceptions.h"

namespace qv {

void ReadPngFile(const std::string&, TBitmap&) {
  throw Exception("PNG reading is not built into this version");
}

void WritePng(const TBitmap&, TStream&, int) {
  throw Exception("PNG writing is not built into this version");
}

}  // namespace qv
