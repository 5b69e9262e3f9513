// PNG reading and writing for the conversion job.
#include "app/image_io.h"
#include "codecs/png_object.h"
#include "imaging/bitmap.h"
#include "runtime/stream.h"

namespace qv {

void ReadPngFile(const std::string& file_name, TBitmap& image) {
  TPNGObject png;
  png.LoadFromFile(file_name);
  png.AssignTo(image);
}

void WritePng(const TBitmap& image, TStream& stream, int compression_level) {
  TPNGObject png;
  png.AssignBitmap(image);
  png.SetCompressionLevel(compression_level);
  png.SaveToStream(stream);
}

}  // namespace qv
