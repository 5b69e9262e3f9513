// JPEG reading and writing for the conversion job, through TJPEGImage.
#include <cstdint>
#include <cstdio>

#include <jerror.h>
#include <jpeglib.h>

#include "app/conversion_job.h"
#include "app/image_io.h"
#include "codecs/jpeg/jpeg_image.h"
#include "codecs/jpeg/jpeg_metadata.h"
#include "codecs/jpeg/jpeg_stream_layout.h"
#include "imaging/bitmap.h"
#include "imaging/image_limits.h"
#include "runtime/paths.h"
#include "runtime/stream.h"
#include "runtime/strings.h"

namespace qv {

void LoadJpegFile(const std::string &file_name, TJPEGImage &jpeg) {
  if (LowerCaseAscii(ExtractFileExt(file_name)) != kMultiPictureExtension) {
    jpeg.LoadFromFile(file_name);
    return;
  }
  std::vector<std::uint8_t> bytes = ReadWholeFile(file_name);
  // A file whose first picture has no end is taken whole: the library then says what is wrong.
  std::size_t end = WalkJpegStream(bytes, kMaxJpegScans).end;
  TReadOnlyMemoryStream stream(
      std::span<const std::uint8_t>(bytes).first(end > 0 ? end : bytes.size()));
  jpeg.LoadFromStream(stream);
}

TReadWarnings ReadJpegFile(const std::string &file_name, TBitmap &image, TJpegMetadata *metadata) {
  TJPEGImage jpeg;
  LoadJpegFile(file_name, jpeg);
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
  const TJPEGData &data = *jpeg.JPEGData();
  int components = data.Components();
  if (components != 1 && components != 3 && components != 4)
    throw EJPEG(JERR_CONVERSION_NOTIMPL, "Unsupported color conversion request");
  // The limits decoding applies, in its order: the size the header declares, then the scans,
  // counted from the markers.
  CheckImageSize(data.Width(), data.Height(), 24);
  if (WalkJpegStream(data.Data(), kMaxJpegScans).scans > kMaxJpegScans) throw EJPEG(kTooManyScans);
}

void WriteJpeg(const TBitmap &image, TStream &stream, int quality, const TJpegMetadata *metadata,
               const TWorkContext &work) {
  TJPEGImage jpeg;
  jpeg.SetWorkContext(work);
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
