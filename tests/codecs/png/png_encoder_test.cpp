// The PNG encoder: round trips through libpng and our decoder, pngcheck, and the chunk layout.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "codecs/png/png_exceptions.h"
#include "codecs/png/png_object.h"
#include "codecs/png/png_test_support.h"
#include "imaging/bitmap.h"
#include "runtime/stream.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

// An image of the format with varied content: smooth areas, edges and noise.
TBitmap MakeImage(TPixelFormat format, int width, int height, unsigned seed) {
  TBitmap image;
  image.Allocate(width, height, format);
  std::mt19937 random(seed);
  int bits = image.BitsPerPixel();
  if (bits <= 8) {
    std::vector<TRGBQuad> palette(std::size_t{1} << bits);
    for (auto& c : palette)
      c = TRGBQuad{static_cast<std::uint8_t>(random()), static_cast<std::uint8_t>(random()),
                   static_cast<std::uint8_t>(random()), 0};
    image.SetPalette(palette);
  }
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = image.ScanLine(y);
    for (std::size_t i = 0; i < image.RowSize(); ++i)
      row[i] = (y % 3 == 0) ? static_cast<std::uint8_t>(random())
                            : static_cast<std::uint8_t>(i * 7 + y * 3 + (i / 13));
  }
  return image;
}

struct Case {
  TPixelFormat format;
  int interlace;
  std::uint8_t filters;
  int level;
  int width, height;
};

std::string Describe(const Case& c) {
  return "format" + std::to_string(static_cast<int>(c.format)) + "_i" +
         std::to_string(c.interlace) + "_f" + std::to_string(c.filters) + "_l" +
         std::to_string(c.level) + "_" + std::to_string(c.width) + "x" + std::to_string(c.height);
}

class PngRoundTrip : public ::testing::TestWithParam<Case> {};

// What we write passes pngcheck, and libpng and our own decoder give back the pixels we put in:
// indices and palette for 1, 4 and 8 bits, the 24-bit colours of the platform's conversion for
// 15, 16, 24 and 32 bits.
TEST_P(PngRoundTrip, LibpngAndOurDecoderGetThePixelsBack) {
  const Case& c = GetParam();
  TBitmap source = MakeImage(c.format, c.width, c.height, 17u + static_cast<unsigned>(c.width));
  TBitmap reference(source);
  if (source.BitsPerPixel() > 8 && source.BitsPerPixel() != 24)
    reference.SetPixelFormat(TPixelFormat::pf24bit);

  TPNGObject png;
  png.SetInterlaceMethod(c.interlace);
  png.SetFilters(c.filters);
  png.SetCompressionLevel(c.level);
  png.AssignBitmap(source);
  testing::TempDir dir;
  const std::string path = dir / "out.png";
  png.SaveToFile(path);

  std::string report;
  EXPECT_EQ(pngtest::RunPngcheck(path, &report), 0) << report;

  pngtest::LibpngImage decoded = pngtest::DecodeWithLibpng(path);
  ASSERT_TRUE(decoded.ok) << decoded.error;
  ASSERT_EQ(decoded.width, c.width);
  ASSERT_EQ(decoded.height, c.height);
  int bits = reference.BitsPerPixel();
  EXPECT_EQ(decoded.colour_type, bits <= 8 ? 3 : 2);
  EXPECT_EQ(decoded.bit_depth, bits <= 8 ? bits : 8);
  if (bits <= 8) {
    ASSERT_EQ(decoded.palette.size(), 3u << bits);
    for (std::size_t i = 0; i < reference.Palette().size(); ++i) {
      EXPECT_EQ(decoded.palette[3 * i], reference.Palette()[i].red);
      EXPECT_EQ(decoded.palette[3 * i + 1], reference.Palette()[i].green);
      EXPECT_EQ(decoded.palette[3 * i + 2], reference.Palette()[i].blue);
    }
  }
  for (int y = 0; y < c.height; ++y) {
    for (int x = 0; x < c.width; ++x) {
      std::size_t at = static_cast<std::size_t>(y) * c.width + x;
      if (bits <= 8) {
        ASSERT_EQ(decoded.indices[at], pngtest::PixelIndex(reference, x, y)) << x << "," << y;
      } else {
        TRGBQuad want = pngtest::PixelColor(reference, x, y);
        ASSERT_EQ(decoded.rgb[3 * at], want.red) << x << "," << y;
        ASSERT_EQ(decoded.rgb[3 * at + 1], want.green) << x << "," << y;
        ASSERT_EQ(decoded.rgb[3 * at + 2], want.blue) << x << "," << y;
      }
    }
  }

  TPNGObject again;
  again.LoadFromFile(path);
  EXPECT_EQ(again.InterlaceMethod(), c.interlace);
  TBitmap back;
  again.AssignTo(back);
  ASSERT_EQ(back.BitsPerPixel(), bits);
  if (bits <= 8) {
    EXPECT_EQ(back.Palette(), reference.Palette());
  }
  for (int y = 0; y < c.height; ++y)
    for (int x = 0; x < c.width; ++x)
      ASSERT_EQ(pngtest::PixelColor(back, x, y), pngtest::PixelColor(reference, x, y));
}

