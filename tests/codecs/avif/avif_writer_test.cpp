// The AVIF writer, read back with libavif's decoder: the picture within the loss the quality
// allows, more detail at a higher quality, metadata in the file, and a picture over the format's
// limit refused before anything is written.
#include "codecs/avif/avif_writer.h"

#include <avif/avif.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "imaging/bitmap.h"
#include "runtime/stream.h"
#include "runtime/strings.h"

namespace qv {
namespace {

// Smooth gradients and a hard edge, 24 bits, held in format.
TBitmap Picture(int width, int height, TPixelFormat format = TPixelFormat::pf24bit) {
  TBitmap image;
  image.Allocate(width, height, TPixelFormat::pf24bit);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = image.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      row[3 * x] = static_cast<std::uint8_t>(x * 255 / width);
      row[3 * x + 1] = static_cast<std::uint8_t>(y * 255 / height);
      row[3 * x + 2] = x < width / 2 ? 40 : 220;
    }
  }
  image.SetPixelFormat(format);
  return image;
}

struct TDecoded {
  int width = 0, height = 0;
  avifPixelFormat yuv = AVIF_PIXEL_FORMAT_NONE;
  std::vector<std::uint8_t> bgr;
  std::vector<std::uint8_t> exif, icc;
};

TDecoded Decode(const std::vector<std::uint8_t>& file) {
  std::unique_ptr<avifDecoder, decltype(&avifDecoderDestroy)> decoder(avifDecoderCreate(),
                                                                      avifDecoderDestroy);
  std::unique_ptr<avifImage, decltype(&avifImageDestroy)> image(avifImageCreateEmpty(),
                                                                avifImageDestroy);
  TDecoded out;
  if (avifDecoderReadMemory(decoder.get(), image.get(), file.data(), file.size()) != AVIF_RESULT_OK)
    return out;
  out.width = static_cast<int>(image->width);
  out.height = static_cast<int>(image->height);
  out.yuv = image->yuvFormat;
  out.exif.assign(image->exif.data, image->exif.data + image->exif.size);
  out.icc.assign(image->icc.data, image->icc.data + image->icc.size);
  avifRGBImage rgb;
  avifRGBImageSetDefaults(&rgb, image.get());
  rgb.format = AVIF_RGB_FORMAT_BGR;
  rgb.depth = 8;
  out.bgr.resize(std::size_t{3} * out.width * out.height);
  rgb.pixels = out.bgr.data();
  rgb.rowBytes = static_cast<std::uint32_t>(3 * out.width);
  if (avifImageYUVToRGB(image.get(), &rgb) != AVIF_RESULT_OK) out.bgr.clear();
  return out;
}

std::vector<std::uint8_t> Encode(const TBitmap& image, const TAvifOptions& options,
                                 std::span<const std::uint8_t> exif = {},
                                 std::span<const std::uint8_t> icc = {}) {
  TMemoryStream stream;
  WriteAvif(image, stream, options, exif, icc);
  return stream.Bytes();
}

double MeanError(const TBitmap& image, const std::vector<std::uint8_t>& bgr) {
  TBitmap copy = image;
  copy.SetPixelFormat(TPixelFormat::pf24bit);
  double total = 0;
  for (int y = 0; y < copy.Height(); ++y) {
    const std::uint8_t* row = copy.ScanLine(y);
    for (int i = 0; i < 3 * copy.Width(); ++i)
      total += std::abs(row[i] - bgr[static_cast<std::size_t>(3 * copy.Width() * y + i)]);
  }
  return total / (3.0 * copy.Width() * copy.Height());
}

TEST(AvifWriter, EveryPixelFormatComesBackWithinTheLossAndQualityTradesSizeForDetail) {
  for (TPixelFormat format : {TPixelFormat::pf24bit, TPixelFormat::pf32bit, TPixelFormat::pf8bit}) {
    // Odd sides: the half-resolution colour planes have a last, half-covered column and row.
    const TBitmap image = Picture(45, 31, format);
    std::size_t previous_size = 0;
    double previous_error = 1e9;
    for (int quality : {30, 60, 95}) {
      const TDecoded decoded = Decode(Encode(image, {.quality = quality, .speed = 9}));
      ASSERT_EQ(decoded.width, 45);
      ASSERT_EQ(decoded.height, 31);
      ASSERT_FALSE(decoded.bgr.empty());
      EXPECT_EQ(decoded.yuv, quality >= 90 ? AVIF_PIXEL_FORMAT_YUV444 : AVIF_PIXEL_FORMAT_YUV420);
      const double error = MeanError(image, decoded.bgr);
      // Within the loss a viewer would expect of the quality (a hard edge in a small picture).
      EXPECT_LT(error, quality == 30 ? 12.0 : quality == 60 ? 6.0 : 2.0) << quality << " " << error;
      EXPECT_LT(error, previous_error) << quality;
      const std::size_t size = Encode(image, {.quality = quality, .speed = 9}).size();
      EXPECT_GT(size, previous_size) << quality;
      previous_error = error;
      previous_size = size;
    }
  }
}

// The encoder's threads share the picture out without changing the file, so it is the same on
// any machine whatever its processor count.
TEST(AvifWriter, TheFileDoesNotDependOnTheEncodersThreads) {
  const TBitmap image = Picture(300, 200);
  const std::vector<std::uint8_t> two = Encode(image, {.speed = 8, .threads = 2});
  EXPECT_EQ(Encode(image, {.speed = 8, .threads = 7}), two);
  EXPECT_EQ(Encode(image, {.speed = 8}), two);
}

TEST(AvifWriter, ExifAndProfileAreTheFilesUnchanged) {
  const std::vector<std::uint8_t> exif = {'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  const std::vector<std::uint8_t> icc(300, 0x5A);
  const TDecoded decoded = Decode(Encode(Picture(16, 16), {.speed = 10}, exif, icc));
  EXPECT_EQ(decoded.exif, exif);
  EXPECT_EQ(decoded.icc, icc);
  const TDecoded plain = Decode(Encode(Picture(16, 16), {.speed = 10}));
  EXPECT_TRUE(plain.exif.empty());
  EXPECT_TRUE(plain.icc.empty());
}

TEST(AvifWriter, ASideOverTheLimitIsRefusedBeforeAnythingIsWritten) {
  for (auto [w, h] : {std::pair{kAvifMaxSide + 1, 2}, std::pair{2, kAvifMaxSide + 1}}) {
    TMemoryStream stream;
    try {
      WriteAvif(Picture(w, h), stream, {});
      ADD_FAILURE() << w << "x" << h << " was written";
    } catch (const EAvif& error) {
      EXPECT_EQ(error.Message(), FormatText(Tr(avif_messages::kTooLarge),
                                            {IntToStr(w), IntToStr(h), "65536", "65536"}));
    }
    EXPECT_EQ(stream.Bytes().size(), 0u);
  }
}

}  // namespace
}  // namespace qv
