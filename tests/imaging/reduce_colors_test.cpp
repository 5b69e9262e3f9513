// Tests of the median-cut colour reduction, the row-window filter and the dither.
#include "imaging/reduce_colors.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "imaging/dither_image.h"
#include "imaging/filter_rows.h"
#include "imaging/image_helpers.h"
#include "imaging/median_cut.h"
#include "imaging/quantize_color.h"
#include "runtime/exceptions.h"

namespace qv {
namespace {

using testing::At24;
using testing::Bgr;
using testing::Make24;
using testing::PixelBytes;

std::vector<TRGBQuad> PaletteOf(std::initializer_list<Bgr> colours, int bits) {
  TMedianCut cut;
  for (const Bgr& c : colours)
    cut.AddColor(static_cast<std::uint32_t>(c.r) << 16 | static_cast<std::uint32_t>(c.g) << 8 |
                 c.b);
  cut.Quantize(bits);
  return cut.MakePalette();
}

TEST(MedianCut, SingleColourGivesTheEmptyUpperBoxThenTheColour) {
  // All variances are 0, so red is split: the empty cells whose red exceeds 100 come first (their
  // plain average), the colour itself second.
  std::vector<TRGBQuad> palette = PaletteOf({{200, 150, 100}, {200, 150, 100}}, 8);
  ASSERT_EQ(palette.size(), 2u);
  EXPECT_EQ(palette[0], (TRGBQuad{127, 127, 178, 0}));
  EXPECT_EQ(palette[1], (TRGBQuad{200, 150, 100, 0}));
}

TEST(MedianCut, SingleColourWithFullRedGivesOneEntry) {
  std::vector<TRGBQuad> palette = PaletteOf({{3, 2, 255}}, 8);
  ASSERT_EQ(palette.size(), 1u);
  EXPECT_EQ(palette[0], (TRGBQuad{3, 2, 255, 0}));
}

TEST(MedianCut, BlackAndWhiteSplitGreenUpperPartFirst) {
  std::vector<TRGBQuad> one = PaletteOf({{0, 0, 0}, {255, 255, 255}}, 1);
  ASSERT_EQ(one.size(), 2u);
  EXPECT_EQ(one[0], (TRGBQuad{255, 255, 255, 0}));
  EXPECT_EQ(one[1], (TRGBQuad{0, 0, 0, 0}));
  std::vector<TRGBQuad> eight = PaletteOf({{0, 0, 0}, {255, 255, 255}}, 8);
  ASSERT_EQ(eight.size(), 3u);
  EXPECT_EQ(eight[0], (TRGBQuad{255, 255, 255, 0}));
  EXPECT_EQ(eight[2], (TRGBQuad{0, 0, 0, 0}));
}

TEST(MedianCut, BitsZeroGivesTheMeanColour) {
  std::vector<TRGBQuad> palette = PaletteOf({{30, 20, 10}, {60, 40, 20}, {90, 60, 30}}, 0);
  ASSERT_EQ(palette.size(), 1u);
  EXPECT_EQ(palette[0], (TRGBQuad{60, 40, 20, 0}));
}

TEST(MedianCut, ColoursSharingACellShareTheIndex) {
  TMedianCut cut;
  for (std::uint32_t c : {0x102030u, 0x806040u, 0xF0F0F0u, 0x000000u}) cut.AddColor(c);
  cut.Quantize(2);
  TMedianCutQuantizeColor quantizer(cut);
  // Low 2 bits of red and green and low 3 bits of blue select the same cell.
  EXPECT_EQ(cut.ColorIndex(0x806040u), cut.ColorIndex(0x836347u));
  std::uint8_t a[3], b[3];
  quantizer.Quantize(0x806040u, a);
  quantizer.Quantize(0x836347u, b);
  EXPECT_EQ(std::vector<std::uint8_t>(a, a + 3), std::vector<std::uint8_t>(b, b + 3));
  EXPECT_LE(cut.PaletteCount(), 4);
}

TEST(MedianCut, MoreThanEightBitsStayWithinThePalette) {
  TMedianCut cut;
  for (std::uint32_t c = 0; c < 0x1000000u; c += 0x010305u) cut.AddColor(c);
  cut.Quantize(12);
  EXPECT_LE(cut.PaletteCount(), 256);
}

TEST(ReduceColors, RefusesNegativeBitsAndOtherFormats) {
  TBitmap image = testing::Uniform24(2, 2, {1, 2, 3});
  try {
    ReduceColors(image, -1);
    FAIL() << "no error";
  } catch (const EAssertionFailed& error) {
    EXPECT_EQ(error.Message(), "Assertion failure (MedianCut, 380 行)");
  }
  for (TPixelFormat format : {TPixelFormat::pf32bit, TPixelFormat::pf8bit}) {
    TBitmap other = image;
    other.SetPixelFormat(format);
    try {
      ReduceColors(other, 8);
      FAIL() << "no error";
    } catch (const EAssertionFailed& error) {
      EXPECT_EQ(error.Message(), "Assertion failure (MedianCut, 381 行)");
    }
  }
}

TEST(ReduceColors, SingleColourImageBecomesIndexOneWithoutDither) {
  TBitmap image = testing::Uniform24(5, 3, {200, 150, 100});
  TBitmap result = ReduceColors(image, 8);
  EXPECT_EQ(result.PixelFormat(), TPixelFormat::pf8bit);
  ASSERT_EQ(result.Palette().size(), 2u);
  EXPECT_EQ(result.Palette()[1], (TRGBQuad{200, 150, 100, 0}));
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(result.ScanLine(y)[x], 1);
}

TEST(ReduceColors, GradientKeepsItsColoursAndTheInputIsUnchanged) {
  TBitmap image = Make24(64, 48, [](int x, int y) {
    return Bgr{static_cast<std::uint8_t>(4 * x), static_cast<std::uint8_t>(5 * y),
               static_cast<std::uint8_t>(2 * x + 2 * y)};
  });
  std::vector<std::uint8_t> before = PixelBytes(image);
  TBitmap result = ReduceColors(image, 8);
  EXPECT_EQ(PixelBytes(image), before);
  ASSERT_EQ(result.Width(), 64);
  ASSERT_EQ(result.Height(), 48);
  ASSERT_LE(result.Palette().size(), 256u);
  long total = 0;
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) {
      std::uint8_t index = result.ScanLine(y)[x];
      ASSERT_LT(index, result.Palette().size());
      const TRGBQuad& p = result.Palette()[index];
      Bgr c = At24(image, x, y);
      total += std::abs(p.blue - c.b) + std::abs(p.green - c.g) + std::abs(p.red - c.r);
    }
  EXPECT_LT(total / (64.0 * 48 * 3), 8.0);
}

TEST(ReduceColors, EveryPixelShowsTheColourTheDitherChose) {
  // Palette entries are box means, and a mean can fall into a cell that belongs to another box.
  // Looking the dithered colour up by its cell would show that box's colour (34 pixels here).
  TBitmap image = Make24(160, 120, [](int x, int y) {
    return Bgr{static_cast<std::uint8_t>(x * 3 + y), static_cast<std::uint8_t>(2 * y),
               static_cast<std::uint8_t>(255 - x)};
  });
  TMedianCut cut;
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 160; ++x) {
      Bgr c = At24(image, x, y);
      cut.AddColor(static_cast<std::uint32_t>(c.r) << 16 | static_cast<std::uint32_t>(c.g) << 8 |
                   c.b);
    }
  cut.Quantize(8);
  TBitmap dithered = DitherImage(image, TMedianCutQuantizeColor(cut));
  TBitmap result = ReduceColors(image, 8);
  int wrong = 0;
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 160; ++x) {
      const TRGBQuad& p = result.Palette()[result.ScanLine(y)[x]];
      if (!(Bgr{p.blue, p.green, p.red} == At24(dithered, x, y))) ++wrong;
    }
  EXPECT_EQ(wrong, 0);
}

