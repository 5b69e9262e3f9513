// BMP reading and writing for the conversion job.
#include "app/image_io.h"
#include "codecs/bmp/bmp_reader.h"
#include "codecs/bmp/bmp_writer.h"
#include "imaging/bitmap.h"
#include "runtime/stream.h"

namespace qv {

void ReadBmpFile(const std::string& file_name, TBitmap& image) {
  TFileStream file(file_name);
  ReadBitmap(image, file);
}

void WriteBmp(const TBitmap& image, TStream& stream) { WriteBitmap(image, stream); }

}  // namespace qv
