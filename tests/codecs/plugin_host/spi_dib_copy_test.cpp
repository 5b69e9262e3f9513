// Tests of copying plug-in result blocks into a Raster image: layouts, conversion and lying blocks.
#include "codecs/plugin_host/spi_dib_copy.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "codecs/plugin_host/spi_test_blocks.h"
#include "imaging/bitmap.h"
#include "runtime/exceptions.h"

namespace qv {
namespace {

using testing::DibLayout;

// Colour of picture pixel (x, y) of a 24-bit image as 0xRRGGBB.
std::uint32_t Rgb24(const TBitmap &image, int x, int y) {
  const std::uint8_t *p = image.ScanLine(y) + 3 * x;
  return static_cast<std::uint32_t>(p[2]) << 16 | p[1] << 8 | p[0];
}

struct LayoutCase {
  std::string name;
  DibLayout layout;
  std::vector<std::uint8_t> pixels;   // memory order as the header says
  std::vector<std::uint32_t> expect;  // picture rows top first, 0xRRGGBB
  TPixelFormat own_format;
};

class SpiDibLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(SpiDibLayout, ConvertsIntoTheImageFormat) {
  const LayoutCase &c = GetParam();
  int width = c.layout.width;
  int height = c.layout.height < 0 ? -c.layout.height : c.layout.height;

