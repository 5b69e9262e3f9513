// Tests of the conversion job's image steps: the resize dispatch, sepia and 256 colours.
#include "app/image_steps.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "codecs/jpeg/jpeg_image.h"
#include "imaging/image_helpers.h"
#include "imaging/reduce_colors.h"
#include "runtime/exceptions.h"
#include "runtime/spare_threads.h"
#include "runtime/stream.h"
#include "support/busy_threads.h"
#include "support/test_data.h"

namespace qv {
namespace {

using testing::At24;
using testing::Bgr;
using testing::PixelBytes;

struct ModeCase {
  int mode;
  TPixelFormat format;
};

class ResizeModes : public ::testing::TestWithParam<ModeCase> {};

TEST_P(ResizeModes, GiveTheTargetSizeInTheMethodsFormat) {
  TBitmap image = testing::Random24(37, 23, 9);
  image.SetPixelFormat(TPixelFormat::pf8bit);
  ResizeBitmap(image, 16, 12, ResampleMethodOf(GetParam().mode));
  EXPECT_EQ(image.Width(), 16);
  EXPECT_EQ(image.Height(), 12);
  EXPECT_EQ(image.PixelFormat(), GetParam().format);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, ResizeModes,
    ::testing::Values(ModeCase{0, TPixelFormat::pf24bit}, ModeCase{1, TPixelFormat::pf32bit},
                      ModeCase{2, TPixelFormat::pf24bit}, ModeCase{3, TPixelFormat::pf24bit},
                      ModeCase{4, TPixelFormat::pf24bit}, ModeCase{5, TPixelFormat::pf24bit},
                      ModeCase{6, TPixelFormat::pf8bit}, ModeCase{-1, TPixelFormat::pf8bit}),
    [](const auto& test_info) {
      const auto& c = test_info.param;
      return "mode" + std::string(c.mode < 0 ? "_minus" : "") +
             std::to_string(c.mode < 0 ? -c.mode : c.mode);
    });

TEST(ResizeBitmap, UnknownModeCropsAndExtendsWithWhite) {
  TBitmap image = testing::Uniform24(3, 2, {1, 2, 3});
  ResizeBitmap(image, 4, 3, ResampleMethodOf(9));
  EXPECT_EQ(At24(image, 2, 1), (Bgr{1, 2, 3}));
  EXPECT_EQ(At24(image, 3, 0), (Bgr{255, 255, 255}));
  EXPECT_EQ(At24(image, 0, 2), (Bgr{255, 255, 255}));
}

TEST(ResizeBitmap, FailureLeavesTheImageAsItWas) {
  // The fixed-point method cannot mirror the tail of a single-row picture.
  TBitmap image = testing::Random24(9, 1, 4);
  image.SetPixelFormat(TPixelFormat::pf8bit);
  std::vector<std::uint8_t> before = PixelBytes(image);
  EXPECT_THROW(ResizeBitmap(image, 20, 5, TResampleMethod::kFixedPointBilinear),
               EInvalidGraphicOperation);
  EXPECT_EQ(image.Width(), 9);
  EXPECT_EQ(image.Height(), 1);
  EXPECT_EQ(image.PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(PixelBytes(image), before);
}

TEST(ResizeBitmap, TargetWithoutPixelsIsRefusedAndChangesNothing) {
  for (int mode : {0, 1, 3, 8}) {
    TBitmap image = testing::Uniform24(4, 4, {5, 6, 7});
    EXPECT_THROW(ResizeBitmap(image, 0, 10, ResampleMethodOf(mode)), Exception) << mode;
    EXPECT_EQ(image.Width(), 4);
  }
}

TEST(ResizeBitmap, FilteredMethodsLeaveTheCallersFormatOnFailureOnly) {
  // On success the image is the 24-bit result; the 8-bit original is not converted on the way.
  TBitmap image = testing::Random24(8, 8, 2);
  image.SetPixelFormat(TPixelFormat::pf8bit);
  TBitmap original = image;
  ResizeBitmap(image, 4, 4, TResampleMethod::kLanczos3);
  EXPECT_EQ(image.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(original.PixelFormat(), TPixelFormat::pf8bit);
}

TEST(ImageSteps, SepiaThenReductionGivesAnEightBitImage) {
  TBitmap image = testing::Random24(10, 6, 8);
  image.SetPixelFormat(TPixelFormat::pf32bit);
  SepiaStep(image);
  EXPECT_EQ(image.PixelFormat(), TPixelFormat::pf24bit);
  Reduce256Step(image);
  EXPECT_EQ(image.PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(image.Width(), 10);
  EXPECT_LE(image.Palette().size(), 256u);
}

// A picture of any other depth is brought to 24 bits and reduced like a 24-bit one; the
// reduction itself still refuses anything but 24 bits.
TEST(ImageSteps, ReductionTakesAThirtyTwoBitImageThrough24Bits) {
  TBitmap image = testing::Random24(10, 6, 8);
  ResizeBitmap(image, 5, 5, TResampleMethod::kFixedPointBilinear);  // leaves 32 bits
  ASSERT_EQ(image.PixelFormat(), TPixelFormat::pf32bit);
  TBitmap as24 = image;
  as24.SetPixelFormat(TPixelFormat::pf24bit);
  Reduce256Step(image);
  Reduce256Step(as24);
  EXPECT_EQ(image.PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(PixelBytes(image), PixelBytes(as24));
  EXPECT_EQ(image.Palette(), as24.Palette());

  TBitmap thirty_two = testing::Random24(4, 4, 1);
  ResizeBitmap(thirty_two, 4, 4, TResampleMethod::kFixedPointBilinear);
  EXPECT_THROW(ReduceColors(thirty_two, 8), EAssertionFailed);
}

// Resizing while decoding gives every byte that decoding and then resizing gives, padding too.
TEST(DecodeResizedJpeg, EqualsDecodingThenResizing) {
  const std::string dir = testing::TestDataPath("jpeg") + "/";
  for (const char* name : {"libjpeg-turbo/testorig.jpg", "libjpeg-turbo/testimgp.jpg",
                           "derived/testorig-trunc-50pct.jpg"}) {
    for (TResampleMethod method : {TResampleMethod::kBilinear, TResampleMethod::kFixedPointBilinear,
                                   TResampleMethod::kMitchell, TResampleMethod::kLanczos3,
                                   TResampleMethod::kBSpline, TResampleMethod::kBell}) {
      for (auto [width, height] :
           {std::pair{97, 61}, {31, 150}, {1, 1}, {301, 203}, {1, 77}, {640, 1}}) {
        TJPEGImage usual;
        usual.LoadFromFile(dir + name);
        TBitmap expected;
        usual.AssignTo(expected);
        ResizeBitmap(expected, width, height, method);
        TJPEGImage fused;
        fused.LoadFromFile(dir + name);
        TBitmap image;
        ASSERT_TRUE(DecodeResizedJpeg(fused, width, height, method, image));
        ASSERT_EQ(image.Width(), width);
        ASSERT_EQ(image.Height(), height);
        EXPECT_EQ(image.PixelFormat(), expected.PixelFormat());
        EXPECT_EQ(image.TopDown(), expected.TopDown());
        ASSERT_EQ(image.BitsSize(), expected.BitsSize());
        EXPECT_EQ(std::memcmp(image.Bits(), expected.Bits(), image.BitsSize()), 0)
            << name << " to " << width << "x" << height;
        EXPECT_EQ(fused.DecodeWarnings(), usual.DecodeWarnings());
      }
    }
  }
}

TEST(DecodeResizedJpeg, AtAReducedDecodingScale) {
  const std::string file = testing::TestDataPath("jpeg/libjpeg-turbo/testorig.jpg");
  TJPEGImage usual, fused;
  usual.LoadFromFile(file);
  fused.LoadFromFile(file);
  usual.SetScale(TJPEGScale::jsHalf);
  fused.SetScale(TJPEGScale::jsHalf);
  TBitmap expected, image;
  usual.AssignTo(expected);
  ResizeBitmap(expected, 50, 33, TResampleMethod::kLanczos3);
  ASSERT_TRUE(DecodeResizedJpeg(fused, 50, 33, TResampleMethod::kLanczos3, image));
  EXPECT_EQ(PixelBytes(image), PixelBytes(expected));
}

TEST(DecodeResizedJpeg, CroppingAndPaletteDecodesAreLeftToTheUsualPath) {
  const std::string dir = testing::TestDataPath("jpeg/libjpeg-turbo") + "/";
  TBitmap image = testing::Uniform24(3, 2, {1, 2, 3});
  TJPEGImage colour;
  colour.LoadFromFile(dir + "testorig.jpg");
  EXPECT_FALSE(DecodeResizedJpeg(colour, 50, 33, TResampleMethod::kCropOrExtend, image));
  for (TResampleMethod method : {TResampleMethod::kLanczos3, TResampleMethod::kBilinear,
                                 TResampleMethod::kFixedPointBilinear}) {
    TJPEGImage grey;
    grey.LoadFromFile(dir + "testimggray.jpg");
    EXPECT_FALSE(DecodeResizedJpeg(grey, 50, 33, method, image));
  }
  EXPECT_EQ(image.Width(), 3);
  EXPECT_EQ(At24(image, 0, 0), (Bgr{1, 2, 3}));
}

// A 24-bit picture whose bytes vary in both directions.
TBitmap Patterned(int width, int height) {
  TBitmap picture;
  picture.Allocate(width, height, TPixelFormat::pf24bit);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = picture.ScanLine(y);
    for (int x = 0; x < 3 * width; ++x)
      row[x] = static_cast<std::uint8_t>(x * 5 + y * 3 + (x * y) % 7);
  }
  return picture;
}

// With a spare thread taking the horizontal pass of some bands while others run here (the
// helper is sometimes still busy when the next band comes), the destination rows are made only
// from bands that are in; with a bilinear method it takes destination rows. Two threads kept
// busy beside it make those interleavings common.
TEST(DecodeResizedJpeg, WithASpareThreadEqualsDecodingAlone) {
  const TBitmap picture = Patterned(1299, 1003);
  TJPEGImage source;
  source.Assign(picture);
  TMemoryStream bytes;
  source.SaveToStream(bytes);
  TResampleMethod method = TResampleMethod::kMitchell;
  auto decode = [&](TBitmap& image, const TWorkContext& work) {
    TJPEGImage jpeg;
    bytes.SetPosition(0);
    jpeg.LoadFromStream(bytes);
    return DecodeResizedJpeg(jpeg, 640, 480, method, image, false, work);
  };
  testing::BusyThreads busy(2);
  for (TResampleMethod each : {TResampleMethod::kMitchell, TResampleMethod::kBilinear,
                               TResampleMethod::kFixedPointBilinear}) {
    method = each;
    TBitmap expected;
    ASSERT_TRUE(decode(expected, TWorkContext()));
    for (int round = 0; round < 20; ++round) {
      TSpareThreads spare;
      std::thread helper([&] { spare.Help(); });
      TBitmap image;
      const bool decoded = decode(image, TWorkContext(spare));
      spare.Close();
      helper.join();
      ASSERT_TRUE(decoded);
      EXPECT_EQ(PixelBytes(image), PixelBytes(expected)) << "round " << round;
    }
  }
}

// The whole-picture resamplers share their bands with the spare threads of the work they are
// given: the bytes stay those of resizing alone, reduction and enlargement alike.
TEST(ResizeBitmap, WithASpareThreadEqualsResizingAlone) {
  const TBitmap picture = Patterned(901, 703);
  testing::BusyThreads busy(2);
  for (TResampleMethod method : {TResampleMethod::kBilinear, TResampleMethod::kLanczos3}) {
    for (auto [width, height] : {std::pair{333, 222}, std::pair{1500, 1100}}) {
      TBitmap expected = picture;
      ResizeBitmap(expected, width, height, method);
      for (int round = 0; round < 5; ++round) {
        TSpareThreads spare;
        std::thread helper([&] { spare.Help(); });
        TBitmap image = picture;
        ResizeBitmap(image, width, height, method, TWorkContext(spare));
        spare.Close();
        helper.join();
        EXPECT_EQ(PixelBytes(image), PixelBytes(expected))
            << static_cast<int>(method) << " to " << width << "x" << height << ", round " << round;
      }
    }
  }
}

}  // namespace
}  // namespace qv
