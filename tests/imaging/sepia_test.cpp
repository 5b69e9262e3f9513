// Tests of sepia toning.
#include "imaging/sepia.h"

#include <gtest/gtest.h>

#include <cmath>

#include "imaging/image_helpers.h"
#include "runtime/exceptions.h"

namespace qv {
namespace {

using testing::At24;
using testing::Bgr;
using testing::PixelBytes;

struct SepiaCase {
  Bgr in, out;
};

class SepiaTone : public ::testing::TestWithParam<SepiaCase> {};

TEST_P(SepiaTone, MapsLuminanceToTheCurves) {
  TBitmap image = testing::Uniform24(2, 1, GetParam().in);
  ApplySepia(image);
  EXPECT_EQ(At24(image, 0, 0), GetParam().out);
  EXPECT_EQ(At24(image, 1, 0), GetParam().out);
}

// (blue, green, red) in and out.
INSTANTIATE_TEST_SUITE_P(Table, SepiaTone,
                         ::testing::Values(SepiaCase{{0, 0, 0}, {0, 0, 0}},
                                           SepiaCase{{255, 255, 255}, {255, 255, 255}},
                                           SepiaCase{{128, 128, 128}, {102, 128, 152}},
                                           SepiaCase{{0, 0, 255}, {52, 77, 104}},
                                           SepiaCase{{0, 255, 0}, {125, 149, 170}},
                                           SepiaCase{{255, 0, 0}, {14, 29, 50}},
                                           SepiaCase{{1, 1, 1}, {0, 1, 4}}),
                         [](const auto& test_info) {
                           const auto& c = test_info.param;
                           return "bgr_" + std::to_string(c.in.b) + "_" + std::to_string(c.in.g) +
                                  "_" + std::to_string(c.in.r);
                         });

// The curves' values 255 (y / 255)^e lie far from the halves where the rounding to a byte turns,
// so the last bits of the power, which the x87 unit and another processor's widest long double
// may give differently, cannot change a byte of the table.
TEST(Sepia, CurveValuesLieFarFromWhereRoundingTurns) {
  for (long double exponent : {4.0L / 3.0L, 3.0L / 4.0L})
    for (int y = 1; y < 256; ++y) {
      const long double value = 255.0L * std::pow(y / 255.0L, exponent);
      EXPECT_GT(std::fabs(value - std::floor(value) - 0.5L), 0.0003L) << y;
    }
}

TEST(Sepia, TwiceIsNotOnce) {
  TBitmap once = testing::Uniform24(1, 1, {0, 0, 255});
  ApplySepia(once);
  TBitmap twice = once;
  ApplySepia(twice);
  EXPECT_NE(At24(twice, 0, 0), At24(once, 0, 0));
}

TEST(Sepia, PaletteImageIsConvertedFirst) {
  TBitmap image;
  image.Allocate(3, 2, TPixelFormat::pf8bit);
  image.SetPalette({{0, 0, 0, 0}, {255, 255, 255, 0}});
  image.ScanLine(1)[2] = 1;  // one white pixel
  ApplySepia(image);
  EXPECT_EQ(image.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(At24(image, 2, 1), (Bgr{255, 255, 255}));
  EXPECT_EQ(At24(image, 0, 0), (Bgr{0, 0, 0}));
}

TEST(Sepia, RowPaddingIsNotTouched) {
  TBitmap image = testing::Uniform24(1, 2, {128, 128, 128});
  image.ScanLine(0)[3] = 0xAB;
  image.ScanLine(1)[3] = 0xCD;
  ApplySepia(image);
  EXPECT_EQ(image.ScanLine(0)[3], 0xAB);
  EXPECT_EQ(image.ScanLine(1)[3], 0xCD);
}

TEST(Sepia, EmptyImageFailsAtRowAccess) {
  TBitmap image;
  image.Allocate(0, 0, TPixelFormat::pf24bit);
  EXPECT_THROW(ApplySepia(image), EInvalidGraphicOperation);
}

}  // namespace
}  // namespace qv
