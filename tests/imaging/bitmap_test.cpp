// Tests of the Raster image: layout, sharing, resizing, format conversion and row access.
#include "imaging/bitmap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

#include "runtime/exceptions.h"
#include "runtime/messages.h"
#include "support/pixel_format_name.h"

namespace qv {
namespace {

struct Color {
  int r, g, b;
  friend bool operator==(const Color&, const Color&) = default;
};

void Put24(TBitmap& image, int x, int y, Color c) {
  std::uint8_t* p = image.ScanLine(y) + 3 * x;
  p[0] = static_cast<std::uint8_t>(c.b);
  p[1] = static_cast<std::uint8_t>(c.g);
  p[2] = static_cast<std::uint8_t>(c.r);
}

Color Get24(const TBitmap& image, int x, int y) {
  const std::uint8_t* p = image.ScanLine(y) + 3 * x;
  return {p[2], p[1], p[0]};
}

// A 24-bit test picture whose every pixel differs.
TBitmap Picture24(int width, int height) {
  TBitmap image;
  image.Allocate(width, height, TPixelFormat::pf24bit);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) Put24(image, x, y, {x * 40 % 256, y * 60 % 256, (x + y) * 20});
  return image;
}

TEST(BitmapLayout, NewImageIsEmpty) {
  TBitmap image;
  EXPECT_TRUE(image.Empty());
  EXPECT_EQ(image.Width(), 0);
  EXPECT_EQ(image.Height(), 0);
  EXPECT_EQ(image.PixelFormat(), TPixelFormat::pfDevice);
}

TEST(BitmapLayout, RowsArePaddedToFourBytesAndStoredBottomUp) {
  TBitmap image;
  image.Allocate(1, 3, TPixelFormat::pf24bit);
  EXPECT_EQ(image.RowSize(), 4u);  // 3 pixel bytes and 1 of padding
  EXPECT_EQ(image.BitsSize(), 12u);
  EXPECT_EQ(image.RowStep(), -4);
  EXPECT_EQ(image.ScanLine(1) - image.ScanLine(0), -4);
  EXPECT_EQ(image.ScanLine(2), image.Bits());  // top row is last in memory
  TBitmap top_down;
  top_down.Allocate(5, 2, TPixelFormat::pf1bit, true);
  EXPECT_EQ(top_down.RowSize(), 4u);
  EXPECT_EQ(top_down.RowStep(), 4);
  EXPECT_EQ(top_down.ScanLine(0), top_down.Bits());
}

TEST(BitmapLayout, RowAccessOutOfRangeFailsWithTheMessage) {
  TBitmap image = Picture24(2, 2);
  for (int y : {-1, 2}) {
    try {
      image.ScanLine(y);
      FAIL() << y;
    } catch (const EInvalidGraphicOperation& e) {
      EXPECT_EQ(e.Message(), "スキャンライン のインデックスが範囲を越えました");
    }
    const TBitmap& constant = image;
    EXPECT_THROW(constant.ScanLine(y), EInvalidGraphicOperation);
  }
}

TEST(BitmapLayout, CustomFormatIsRefused) {
  TBitmap image = Picture24(2, 2);
  try {
    image.SetPixelFormat(TPixelFormat::pfCustom);
    FAIL();
  } catch (const EInvalidGraphicOperation& e) {
    EXPECT_EQ(e.Message(), "画像フォーマットが不正です");
  }
  EXPECT_EQ(image.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(Get24(image, 1, 1), (Color{40, 60, 40}));
}

TEST(BitmapSharing, CopiesAreIndependent) {
  TBitmap a = Picture24(3, 2);
  TBitmap b;
  b.Assign(&a);
  EXPECT_EQ(static_cast<const TBitmap&>(a).ScanLine(0),
            static_cast<const TBitmap&>(b).ScanLine(0));  // shared until written
  Put24(b, 0, 0, {1, 2, 3});
  EXPECT_EQ(Get24(a, 0, 0), (Color{0, 0, 0}));
  EXPECT_EQ(Get24(b, 0, 0), (Color{1, 2, 3}));
  TBitmap c = a;
  c.SetWidth(1);
  c.SetPalette({{1, 2, 3, 0}});
  EXPECT_EQ(a.Width(), 3);
  EXPECT_TRUE(a.Palette().empty());
  b.Assign(nullptr);
  EXPECT_TRUE(b.Empty());
  EXPECT_EQ(a.Width(), 3);
}

TEST(BitmapSharing, CopiesOnOtherThreadsLeaveTheOriginalIntact) {
  TBitmap original = Picture24(64, 64);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&original, t] {
      for (int i = 0; i < 200; ++i) {
        TBitmap copy(original);
        Put24(copy, t, 0, {255, 255, 255});
      }
    });
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(Get24(original, t, 0), (Color{t * 40, 0, t * 20}));
}

