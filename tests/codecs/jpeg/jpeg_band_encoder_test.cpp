// The band encoder against libjpeg: with spare threads lent, TJPEGImage compresses colour
// pictures in bands of its own, and the files must be the ones libjpeg writes alone, for
// every size (partial MCUs and blocks at both edges), quality and kind of content, with every
// form of the encoder's functions this processor runs.
#include "codecs/jpeg/jpeg_band_encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "codecs/jpeg/jpeg_band_check.h"
#include "codecs/jpeg/jpeg_baseline_header.h"
#include "codecs/jpeg/jpeg_forward_dct.h"
#include "codecs/jpeg/jpeg_image.h"
#include "codecs/jpeg/jpeg_kernels.h"
#include "imaging/bitmap.h"
#include "runtime/exceptions.h"
#include "runtime/spare_threads.h"
#include "support/busy_threads.h"
#include "support/test_forms.h"

namespace qv {
namespace {

enum class TContent { kNoise, kGradient, kWhite, kEdges };

TBitmap Picture(int width, int height, TContent content, unsigned seed = 1, bool top_down = false) {
  TBitmap picture;
  picture.Allocate(width, height, TPixelFormat::pf24bit, top_down);
  std::mt19937 random(seed);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = picture.ScanLine(y);
    for (int x = 0; x < 3 * width; ++x) {
      switch (content) {
        case TContent::kNoise: row[x] = static_cast<std::uint8_t>(random()); break;
        case TContent::kGradient:
          row[x] = static_cast<std::uint8_t>(x * 3 / 7 + y * (x % 3));
          break;
        case TContent::kWhite: row[x] = 255; break;
        // Saturated colours that change every few pixels: the largest coefficients.
        case TContent::kEdges: row[x] = ((x / 3 / 3 + y / 2 + x % 3) % 2) ? 255 : 0; break;
      }
    }
  }
  return picture;
}

std::vector<std::uint8_t> Compress(const TBitmap& picture, int quality,
                                   const TWorkContext& work = {}) {
  TJPEGImage jpeg;
  jpeg.SetWorkContext(work);
  jpeg.Assign(picture);
  jpeg.SetCompressionQuality(quality);
  jpeg.Compress();
  return jpeg.CompressedData();
}

// Compressed through TJPEGImage with a spare thread waiting to take bands, so that the band
// encoder is used.
std::vector<std::uint8_t> CompressInBands(const TBitmap& picture, int quality,
                                          bool grayscale = false, bool progressive = false) {
  TSpareThreads spare;
  std::thread helper([&] { spare.Help(); });
  std::vector<std::uint8_t> bytes;
  {
    const TWorkContext work(spare);
    while (!SpareThreadAtHand(work)) std::this_thread::yield();  // the helper waits
    TJPEGImage jpeg;
    jpeg.SetWorkContext(work);
    jpeg.Assign(picture);
    jpeg.SetCompressionQuality(quality);
    jpeg.SetGrayscaleOutput(grayscale);
    jpeg.SetProgressiveEncoding(progressive);
    jpeg.Compress();
    bytes = jpeg.CompressedData();
  }
  spare.Close();
  helper.join();
  return bytes;
}

// The band encoder itself with one form of its functions, with the header of libjpeg's file for
// the same picture.
std::vector<std::uint8_t> EncodeDirectly(const TJpegKernels& kernels, const TBitmap& picture,
                                         const std::vector<std::uint8_t>& libjpegs,
                                         const std::function<void(int)>& progress = {}) {
  const auto header = TJpegBaselineHeader::Read(libjpegs);
  EXPECT_TRUE(header);
  if (!header) return {};
  return EncodeJpegInBands(kernels, *header, picture.ScanLine(0), picture.RowStep(),
                           picture.Width(), picture.Height(), progress);
}

// The encoder itself, once with each form of its functions this processor runs.
using JpegBandEncoderForms = testing::FormTest<TJpegKernels>;
INSTANTIATE_TEST_SUITE_P(Forms, JpegBandEncoderForms,
                         ::testing::ValuesIn(testing::FormsOf(JpegKernelVariants())),
                         testing::kFormName);

// Through TJPEGImage, where the program's choice of form compresses in bands.
class JpegBandEncoder : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!JpegBandEncoderInUse())
      GTEST_SKIP() << "colour pictures are compressed by libjpeg alone here";
  }
};

