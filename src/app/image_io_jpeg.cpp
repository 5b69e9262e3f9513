// JPEG reading and writing for the conversion job, through TJPEGImage.
#include <cstdint>
#include <cstdio>

#include <jerror.h>
#include <jpeglib.h>

#include "app/image_io.h"
#include "codecs/jpeg_image.h"
#include "imaging/bitmap.h"
#include "runtime/stream.h"

namespace qv {

void ReadJpegFile(const std::string &file_name, TBitmap &image) {
  TJPEGImage jpeg;
  jpeg.LoadFromFile(file_name);
  jpeg.AssignTo(image);
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

void CheckEmbeddableJpeg(const TJPEGImage &jpeg) {
  int components = jpeg.JPEGData()->Components();
  if (components != 1 && components != 3 && components != 4)
    throw EJPEG(JERR_CONVERSION_NOTIMPL, "Unsupported color conversion request");
}

void WriteJpeg(const TBitmap &image, TStream &stream, int quality) {
  TJPEGImage jpeg;
  jpeg.Assign(image);
  jpeg.SetProgressiveEncoding(false);
  jpeg.SetCompressionQuality(quality);
  jpeg.SaveToStream(stream);
}

}  // namespace qv