TEST(BitmapSize, WideningKeepsPixelsTopLeftAndFillsWhite) {
  TBitmap image = Picture24(3, 2);
  image.SetWidth(5);
  EXPECT_EQ(image.RowSize(), 16u);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x)
      EXPECT_EQ(Get24(image, x, y), (Color{x * 40, y * 60, (x + y) * 20}));
    for (int x = 3; x < 5; ++x) EXPECT_EQ(Get24(image, x, y), (Color{255, 255, 255}));
  }
  image.SetHeight(3);  // the new bottom row is white, the old rows stay on top
  EXPECT_EQ(Get24(image, 1, 1), (Color{40, 60, 40}));
  EXPECT_EQ(Get24(image, 0, 2), (Color{255, 255, 255}));
  image.SetSize(2, 1);
  EXPECT_EQ(Get24(image, 1, 0), (Color{40, 0, 20}));
  EXPECT_EQ(image.BitsSize(), 8u);
}

TEST(BitmapSize, SettingTheCurrentSizeKeepsTheBuffer) {
  TBitmap image = Picture24(3, 2);
  const std::uint8_t* before = static_cast<const TBitmap&>(image).ScanLine(0);
  image.SetWidth(3);
  image.SetHeight(2);
  EXPECT_EQ(static_cast<const TBitmap&>(image).ScanLine(0), before);
}

// Width 3 to 11 in every format: the old pixels stay, the new ones are white in that format.
class BitmapWhiteFill : public ::testing::TestWithParam<TPixelFormat> {};

TEST_P(BitmapWhiteFill, NewPixelsAreWhiteOldKept) {
  TBitmap image = Picture24(3, 2);
  image.SetPixelFormat(GetParam());
  TBitmap reference = image;
  reference.SetPixelFormat(TPixelFormat::pf24bit);
  image.SetSize(11, 3);
  EXPECT_EQ(image.PixelFormat(), GetParam());
  image.SetPixelFormat(TPixelFormat::pf24bit);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 11; ++x) {
      Color expected = x < 3 && y < 2 ? Get24(reference, x, y) : Color{255, 255, 255};
      EXPECT_EQ(Get24(image, x, y), expected) << x << "," << y;
    }
}

INSTANTIATE_TEST_SUITE_P(AllFormats, BitmapWhiteFill,
                         ::testing::Values(TPixelFormat::pf1bit, TPixelFormat::pf4bit,
                                           TPixelFormat::pf8bit, TPixelFormat::pf15bit,
                                           TPixelFormat::pf16bit, TPixelFormat::pf24bit,
                                           TPixelFormat::pf32bit, TPixelFormat::pfDevice),
                         [](const auto& test_info) {
                           const auto& c = test_info.param;
                           return testing::PixelFormatName(c);
                         });

TEST(BitmapSize, SubBytePixelsStayExact) {
  // 1-bit rows 13 wide cut to 9: the ninth pixel lives in the second byte.
  TBitmap image;
  image.Allocate(13, 1, TPixelFormat::pf1bit);
  image.ScanLine(0)[0] = 0b10100101;
  image.ScanLine(0)[1] = 0b10000000;
  image.SetWidth(9);
  EXPECT_EQ(image.ScanLine(0)[0], 0b10100101);
  EXPECT_EQ(image.ScanLine(0)[1] & 0x80, 0x80);
  image.SetWidth(10);  // the tenth pixel is new: white is index 1
  EXPECT_EQ(image.ScanLine(0)[1] & 0xC0, 0xC0);
}

TEST(BitmapSize, CustomSixteenBitWhiteUsesTheMasks) {
  TBitmap image;
  image.Allocate(1, 1, TPixelFormat::pfCustom, false, 16);
  TDibInfo& dib = image.MutableDibInfo();
  dib.compression = 3;
  dib.masks[0] = 0x0F00, dib.masks[1] = 0x00F0, dib.masks[2] = 0x000F;
  image.SetWidth(2);
  const std::uint8_t* row = static_cast<const TBitmap&>(image).ScanLine(0);
  EXPECT_EQ(row[2] | (row[3] << 8), 0x0FFF);
}

// Round trips 24 bits -> format -> 24 bits on colours the format holds exactly.
struct RoundTrip {
  TPixelFormat format;
  std::vector<Color> colors;
};

class BitmapFormatRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(BitmapFormatRoundTrip, ExactColoursSurvive) {
  const auto& colors = GetParam().colors;
  TBitmap image;
  image.Allocate(static_cast<int>(colors.size()), 2, TPixelFormat::pf24bit);
  for (int y = 0; y < 2; ++y)
    for (std::size_t x = 0; x < colors.size(); ++x) Put24(image, static_cast<int>(x), y, colors[x]);
  image.SetPixelFormat(GetParam().format);
  EXPECT_EQ(image.PixelFormat(), GetParam().format);
  image.SetPixelFormat(TPixelFormat::pf24bit);
  for (int y = 0; y < 2; ++y)
    for (std::size_t x = 0; x < colors.size(); ++x)
      EXPECT_EQ(Get24(image, static_cast<int>(x), y), colors[x]) << x;
}

INSTANTIATE_TEST_SUITE_P(
    Formats, BitmapFormatRoundTrip,
    ::testing::Values(
        RoundTrip{TPixelFormat::pf1bit, {{0, 0, 0}, {255, 255, 255}, {0, 0, 0}}},
        RoundTrip{TPixelFormat::pf4bit, {{128, 0, 0}, {192, 192, 192}, {0, 255, 255}, {0, 0, 0}}},
        RoundTrip{TPixelFormat::pf8bit,
                  {{51, 102, 153}, {128, 128, 128}, {255, 0, 204}, {7, 7, 7}, {255, 255, 255}}},
        RoundTrip{TPixelFormat::pf15bit, {{255, 0, 66}, {0, 255, 255}}},
        RoundTrip{TPixelFormat::pf16bit, {{255, 16, 0}, {0, 0, 255}}},
        RoundTrip{TPixelFormat::pf32bit, {{1, 2, 3}, {250, 251, 252}}},
        RoundTrip{TPixelFormat::pfDevice, {{9, 8, 7}}}),
    [](const auto& test_info) {
      const auto& c = test_info.param;
      return testing::PixelFormatName(c.format);
    });

TEST(BitmapFormat, NearestColourAndPalettes) {
  TBitmap image;
  image.Allocate(2, 1, TPixelFormat::pf24bit);
  Put24(image, 0, 0, {250, 10, 5});
  Put24(image, 1, 0, {100, 100, 100});
  image.SetPixelFormat(TPixelFormat::pf4bit);
  ASSERT_EQ(image.Palette().size(), 16u);
  EXPECT_EQ(image.Palette(), SystemPalette16());
  const TRGBQuad& red = image.Palette()[image.ScanLine(0)[0] >> 4];
  EXPECT_EQ(red, (TRGBQuad{0, 0, 255, 0}));
  const TRGBQuad& grey = image.Palette()[image.ScanLine(0)[0] & 15];
  EXPECT_EQ(grey, (TRGBQuad{128, 128, 128, 0}));
  image.SetPixelFormat(TPixelFormat::pf8bit);
  EXPECT_EQ(image.Palette().size(), 256u);
}

// Every converted pixel holds a palette entry at the smallest distance any entry has.
TEST(BitmapFormat, PaletteConversionFindsTheNearestEntry) {
  for (TPixelFormat format : {TPixelFormat::pf8bit, TPixelFormat::pf4bit}) {
    TBitmap image;
    image.Allocate(4096, 4, TPixelFormat::pf24bit);
    unsigned seed = 12345;
    for (int y = 0; y < 4; ++y) {
      std::uint8_t* row = image.ScanLine(y);
      for (int i = 0; i < 4096 * 3; ++i) {
        seed = seed * 1103515245u + 12345u;
        row[i] = static_cast<std::uint8_t>(seed >> 23);
      }
    }
    TBitmap converted = image;
    converted.SetPixelFormat(format);
    const auto& palette = converted.Palette();
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4096; ++x) {
        const std::uint8_t* p = static_cast<const TBitmap&>(image).ScanLine(y) + 3 * x;
        auto distance = [&](const TRGBQuad& q) {
          int db = p[0] - q.blue, dg = p[1] - q.green, dr = p[2] - q.red;
          return db * db + dg * dg + dr * dr;
        };
        int best = distance(palette[0]);
        for (const TRGBQuad& q : palette) best = std::min(best, distance(q));
        const std::uint8_t* row = static_cast<const TBitmap&>(converted).ScanLine(y);
        int index =
            format == TPixelFormat::pf8bit ? row[x] : (row[x / 2] >> ((x & 1) ? 0 : 4)) & 15;
        ASSERT_EQ(distance(palette[static_cast<std::size_t>(index)]), best) << x << "," << y;
      }
  }
}