TEST_P(JpegBandEncoderForms, FilesAreLibjpegsForEverySizeAndQuality) {
  const int sizes[][2] = {{1, 1},    {2, 2},    {7, 5},   {8, 8},   {9, 17},   {15, 16},
                          {16, 15},  {17, 33},  {31, 9},  {33, 31}, {40, 1},   {1, 40},
                          {100, 75}, {129, 67}, {250, 3}, {3, 250}, {333, 222}};
  for (auto [width, height] : sizes) {
    for (TContent content :
         {TContent::kNoise, TContent::kGradient, TContent::kWhite, TContent::kEdges}) {
      const TBitmap picture = Picture(width, height, content, static_cast<unsigned>(width));
      for (int quality : {1, 50, 85, 100}) {
        const auto expected = Compress(picture, quality);
        EXPECT_EQ(EncodeDirectly(Form(), picture, expected), expected)
            << width << "x" << height << " content " << static_cast<int>(content) << " q"
            << quality;
      }
    }
  }
}

// Through TJPEGImage with threads lent; top-down rows, and pictures of other pixel formats
// (converted to 24 bits first).
TEST_F(JpegBandEncoder, RowOrderAndPixelFormatDoNotMatter) {
  const TBitmap bottom_up = Picture(61, 43, TContent::kNoise, 7);
  const TBitmap top_down = Picture(61, 43, TContent::kNoise, 7, true);
  EXPECT_EQ(CompressInBands(bottom_up, 85), Compress(bottom_up, 85));
  EXPECT_EQ(EncodeDirectly(ChosenVariant(JpegKernelVariants()).function, top_down,
                           Compress(bottom_up, 85)),
            Compress(bottom_up, 85));
  EXPECT_EQ(CompressInBands(top_down, 85), Compress(bottom_up, 85));
  TBitmap wide = bottom_up;
  wide.SetPixelFormat(TPixelFormat::pf32bit);
  EXPECT_EQ(CompressInBands(wide, 85), Compress(bottom_up, 85));
}

// A drop's worker that expects help compresses in bands before any spare thread waits; when
// none ever comes, it codes every band itself.
TEST_F(JpegBandEncoder, HelpExpectedThatNeverComes) {
  const TBitmap picture = Picture(333, 222, TContent::kNoise, 3);
  TSpareThreads spare;
  const TWorkContext work(spare, true);
  ASSERT_TRUE(SpareThreadAtHand(work));
  EXPECT_EQ(Compress(picture, 85, work), Compress(picture, 85));
}

// Bands taken by a spare thread while the others run here, in any interleaving: two busy
// threads beside them make the orders vary (with the form the program uses).
TEST(JpegBandEncoderThreads, BandsTakenByASpareThreadJoinInOrder) {
  const TBitmap picture = Picture(1299, 1003, TContent::kGradient);
  const auto expected = Compress(picture, 85);
  testing::BusyThreads busy(2);
  const auto header = TJpegBaselineHeader::Read(expected);
  ASSERT_TRUE(header);
  for (int round = 0; round < 20; ++round) {
    TSpareThreads spare;
    std::thread helper([&] { spare.Help(); });
    const std::vector<std::uint8_t> bytes = EncodeJpegInBands(
        ChosenVariant(JpegKernelVariants()).function, *header, picture.ScanLine(0),
        picture.RowStep(), picture.Width(), picture.Height(), {}, TWorkContext(spare));
    spare.Close();
    helper.join();
    EXPECT_EQ(bytes, expected) << "round " << round;
  }
}

// Greyscale and progressive files are libjpeg's own work, with a spare thread or without.
TEST_F(JpegBandEncoder, GreyscaleAndProgressiveAreLeftToLibjpeg) {
  const TBitmap picture = Picture(50, 40, TContent::kGradient);
  for (bool grayscale : {false, true}) {
    for (bool progressive : {false, true}) {
      TJPEGImage jpeg;
      jpeg.Assign(picture);
      jpeg.SetGrayscaleOutput(grayscale);
      jpeg.SetProgressiveEncoding(progressive);
      jpeg.Compress();
      EXPECT_EQ(CompressInBands(picture, 90, grayscale, progressive), jpeg.CompressedData())
          << grayscale << progressive;
    }
  }
}