  TBitmap image;
  image.SetPixelFormat(TPixelFormat::pf24bit);
  CopyPluginDib(c.layout.Info(), c.pixels, image);
  ASSERT_EQ(image.Width(), width);
  ASSERT_EQ(image.Height(), height);
  EXPECT_EQ(image.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_FALSE(image.TopDown());
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      EXPECT_EQ(Rgb24(image, x, y), c.expect[static_cast<std::size_t>(y * width + x)])
          << "pixel " << x << "," << y;

  // An image of custom format takes the block's own format (and its palette).
  TBitmap own;
  own.Allocate(1, 1, TPixelFormat::pfCustom, false, 32);
  CopyPluginDib(c.layout.Info(), c.pixels, own);
  EXPECT_EQ(own.PixelFormat(), c.own_format);
  if (c.layout.bits <= 8) {
    ASSERT_FALSE(own.Palette().empty());
    EXPECT_EQ(own.Palette()[0].red, c.layout.colors[0] >> 16);
  }
}

// Rows are padded to 4 bytes; bottom-up unless the height is negative.
const LayoutCase kLayouts[] = {
    {"OneBit",
     {.width = 3, .height = 2, .bits = 1, .colors = {0x102030, 0xF0E0D0}},
     {0xA0, 0, 0, 0, 0x40, 0, 0, 0},  // bottom row 101, top row 010
     {0x102030, 0xF0E0D0, 0x102030, 0xF0E0D0, 0x102030, 0xF0E0D0},
     TPixelFormat::pf1bit},
    {"FourBitFewColours",
     {.width = 2, .height = 1, .bits = 4, .colors_used = 3, .colors = {0, 0x00FF00, 0x0000FF}},
     {0x21, 0, 0, 0},
     {0x0000FF, 0x00FF00},
     TPixelFormat::pf4bit},
    {"EightBitTopDown",
     {.width = 2,
      .height = -2,
      .bits = 8,
      .colors_used = 4,
      .colors = {0x000000, 0x111111, 0x222222, 0x333333}},
     {1, 2, 0, 0, 3, 0, 0, 0},
     {0x111111, 0x222222, 0x333333, 0x000000},
     TPixelFormat::pf8bit},
    {"EightBitIndexPastTable",  // an index beyond a short table reads as black
     {.width = 1, .height = 1, .bits = 8, .colors_used = 1, .colors = {0xFFFFFF}},
     {7, 0, 0, 0},
     {0x000000},
     TPixelFormat::pf8bit},
    {"Sixteen555",
     {.width = 1, .height = 1, .bits = 16},
     {0x00, 0x7C, 0, 0},
     {0xFF0000},
     TPixelFormat::pf15bit},
    {"Sixteen565BitFields",
     {.width = 2, .height = 1, .bits = 16, .compression = 3, .masks = {0xF800, 0x07E0, 0x001F}},
     {0xE0, 0x07, 0x1F, 0x00},
     {0x00FF00, 0x0000FF},
     TPixelFormat::pf16bit},
    {"TwentyFourTopDown",
     {.width = 1, .height = -2, .bits = 24},
     {0x03, 0x02, 0x01, 0, 0x06, 0x05, 0x04, 0},
     {0x010203, 0x040506},
     TPixelFormat::pf24bit},
    {"ThirtyTwo",
     {.width = 1, .height = 2, .bits = 32},
     {0x03, 0x02, 0x01, 0xFF, 0x06, 0x05, 0x04, 0x00},
     {0x040506, 0x010203},
     TPixelFormat::pf32bit},
    {"ThirtyTwoSwappedMasks",
     {.width = 1,
      .height = 1,
      .bits = 32,
      .compression = 3,
      .masks = {0x000000FF, 0x0000FF00, 0x00FF0000}},
     {0x11, 0x22, 0x33, 0},
     {0x112233},
     TPixelFormat::pfCustom},
};

INSTANTIATE_TEST_SUITE_P(Layouts, SpiDibLayout, ::testing::ValuesIn(kLayouts),
                         [](const auto &test) { return test.param.name; });

// A fresh image (device format: no wish) takes the block at its own depth, never four bytes a
// pixel for a palette picture; an image of a chosen format keeps it.
TEST(SpiDibCopy, AFreshImageTakesTheBlockAtItsOwnDepth) {
  DibLayout one_bit{
      .width = 9, .height = 2, .bits = 1, .colors_used = 2, .colors = {0xFFFFFF, 0x000000}};
  std::vector<std::uint8_t> rows = {0x80, 0x80, 0, 0, 0x00, 0x80, 0, 0};
  TBitmap fresh;
  CopyPluginDib(one_bit.Info(), rows, fresh);
  EXPECT_EQ(fresh.PixelFormat(), TPixelFormat::pf1bit);
  EXPECT_EQ(fresh.RowSize(), 4u);
  EXPECT_EQ(fresh.ScanLine(0)[0], 0x00);  // picture row 0 is the block's second row
  EXPECT_EQ(fresh.ScanLine(0)[1], 0x80);
  EXPECT_EQ(fresh.ScanLine(1)[0], 0x80);

  DibLayout palette{.width = 1, .height = 1, .bits = 8, .colors_used = 1, .colors = {0x336699}};
  TBitmap fresh8;
  CopyPluginDib(palette.Info(), std::vector<std::uint8_t>{0, 0, 0, 0}, fresh8);
  EXPECT_EQ(fresh8.PixelFormat(), TPixelFormat::pf8bit);
  ASSERT_EQ(fresh8.Palette().size(), 1u);
  EXPECT_EQ(fresh8.Palette()[0].red, 0x33);

  TBitmap held;
  held.Allocate(2, 2, TPixelFormat::pf32bit);
  CopyPluginDib(palette.Info(), std::vector<std::uint8_t>{0, 0, 0, 0}, held);
  EXPECT_EQ(held.PixelFormat(), TPixelFormat::pf32bit);
  const std::uint8_t *p = held.ScanLine(0);
  EXPECT_EQ(p[0], 0x99);
  EXPECT_EQ(p[1], 0x66);
  EXPECT_EQ(p[2], 0x33);
}

TEST(SpiDibCopy, LargerHeaderVersionsPlaceTheColourTableAfterThemselves) {
  DibLayout layout{.width = 1, .height = 1, .bits = 8, .colors_used = 1, .header_size = 108};
  std::vector<std::uint8_t> info = layout.Info();
  info.resize(108 + 4, 0);
  info[108] = 0x30, info[109] = 0x20, info[110] = 0x10;
  TBitmap image;
  image.SetPixelFormat(TPixelFormat::pf24bit);
  CopyPluginDib(info, std::vector<std::uint8_t>{0, 0, 0, 0}, image);
  EXPECT_EQ(Rgb24(image, 0, 0), 0x102030u);
}

struct LieCase {
  std::string name;
  DibLayout layout;
  std::size_t pixel_bytes;
  int info_trim = 0;  // bytes cut off the end of the information block
};

class SpiDibLie : public ::testing::TestWithParam<LieCase> {};

TEST_P(SpiDibLie, IsRefusedAndLeavesTheImageAlone) {
  const LieCase &c = GetParam();
  std::vector<std::uint8_t> info = c.layout.Info();
  info.resize(info.size() - static_cast<std::size_t>(c.info_trim));
  std::vector<std::uint8_t> pixels(c.pixel_bytes, 0);
  TBitmap image;
  image.Allocate(2, 3, TPixelFormat::pf24bit);
  EXPECT_THROW(CopyPluginDib(info, pixels, image), EInvalidGraphic);
  EXPECT_EQ(image.Width(), 2);
  EXPECT_EQ(image.Height(), 3);
}

const std::vector<std::uint32_t> kTwoColours = {0, 0xFFFFFF};
const LieCase kLies[] = {
    {"InfoShorterThanHeader", {}, 4, 1},
    {"HeaderSizeTooSmall", {.header_size = 12}, 4},
    {"HeaderSizePastBlock", {.header_size = 41}, 4},
    {"SevenBits", {.bits = 7}, 4},
    {"ZeroBits", {.bits = 0}, 4},
    {"RunLengthCompression", {.bits = 8, .compression = 1, .colors = kTwoColours}, 4},
    {"BitFieldsOnTwentyFour", {.bits = 24, .compression = 3, .masks = {0xFF0000, 0xFF00, 0xFF}}, 4},
    {"BitFieldsMasksMissing", {.bits = 32, .compression = 3}, 4},
    {"MaskNotOneRun", {.bits = 32, .compression = 3, .masks = {0xF0F000, 0xFF00, 0xFF}}, 4},
    {"MaskWiderThanPixel", {.bits = 16, .compression = 3, .masks = {0x1F0000, 0x7E0, 0x1F}}, 4},
    {"ZeroWidth", {.width = 0}, 4},
    {"NegativeWidth", {.width = -1}, 4},
    {"ZeroHeight", {.height = 0}, 4},
    {"MostNegativeHeight", {.height = std::numeric_limits<std::int32_t>::min()}, 4},
    {"MoreColoursThanBits", {.bits = 1, .colors_used = 3, .colors = {0, 0, 0}}, 4},
    {"ColourTablePastBlock", {.bits = 8, .colors_used = 2, .colors = {0}}, 4},
    {"FullTableMissing", {.bits = 4, .colors = kTwoColours}, 4},
    {"PixelBlockOneByteShort", {.width = 3, .height = 2, .bits = 24}, 23},
    {"TopDownPixelBlockShort", {.width = 1, .height = -3, .bits = 32}, 8},
};

INSTANTIATE_TEST_SUITE_P(Lies, SpiDibLie, ::testing::ValuesIn(kLies),
                         [](const auto &test) { return test.param.name; });

TEST(SpiDibCopy, AnImagePastTheSizeLimitsIsOutOfMemoryBeforeAnyAllocation) {
  DibLayout layout{.width = 1 << 16, .height = 1 << 15, .bits = 24};
  TBitmap image;
  EXPECT_THROW(CopyPluginDib(layout.Info(), std::vector<std::uint8_t>(16, 0), image), EOutOfMemory);
  EXPECT_TRUE(image.Empty());
}

}  // namespace
}  // namespace qv
