// The WebP writer, read back with libwebp's own decoder and demuxer: lossless files give every
// pixel format's colours exactly, lossy files stay close, metadata lands in its chunks, and a
// picture over the format's limit is refused before anything is written.
#include "codecs/webp/webp_writer.h"

#include <gtest/gtest.h>
#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "imaging/bitmap.h"
#include "runtime/stream.h"
#include "runtime/strings.h"
#include "support/pixel_format_name.h"

namespace qv {
namespace {

// A picture with smooth gradients and a hard edge, in 24 bits, then held in format (top-down
// when asked): what any writer must take.
TBitmap Picture(int width, int height, TPixelFormat format = TPixelFormat::pf24bit,
                bool top_down = false) {
  TBitmap image;
  image.Allocate(width, height, TPixelFormat::pf24bit, top_down);
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

// The picture's colours as top-down packed blue-green-red, the way a decoder gives them.
std::vector<std::uint8_t> Expected(const TBitmap& image) {
  TBitmap copy = image;
  copy.SetPixelFormat(TPixelFormat::pf24bit);
  std::vector<std::uint8_t> bgr;
  for (int y = 0; y < copy.Height(); ++y) {
    const std::uint8_t* row = copy.ScanLine(y);
    bgr.insert(bgr.end(), row, row + 3 * copy.Width());
  }
  return bgr;
}

std::vector<std::uint8_t> Encode(const TBitmap& image, const TWebPOptions& options,
                                 std::span<const std::uint8_t> exif = {},
                                 std::span<const std::uint8_t> icc = {}) {
  TMemoryStream stream;
  WriteWebP(image, stream, options, exif, icc);
  return stream.Bytes();
}

std::vector<std::uint8_t> Decode(const std::vector<std::uint8_t>& file, int& width, int& height) {
  std::unique_ptr<std::uint8_t, decltype(&WebPFree)> pixels(
      WebPDecodeBGR(file.data(), file.size(), &width, &height), WebPFree);
  if (!pixels) return {};
  return {pixels.get(), pixels.get() + std::size_t{3} * width * height};
}

struct FormatCase {
  TPixelFormat format;
  bool top_down;
};

class WebPLossless : public ::testing::TestWithParam<FormatCase> {};

TEST_P(WebPLossless, GivesBackTheColoursOfEveryPixelFormat) {
  // Odd sides: no row or column is a whole block of the coder.
  const TBitmap image = Picture(37, 21, GetParam().format, GetParam().top_down);
  const std::vector<std::uint8_t> file = Encode(image, {.quality = 50, .lossless = true});
  int width = 0, height = 0;
  const std::vector<std::uint8_t> decoded = Decode(file, width, height);
  ASSERT_EQ(width, 37);
  ASSERT_EQ(height, 21);
  EXPECT_EQ(decoded, Expected(image));
}

INSTANTIATE_TEST_SUITE_P(Formats, WebPLossless,
                         ::testing::Values(FormatCase{TPixelFormat::pf24bit, false},
                                           FormatCase{TPixelFormat::pf24bit, true},
                                           FormatCase{TPixelFormat::pf32bit, false},
                                           FormatCase{TPixelFormat::pf8bit, false},
                                           FormatCase{TPixelFormat::pf1bit, false},
                                           FormatCase{TPixelFormat::pf16bit, false}),
                         [](const auto& test_info) {
                           const FormatCase& c = test_info.param;
                           return testing::PixelFormatName(c.format) +
                                  (c.top_down ? "_top_down" : "");
                         });

TEST(WebPLossy, StaysCloseAndQualityTradesSizeForDetail) {
  const TBitmap image = Picture(120, 80);
  const std::vector<std::uint8_t> expected = Expected(image);
  std::size_t previous_size = 0;
  double previous_error = 1e9;
  for (int quality : {20, 60, 95}) {
    const std::vector<std::uint8_t> file = Encode(image, {.quality = quality});
    int width = 0, height = 0;
    const std::vector<std::uint8_t> decoded = Decode(file, width, height);
    ASSERT_EQ(decoded.size(), expected.size()) << quality;
    double error = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) error += std::abs(decoded[i] - expected[i]);
    error /= static_cast<double>(expected.size());
    EXPECT_LT(error, 6.0) << quality;
    EXPECT_GT(file.size(), previous_size) << quality;
    EXPECT_LT(error, previous_error) << quality;
    previous_size = file.size();
    previous_error = error;
  }
}

TEST(WebPMetadata, ExifAndProfileGoIntoTheirChunksUnchanged) {
  const std::vector<std::uint8_t> exif = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0};
  const std::vector<std::uint8_t> icc(300, 0x5A);
  for (bool lossless : {false, true}) {
    const std::vector<std::uint8_t> file =
        Encode(Picture(16, 16), {.quality = 80, .lossless = lossless}, exif, icc);
    const WebPData data{file.data(), file.size()};
    std::unique_ptr<WebPDemuxer, decltype(&WebPDemuxDelete)> demux(WebPDemux(&data),
                                                                   WebPDemuxDelete);
    ASSERT_NE(demux, nullptr);
    const std::uint32_t flags = WebPDemuxGetI(demux.get(), WEBP_FF_FORMAT_FLAGS);
    EXPECT_NE(flags & EXIF_FLAG, 0u);
    EXPECT_NE(flags & ICCP_FLAG, 0u);
    EXPECT_EQ(flags & ALPHA_FLAG, 0u);
    for (auto [fourcc, expected] : {std::pair{"EXIF", &exif}, std::pair{"ICCP", &icc}}) {
      WebPChunkIterator chunk;
      ASSERT_TRUE(WebPDemuxGetChunk(demux.get(), fourcc, 1, &chunk)) << fourcc;
      EXPECT_EQ(std::vector<std::uint8_t>(chunk.chunk.bytes, chunk.chunk.bytes + chunk.chunk.size),
                *expected)
          << fourcc;
      WebPDemuxReleaseChunkIterator(&chunk);
    }
    int width = 0, height = 0;
    EXPECT_EQ(Decode(file, width, height).size(), 16u * 16u * 3u);
  }
}

TEST(WebPLimits, ASideOverTheLimitIsRefusedBeforeAnythingIsWritten) {
  EXPECT_EQ(kWebPMaxSide, WEBP_MAX_DIMENSION);
  // The largest side still goes.
  int width = 0, height = 0;
  EXPECT_EQ(Decode(Encode(Picture(kWebPMaxSide, 2), {}), width, height).size(),
            std::size_t{3} * kWebPMaxSide * 2);
  for (auto [w, h] : {std::pair{kWebPMaxSide + 1, 2}, std::pair{2, kWebPMaxSide + 1}}) {
    TMemoryStream stream;
    try {
      WriteWebP(Picture(w, h), stream, {});
      ADD_FAILURE() << w << "x" << h << " was written";
    } catch (const EWebP& error) {
      EXPECT_EQ(error.Message(), FormatText(Tr(webp_messages::kTooLarge),
                                            {IntToStr(w), IntToStr(h), "16383", "16383"}));
    }
    EXPECT_EQ(stream.Bytes().size(), 0u);
  }
}

}  // namespace
}  // namespace qv
