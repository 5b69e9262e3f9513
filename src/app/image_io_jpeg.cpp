// JPEG reading and writing for the conversion job, through TJPEGImage.
#include <cstdint>
#include <cstdio>

#include <jerror.h>
#include <jpeglib.h>

#include "app/image_io.h"
#include "codecs/jpeg/jpeg_image.h"
#include "codecs/jpeg/jpeg_metadata.h"
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

TJPEGScale JpegScaleFor(int full_width, int full_height, int width, int height) {
  for (TJPEGScale scale : {TJPEGScale::jsEighth, TJPEGScale::jsQuarter, TJPEGScale::jsHalf}) {
    // The library's scaled size: the full size divided by the denominator, rounded up.
    const std::int64_t denominator = std::int64_t{1} << static_cast<int>(scale);
    if ((full_width + denominator - 1) / denominator >= 2 * std::int64_t{width} &&
        (full_height + denominator - 1) / denominator >= 2 * std::int64_t{height})
      return scale;
  }
  return TJPEGScale::jsFullSize;
}

void CheckEmbeddableJpeg(TJPEGImage &jpeg) {
  int components = jpeg.JPEGData()->Components();
  if (components != 1 && components != 3 && components != 4)
    throw EJPEG(JERR_CONVERSION_NOTIMPL, "Unsupported color conversion request");
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