// Threshold at 128 per channel: a quantiser whose errors are easy to follow by hand.
class ThresholdQuantizer : public TQuantizeColor {
 public:
  void Quantize(std::uint32_t color, std::uint8_t* output) const override {
    output[0] = (color & 0xFF) >= 128 ? 255 : 0;
    output[1] = ((color >> 8) & 0xFF) >= 128 ? 255 : 0;
    output[2] = ((color >> 16) & 0xFF) >= 128 ? 255 : 0;
  }
};

TEST(DitherImage, FloydSteinbergTruncatesSharesAndLosesThemAtTheMargins) {
  // Grey 100 everywhere, traced by hand. Row 0: 100 -> 0, 143 -> 255, 51 -> 0. Row 1 has
  // received 131 - 21 = 110, 106 - 35 + 9 = 80 and 93 + 15 = 108; then 110 -> 0 pushes 80 to
  // 128 -> 255, which pushes 108 to 53 -> 0.
  TBitmap image = testing::Uniform24(3, 2, {100, 100, 100});
  ThresholdQuantizer quantizer;
  TBitmap result = DitherImage(image, quantizer);
  const std::uint8_t expected[2][3] = {{0, 255, 0}, {0, 255, 0}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(At24(result, x, y).g, expected[y][x]) << x << "," << y;
  // A second grey shows the truncation toward zero: at 120 the first error -120 pushes
  // 120 + 52 = 172 to the right (7 x 120 / 16 = 52.5) and 120 + 37 = 157 below.
  TBitmap dark = testing::Uniform24(2, 2, {120, 120, 120});
  TBitmap dithered = DitherImage(dark, quantizer);
  EXPECT_EQ(At24(dithered, 0, 0).g, 0);
  EXPECT_EQ(At24(dithered, 1, 0).g, 255);  // 172
  EXPECT_EQ(At24(dithered, 0, 1).g, 255);  // 157 - (255 - 172) x 3 / 16 = 157 - 15 = 142
}

struct WindowProbe {
  int width, height;
  std::vector<std::string> failures;
};

void ProbeCallback(int x, int y, std::uint8_t* const* window, void* data, std::uint8_t* output) {
  auto& probe = *static_cast<WindowProbe*>(data);
  for (int k = 0; k < kFilterWindowRows; ++k) {
    int row = y - 5 + k;
    std::uint8_t expected =
        row >= 0 && row < probe.height ? static_cast<std::uint8_t>(10 * row + x) : 0;
    if (window[k][15] != expected)
      probe.failures.push_back("pixel of window row " + std::to_string(k));
    if (x == 0 && window[k][12] != 0) probe.failures.push_back("left margin");
    if (x == probe.width - 1 && window[k][18] != 0) probe.failures.push_back("right margin");
  }
  output[0] = window[5][15];
  output[1] = static_cast<std::uint8_t>(x);
  output[2] = static_cast<std::uint8_t>(y);
}

TEST(FilterRows, WindowHoldsElevenRowsWithZeroOutsideTheImage) {
  TBitmap image = Make24(4, 7, [](int x, int y) {
    return Bgr{static_cast<std::uint8_t>(10 * y + x), 0, 0};
  });
  WindowProbe probe{4, 7, {}};
  TBitmap result = FilterRows(image, ProbeCallback, &probe);
  EXPECT_TRUE(probe.failures.empty()) << probe.failures.front();
  EXPECT_EQ(result.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(At24(result, 3, 6), (Bgr{63, 3, 6}));
}

TEST(FilterRows, RefusesImagesThatAreNot24Bit) {
  TBitmap image = testing::Uniform24(2, 2, {0, 0, 0});
  image.SetPixelFormat(TPixelFormat::pf32bit);
  try {
    FilterRows(image, ProbeCallback, nullptr);
    FAIL() << "no error";
  } catch (const Exception& error) {
    EXPECT_EQ(error.Message(), "BitmapFiletr accepts only 24Bit DIB");
  }
}

}  // namespace
}  // namespace qv
