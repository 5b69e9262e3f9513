// JPEG reading and writing for the conversion job, through TJPEGImage.
#include "app/image_io.h"
#include "codecs/jpeg_image.h"
#include "codecs/jpeg_metadata.h"
#include "imaging/bitmap.h"
#include "runtime/stream.h"

namespace qv {

TReadWarnings ReadJpegFile(const std::string &file_name, TBitmap &image, TJpegMetadata *metadata) {
  TJPEGImage jpeg;
  jpeg.LoadFromFile(file_name);
  jpeg.AssignTo(image);
  if (metadata) *metadata = ReadJpegMetadata(jpeg.CompressedData());
  return {jpeg.DecodeWarnings(), jpeg.FirstDecodeWarning()};
}

void WriteJpeg(const TBitmap &image, TStream &stream, int quality, const TJpegMetadata *metadata) {
  TJPEGImage jpeg;
  jpeg.Assign(image);
  jpeg.SetProgressiveEncoding(false);
  jpeg.SetCompressionQuality(quality);
  if (!metadata) {
    jpeg.SaveToStream(stream);
    return;
  }
  jpeg.Compress();
  std::vector<std::uint8_t> bytes = InsertJpegMetadata(jpeg.CompressedData(), *metadata);
  if (!bytes.empty()) stream.WriteBuffer(bytes.data(), bytes.size());
}

}  // namespace qv