TEST(BitmapFormat, HalftonePaletteHasDistinctEntries) {
  const auto& palette = HalftonePalette256();
  ASSERT_EQ(palette.size(), 256u);
  for (std::size_t i = 0; i < palette.size(); ++i)
    for (std::size_t j = i + 1; j < palette.size(); ++j) ASSERT_FALSE(palette[i] == palette[j]);
}

TEST(BitmapFormat, SixteenBitsBecomeFiveSixFiveBitFields) {
  TBitmap image = Picture24(2, 2);
  image.SetPixelFormat(TPixelFormat::pf16bit);
  EXPECT_EQ(image.DibInfo().compression, 3u);
  EXPECT_EQ(image.DibInfo().masks[1], 0x07E0u);
  image.SetPixelFormat(TPixelFormat::pf15bit);
  EXPECT_EQ(image.DibInfo().compression, 0u);
}

TEST(BitmapFormat, ChangesDropRetainedFileBytes) {
  TBitmap image = Picture24(2, 2);
  image.MutableDibInfo().retained_file = {1, 2, 3};
  TBitmap copy = image;
  EXPECT_EQ(copy.DibInfo().retained_file.size(), 3u);
  copy.ScanLine(0);
  EXPECT_TRUE(copy.DibInfo().retained_file.empty());
  EXPECT_EQ(image.DibInfo().retained_file.size(), 3u);
  image.SetPixelFormat(TPixelFormat::pf32bit);
  EXPECT_TRUE(image.DibInfo().retained_file.empty());
}

TEST(BitmapFormat, EmptyImageChangesFormatOnly) {
  TBitmap image;
  image.SetPixelFormat(TPixelFormat::pf8bit);
  EXPECT_TRUE(image.Empty());
  EXPECT_EQ(image.PixelFormat(), TPixelFormat::pf8bit);
  image.SetSize(2, 2);
  EXPECT_FALSE(image.Empty());
  EXPECT_EQ(image.Palette()[image.ScanLine(0)[0]], (TRGBQuad{255, 255, 255, 0}));
}

TEST(BitmapLimits, OversizedBufferFailsAndKeepsTheImage) {
  TBitmap image = Picture24(2, 2);
  EXPECT_THROW(image.SetSize(100000, 100000), EOutOfMemory);
  EXPECT_EQ(image.Width(), 2);
  EXPECT_EQ(Get24(image, 1, 1), (Color{40, 60, 40}));
}

// Pictures of several megabytes take their buffer from another allocator than small ones: the
// row padding, which BMP files carry as it is, must be zero there too, after every operation that
// makes a new buffer.
TEST(BitmapLarge, RowPaddingStaysZero) {
  const int width = 1001, height = 1500;  // 3003 pixel bytes and 1 padding byte a row, 4.5 MB
  auto padding_is_zero = [](const TBitmap& image) {
    std::size_t used = static_cast<std::size_t>(image.Width()) * 3;
    for (int y = 0; y < image.Height(); ++y)
      for (std::size_t b = used; b < image.RowSize(); ++b)
        if (image.ScanLine(y)[b] != 0) return false;
    return true;
  };
  TBitmap image;
  image.Allocate(width, height, TPixelFormat::pf24bit);
  const std::uint8_t* bits = image.Bits();
  EXPECT_TRUE(std::all_of(bits, bits + image.BitsSize(), [](std::uint8_t b) { return b == 0; }));
  for (int y = 0; y < height; ++y) std::memset(image.ScanLine(y), 0x5A, 3 * width);
  EXPECT_TRUE(padding_is_zero(image));

  TBitmap grown = image;
  grown.SetSize(width + 2, height);  // 3009 pixel bytes and 3 padding bytes
  EXPECT_TRUE(padding_is_zero(grown));
  EXPECT_EQ(grown.ScanLine(height - 1)[3 * width - 1], 0x5A);
  EXPECT_EQ(grown.ScanLine(height - 1)[3 * width], 255);  // new pixels are white

  TBitmap wide;
  wide.Allocate(width, height, TPixelFormat::pf32bit);
  wide.SetPixelFormat(TPixelFormat::pf24bit);
  EXPECT_TRUE(padding_is_zero(wide));
  TBitmap copy = image;
  copy.ScanLine(0)[0] = 1;  // a private copy of the shared buffer
  EXPECT_TRUE(padding_is_zero(copy));
  EXPECT_EQ(image.ScanLine(0)[0], 0x5A);
}

}  // namespace
}  // namespace qv
