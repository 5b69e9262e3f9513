// The AVIF writer: the picture's rows converted to YUV by libavif, encoded by its AV1 encoder at
// a constant quality. Every library object is held by an owner that frees it; libavif calls back
// into no code of ours.
#include "codecs/avif/avif_writer.h"

#include <avif/avif.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>

#include "imaging/bgr_rows.h"
#include "imaging/bitmap.h"
#include "runtime/stream.h"
#include "runtime/strings.h"

namespace qv {

namespace {

struct TImageDeleter {
  void operator()(avifImage* image) const { avifImageDestroy(image); }
};
struct TEncoderDeleter {
  void operator()(avifEncoder* encoder) const { avifEncoderDestroy(encoder); }
};

// The encoded file, freed by libavif.
class TAvifOutput {
 public:
  TAvifOutput() = default;
  ~TAvifOutput() { avifRWDataFree(&data_); }
  TAvifOutput(const TAvifOutput&) = delete;
  TAvifOutput& operator=(const TAvifOutput&) = delete;
  avifRWData* get() { return &data_; }

 private:
  avifRWData data_ = AVIF_DATA_EMPTY;
};

[[noreturn]] void Fail(const char* reason) {
  throw EAvif(FormatText(Tr(avif_messages::kEncoderFailed), {reason}));
}

void Check(avifResult result) {
  if (result != AVIF_RESULT_OK) Fail(avifResultToString(result));
}

int AvifEncoderThreads() {
  return std::max(2, static_cast<int>(std::thread::hardware_concurrency()));
}

}  // namespace

int AvifQuantizerOf(int quality) {
  quality = std::clamp(quality, 1, 100);
  return ((100 - quality) * 63 + 50) / 100;
}

void WriteAvif(const TBitmap& image, TStream& stream, const TAvifOptions& options,
               std::span<const std::uint8_t> exif, std::span<const std::uint8_t> icc_profile) {
  const int width = image.Width(), height = image.Height();
  if (width > kAvifMaxSide || height > kAvifMaxSide) {
    const std::string limit = IntToStr(kAvifMaxSide);
    throw EAvif(FormatText(Tr(avif_messages::kTooLarge),
                           {IntToStr(width), IntToStr(height), limit, limit}));
  }
  const int quality = std::clamp(options.quality, 1, 100);
  const avifPixelFormat yuv_format =
      quality >= 90 ? AVIF_PIXEL_FORMAT_YUV444 : AVIF_PIXEL_FORMAT_YUV420;
  std::unique_ptr<avifImage, TImageDeleter> avif(avifImageCreate(
      static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), 8, yuv_format));
  if (!avif) Fail("out of memory");
  // sRGB as a camera's JPEG has it: BT.709 primaries, the sRGB curve, BT.601 coefficients over
  // the full range of values.
  avif->yuvRange = AVIF_RANGE_FULL;
  avif->colorPrimaries = AVIF_COLOR_PRIMARIES_BT709;
  avif->transferCharacteristics = AVIF_TRANSFER_CHARACTERISTICS_SRGB;
  avif->matrixCoefficients = AVIF_MATRIX_COEFFICIENTS_BT601;
  {
    TBgrRows rows(image);
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, avif.get());
    rgb.format = AVIF_RGB_FORMAT_BGR;
    rgb.depth = 8;
    rgb.pixels = const_cast<std::uint8_t*>(rows.Data());  // read only by the conversion
    rgb.rowBytes = static_cast<std::uint32_t>(rows.Stride());
    Check(avifImageRGBToYUV(avif.get(), &rgb));
  }
  if (!icc_profile.empty())
    avifImageSetProfileICC(avif.get(), icc_profile.data(), icc_profile.size());
  if (!exif.empty()) avifImageSetMetadataExif(avif.get(), exif.data(), exif.size());

  std::unique_ptr<avifEncoder, TEncoderDeleter> encoder(avifEncoderCreate());
  if (!encoder) Fail("out of memory");
  encoder->speed = std::clamp(options.speed, 0, 10);
  encoder->maxThreads = options.threads > 0 ? options.threads : AvifEncoderThreads();
  const int quantizer = AvifQuantizerOf(quality);
  if (avifCodecName(AVIF_CODEC_CHOICE_AOM, AVIF_CODEC_FLAG_CAN_ENCODE) != nullptr) {
    // libaom in constant-quality mode at the quantizer, the whole range left open to it, as
    // libheif and later libavif drive it for a quality number.
    encoder->codecChoice = AVIF_CODEC_CHOICE_AOM;
    encoder->minQuantizer = AVIF_QUANTIZER_BEST_QUALITY;
    encoder->maxQuantizer = AVIF_QUANTIZER_WORST_QUALITY;
    avifEncoderSetCodecSpecificOption(encoder.get(), "end-usage", "q");
    avifEncoderSetCodecSpecificOption(encoder.get(), "cq-level", IntToStr(quantizer).c_str());
  } else {
    encoder->minQuantizer = quantizer;
    encoder->maxQuantizer = quantizer;
  }
  TAvifOutput output;
  Check(avifEncoderWrite(encoder.get(), avif.get(), output.get()));
  stream.WriteBuffer(output.get()->data, output.get()->size);
}

}  // namespace qv