std::vector<Case> Cases() {
  std::vector<Case> cases;
  const TPixelFormat formats[] = {
      TPixelFormat::pf1bit,  TPixelFormat::pf4bit,  TPixelFormat::pf8bit,  TPixelFormat::pf15bit,
      TPixelFormat::pf16bit, TPixelFormat::pf24bit, TPixelFormat::pf32bit, TPixelFormat::pfDevice};
  const std::uint8_t filter_sets[] = {kPngFilterSetSub,     kPngFilterSetNone,  kPngFilterSetUp,
                                      kPngFilterSetAverage, kPngFilterSetPaeth, kPngFilterSetAll};
  for (TPixelFormat format : formats)
    for (int interlace : {0, 1})
      for (std::uint8_t filters : filter_sets)
        cases.push_back({format, interlace, filters, 6, 37, 19});
  // Small and odd sizes (empty Adam7 passes), and levels 0 and 9.
  for (int interlace : {0, 1}) {
    cases.push_back({TPixelFormat::pf24bit, interlace, kPngFilterSetSub, 9, 1, 1});
    cases.push_back({TPixelFormat::pf1bit, interlace, kPngFilterSetAll, 0, 3, 2});
    cases.push_back({TPixelFormat::pf4bit, interlace, kPngFilterSetAll, 9, 9, 1});
    cases.push_back({TPixelFormat::pf8bit, interlace, kPngFilterSetSub, 0, 1, 17});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Formats, PngRoundTrip, ::testing::ValuesIn(Cases()),
                         [](const auto& test_info) { return Describe(test_info.param); });

std::vector<std::uint8_t> Save(TPNGObject& png) {
  TMemoryStream stream;
  png.SaveToStream(stream);
  return stream.Bytes();
}

std::vector<std::uint8_t> IdatData(const std::vector<pngtest::Chunk>& chunks) {
  std::vector<std::uint8_t> all;
  for (const auto& chunk : chunks)
    if (chunk.type == "IDAT") all.insert(all.end(), chunk.data.begin(), chunk.data.end());
  return all;
}

TEST(PngLayout, OnePixelColourImage) {
  TBitmap image;
  image.Allocate(1, 1, TPixelFormat::pf24bit);
  image.ScanLine(0)[0] = 10;  // blue
  image.ScanLine(0)[1] = 20;
  image.ScanLine(0)[2] = 30;  // red
  TPNGObject png;
  png.AssignBitmap(image);
  std::vector<std::uint8_t> file = Save(png);
  ASSERT_EQ(std::vector<std::uint8_t>(file.begin(), file.begin() + 8),
            (std::vector<std::uint8_t>{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}));
  auto chunks = pngtest::ParseChunks(file);
  ASSERT_EQ(chunks.size(), 3u);
  EXPECT_EQ(chunks[0].type, "IHDR");
  EXPECT_EQ(chunks[0].data, pngtest::Ihdr(1, 1, 8, 2));
  EXPECT_EQ(chunks[1].type, "IDAT");
  EXPECT_EQ(pngtest::Inflate(chunks[1].data), (std::vector<std::uint8_t>{1, 30, 20, 10}));
  EXPECT_EQ(chunks[2].type, "IEND");
  for (const auto& chunk : chunks) EXPECT_FALSE(chunk.bad_crc) << chunk.type;
  const std::vector<std::uint8_t> iend = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
  EXPECT_EQ(std::vector<std::uint8_t>(file.end() - 12, file.end()), iend);
}

// Noise at level 0 gives stored blocks larger than one IDAT: every chunk but the last holds
// exactly the maximum IDAT size; a larger maximum gives fewer chunks.
TEST(PngLayout, ImageDataSplitAtTheMaximumIdatSize) {
  TBitmap image = MakeImage(TPixelFormat::pf24bit, 300, 200, 5);
  for (int y = 0; y < 200; ++y) {
    std::mt19937 random(static_cast<unsigned>(y));
    for (std::size_t i = 0; i < image.RowSize(); ++i)
      image.ScanLine(y)[i] = static_cast<std::uint8_t>(random());
  }
  TPNGObject png;
  png.SetCompressionLevel(0);
  png.AssignBitmap(image);
  auto chunks = pngtest::ParseChunks(Save(png));
  std::vector<std::size_t> sizes;
  for (const auto& chunk : chunks)
    if (chunk.type == "IDAT") sizes.push_back(chunk.data.size());
  ASSERT_GE(sizes.size(), 3u);
  for (std::size_t i = 0; i + 1 < sizes.size(); ++i) EXPECT_EQ(sizes[i], 65535u);
  EXPECT_LT(sizes.back(), 65535u);
  EXPECT_GT(sizes.back(), 0u);
  EXPECT_EQ(pngtest::Inflate(IdatData(chunks)).size(), 200u * (1 + 900));

  png.SetMaxIdatSize(1000);  // raised to 65535
  EXPECT_EQ(png.MaxIdatSize(), 65535u);
  png.SetMaxIdatSize(100000);
  auto larger = pngtest::ParseChunks(Save(png));
  ASSERT_EQ(larger[2].type, "IDAT");
  EXPECT_EQ(larger[1].data.size(), 100000u);
  EXPECT_EQ(pngtest::Inflate(IdatData(larger)), pngtest::Inflate(IdatData(chunks)));
}

TEST(PngLayout, PaletteChunkHasTwoToTheBitsEntries) {
  for (TPixelFormat format : {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit}) {
    TBitmap image;
    image.Allocate(5, 3, format);
    image.SetPalette({TRGBQuad{1, 2, 3, 0}, TRGBQuad{4, 5, 6, 0}});  // fewer colours than 2^b
    TPNGObject png;
    png.AssignBitmap(image);
    auto chunks = pngtest::ParseChunks(Save(png));
    ASSERT_EQ(chunks[1].type, "PLTE");
    EXPECT_EQ(chunks[1].data.size(), 3u << image.BitsPerPixel());
    EXPECT_EQ(chunks[1].data[0], 3);  // red of entry 0
    EXPECT_EQ(chunks[1].data[5], 4);  // blue of entry 1
  }
}

TEST(PngLayout, ThirtyTwoBitsBecomeColourTypeTwoWithoutAlpha) {
  TBitmap image;
  image.Allocate(2, 1, TPixelFormat::pf32bit);
  const std::uint8_t pixels[8] = {1, 2, 3, 0x80, 4, 5, 6, 0xFF};
  std::memcpy(image.ScanLine(0), pixels, 8);
  TPNGObject png;
  png.AssignBitmap(image);
  auto chunks = pngtest::ParseChunks(Save(png));
  EXPECT_EQ(chunks[0].data[9], 2);
  EXPECT_EQ(chunks[0].data[8], 8);
  // Sub filter: second pixel as differences from the first.
  EXPECT_EQ(pngtest::Inflate(chunks[1].data), (std::vector<std::uint8_t>{1, 3, 2, 1, 3, 3, 3}));
}

// Filter choice: the best-scoring filter of the set, None kept on ties, and filter 0 when no
// filter scores, even when None is not in the set.
TEST(PngLayout, FilterChoiceByScore) {
  auto first_filter = [](std::uint8_t filters, const std::vector<std::uint8_t>& row) {
    TBitmap image;
    image.Allocate(static_cast<int>(row.size()), 1, TPixelFormat::pf8bit);
    std::memcpy(image.ScanLine(0), row.data(), row.size());
    TPNGObject png;
    png.SetFilters(filters);
    png.AssignBitmap(image);
    auto chunks = pngtest::ParseChunks(Save(png));
    return static_cast<int>(pngtest::Inflate(IdatData(chunks)).at(0));
  };
  std::vector<std::uint8_t> ramp, constant(16, 77), squares;
  for (int i = 0; i < 16; ++i) {
    ramp.push_back(static_cast<std::uint8_t>(i * 5));
    squares.push_back(static_cast<std::uint8_t>(i * i));
  }
  const std::uint8_t none_sub = kPngFilterSetNone | kPngFilterSetSub;
  EXPECT_EQ(first_filter(none_sub, ramp), 1);
  EXPECT_EQ(first_filter(none_sub, constant), 0);  // Sub only ties with None
  EXPECT_EQ(first_filter(kPngFilterSetSub | kPngFilterSetUp, squares), 0);
  EXPECT_EQ(first_filter(kPngFilterSetPaeth, squares), 4);  // a single filter is taken at once
  EXPECT_EQ(first_filter(0, ramp), 0);
}

// Filter choice by the smallest sum of the filtered bytes as signed values: per row, the filter
// that leaves the least, the first of equal sums kept.
TEST(PngLayout, FilterChoiceBySmallestSum) {
  TBitmap image;
  image.Allocate(16, 3, TPixelFormat::pf8bit);
  for (int i = 0; i < 16; ++i) {
    image.ScanLine(0)[i] = static_cast<std::uint8_t>(i * 5);  // Sub leaves 0, 5, 5, ...
    image.ScanLine(1)[i] = static_cast<std::uint8_t>(i * 5);  // Up leaves zeros
    image.ScanLine(2)[i] = 77;  // Sub and Paeth both leave 77 and zeros: Sub comes first
  }
  TPNGObject png;
  png.SetFilters(kPngFilterSetAll);
  png.SetFilterChoice(TPngFilterChoice::kSmallestSum);
  png.AssignBitmap(image);
  std::vector<std::uint8_t> raw = pngtest::Inflate(IdatData(pngtest::ParseChunks(Save(png))));
  ASSERT_EQ(raw.size(), 3u * 17u);
  EXPECT_EQ((std::vector<int>{raw[0], raw[17], raw[34]}), (std::vector<int>{1, 2, 1}));
  EXPECT_EQ(std::vector<std::uint8_t>(raw.begin() + 18, raw.begin() + 34),
            std::vector<std::uint8_t>(16, 0));
}

TEST(PngLayout, TransparentColourGivesTrns) {
  TBitmap colour;
  colour.Allocate(2, 2, TPixelFormat::pf24bit);
  TRGBQuad key{0x30, 0x20, 0x10, 0};
  TPNGObject png;
  png.AssignBitmap(colour, &key);
  auto chunks = pngtest::ParseChunks(Save(png));
  ASSERT_EQ(chunks[1].type, "tRNS");
  EXPECT_EQ(chunks[1].data, (std::vector<std::uint8_t>{0, 0x10, 0, 0x20, 0, 0x30}));

  TBitmap indexed;
  indexed.Allocate(2, 2, TPixelFormat::pf4bit);
  std::vector<TRGBQuad> palette(16);
  palette[2] = key;
  palette[5] = key;
  indexed.SetPalette(palette);
  png.AssignBitmap(indexed, &key);
  chunks = pngtest::ParseChunks(Save(png));
  ASSERT_EQ(chunks[2].type, "tRNS");
  EXPECT_EQ(chunks[2].data, (std::vector<std::uint8_t>{255, 255, 0}));

  TRGBQuad absent{9, 9, 9, 0};
  png.AssignBitmap(indexed, &absent);  // not in the palette: every entry stays opaque
  for (const auto& chunk : pngtest::ParseChunks(Save(png))) EXPECT_NE(chunk.type, "tRNS");
}

TEST(PngLayout, EmptyObjectCannotBeSaved) {
  TPNGObject png;
  TMemoryStream stream;
  EXPECT_THROW(png.SaveToStream(stream), EPNGHeaderNotPresent);
  EXPECT_TRUE(stream.Bytes().empty());
  png.AssignBitmap(TBitmap());
  EXPECT_TRUE(png.Empty());
}

}  // namespace
}  // namespace qv