// Progress comes on the calling thread as bands are joined, up to 100; what it throws stops the
// work and leaves.
TEST_P(JpegBandEncoderForms, ProgressRisesToTheEndAndMayStopTheWork) {
  const TBitmap picture = Picture(300, 700, TContent::kNoise);
  const auto expected = Compress(picture, 85);
  std::vector<int> reports;
  EXPECT_EQ(
      EncodeDirectly(Form(), picture, expected, [&](int percent) { reports.push_back(percent); }),
      expected);
  ASSERT_FALSE(reports.empty());
  EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
  EXPECT_EQ(reports.back(), 100);
  int calls = 0;
  EXPECT_THROW(EncodeDirectly(Form(), picture, expected,
                              [&](int) {
                                ++calls;
                                Abort();
                              }),
               EAbort);
  EXPECT_EQ(calls, 1);
}

// libjpeg's file as TJPEGImage makes it alone (no spare thread at hand).
std::vector<std::uint8_t> LibjpegAlone(const TBitmap& picture, int quality) {
  return Compress(picture, quality);
}

TEST_P(JpegBandEncoderForms, PassesTheCheckAgainstLibjpeg) {
  EXPECT_TRUE(BandEncoderMatchesLibjpeg(Form(), LibjpegAlone));
}

// A form that rounds one value differently from libjpeg: the luma of the first pixel of every
// row one level brighter.
void ConvertOneLevelBrighter(const std::uint8_t* bgr, int count, std::uint8_t* y, std::uint8_t* cb,
                             std::uint8_t* cr) {
  ConvertBgrToYcc(bgr, count, y, cb, cr);
  if (count > 0 && y[0] < 255) ++y[0];
}

TEST(JpegBandCheck, FailsForAFormThatRoundsDifferently) {
  TJpegKernels different = PortableVariant(JpegKernelVariants()).function;
  different.convert_bgr_to_ycc = ConvertOneLevelBrighter;
  EXPECT_FALSE(BandEncoderMatchesLibjpeg(different, LibjpegAlone));
}

// The reciprocal stands in for division: every dividend the DCT can give, every step.
TEST(JpegDivisors, ReciprocalsDivideExactly) {
  for (int step = 1; step <= 255; ++step) {
    std::array<std::uint16_t, 64> steps{};
    steps.fill(static_cast<std::uint16_t>(step));
    const TJpegDivisors divisors(steps);
    const std::uint64_t d = 8u * static_cast<unsigned>(step);
    for (std::uint64_t a = 0; a < (1u << 16); ++a)
      ASSERT_EQ((a * divisors.reciprocal[0]) >> 32, a / d) << a << " / " << d;
  }
}

TEST(JpegBaselineHeader, ReadsLibjpegsHeaderAndRefusesOtherKinds) {
  const TBitmap picture = Picture(20, 10, TContent::kGradient);
  TJPEGImage jpeg;
  jpeg.Assign(picture);
  jpeg.Compress();
  const auto header = TJpegBaselineHeader::Read(jpeg.CompressedData());
  ASSERT_TRUE(header);
  const auto& file = jpeg.CompressedData();
  ASSERT_LE(header->bytes.size(), file.size());
  EXPECT_TRUE(std::equal(header->bytes.begin(), header->bytes.end(), file.begin()));
  EXPECT_EQ(header->quant[1], header->quant[2]);
  EXPECT_NE(header->quant[0], header->quant[1]);
  const auto resized = header->ForSize(300, 200);
  EXPECT_EQ(resized.size(), header->bytes.size());
  EXPECT_EQ(resized[header->size_offset], 0);
  EXPECT_EQ(resized[header->size_offset + 1], 200);
  EXPECT_EQ(resized[header->size_offset + 2], 1);
  EXPECT_EQ(resized[header->size_offset + 3], 44);

  for (bool grayscale : {false, true}) {
    TJPEGImage other;
    other.Assign(picture);
    other.SetGrayscaleOutput(grayscale);
    other.SetProgressiveEncoding(!grayscale);
    other.Compress();
    EXPECT_FALSE(TJpegBaselineHeader::Read(other.CompressedData())) << grayscale;
  }
  EXPECT_FALSE(TJpegBaselineHeader::Read({}));
  EXPECT_FALSE(TJpegBaselineHeader::Read({0xFF, 0xD8, 0xFF}));
  // Cut anywhere before the end of the scan header.
  for (std::size_t n = 0; n < header->bytes.size(); ++n)
    EXPECT_FALSE(TJpegBaselineHeader::Read({file.begin(), file.begin() + n})) << n;
}

}  // namespace
}  // namespace qv
