// Tests of BMP reading and writing: layouts, round trips, retained bytes and malformed headers.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "codecs/bmp/bmp_reader.h"
#include "codecs/bmp/bmp_writer.h"
#include "imaging/bitmap.h"
#include "runtime/exceptions.h"
#include "runtime/messages.h"
#include "runtime/stream.h"
#include "support/pixel_format_name.h"

namespace qv {
namespace {

using Bytes = std::vector<std::uint8_t>;

void U16(Bytes& b, std::uint32_t v) { b.push_back(v & 0xFF), b.push_back((v >> 8) & 0xFF); }
void U32(Bytes& b, std::uint32_t v) { U16(b, v & 0xFFFF), U16(b, v >> 16); }
std::uint32_t GetU32(const Bytes& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
         (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

// A file with a 40-byte header; the offset field is left 0 (the reader does not use it).
struct InfoFile {
  std::int32_t width = 2, height = 2;
  std::uint16_t planes = 1, bits = 24;
  std::uint32_t compression = 0, size_image = 0, colors_used = 0;
  Bytes after_header;  // masks, colour table, pixels
  Bytes Build() const {
    Bytes b = {'B', 'M'};
    U32(b, 0), U32(b, 0), U32(b, 0), U32(b, 40);
    U32(b, static_cast<std::uint32_t>(width)), U32(b, static_cast<std::uint32_t>(height));
    U16(b, planes), U16(b, bits), U32(b, compression), U32(b, size_image);
    U32(b, 2835), U32(b, 2835), U32(b, colors_used), U32(b, 0);
    b.insert(b.end(), after_header.begin(), after_header.end());
    return b;
  }
};

TBitmap Read(const Bytes& bytes) {
  TReadOnlyMemoryStream stream(bytes);
  TBitmap image;
  ReadBitmap(image, stream);
  return image;
}

Bytes Write(const TBitmap& image) {
  TMemoryStream stream;
  WriteBitmap(image, stream);
  return stream.Bytes();
}

TEST(BmpRead, EmptyStreamGivesEmptyImage) {
  TBitmap image;
  image.Allocate(3, 3, TPixelFormat::pf24bit);
  TReadOnlyMemoryStream stream({});
  ReadBitmap(image, stream);
  EXPECT_TRUE(image.Empty());
  EXPECT_EQ(image.Width(), 0);
}

TEST(BmpRead, TwentyFourBitRowsArePaddedAndBottomUp) {
  InfoFile file;
  file.width = 1;
  file.after_header = {1, 2, 3, 0, /* top row: */ 4, 5, 6, 0};
  TBitmap image = Read(file.Build());
  ASSERT_EQ(image.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(image.RowSize(), 4u);
  EXPECT_EQ(image.ScanLine(0)[0], 4);
  EXPECT_EQ(image.ScanLine(1)[2], 3);
  EXPECT_EQ(image.DibInfo().x_pels_per_meter, 2835);
}

TEST(BmpRead, NegativeHeightKeepsRowsTopDown) {
  InfoFile file;
  file.width = 1, file.height = -2;
  file.after_header = {1, 2, 3, 0, 4, 5, 6, 0};
  TBitmap image = Read(file.Build());
  EXPECT_TRUE(image.TopDown());
  EXPECT_EQ(image.Height(), 2);
  EXPECT_EQ(image.ScanLine(0)[0], 1);
  EXPECT_EQ(image.RowStep(), 4);
  // Written back bottom-up with a positive height.
  Bytes out = Write(image);
  EXPECT_EQ(GetU32(out, 22), 2u);
  EXPECT_EQ(out[54], 4);
}

TEST(BmpRead, TopDownImageResizesFromItsTopLeft) {
  InfoFile file;
  file.width = 1, file.height = -2;
  file.after_header = {1, 2, 3, 0, 4, 5, 6, 0};
  TBitmap image = Read(file.Build());
  image.SetSize(2, 3);
  const TBitmap& view = image;
  EXPECT_EQ(view.ScanLine(0)[0], 1);
  EXPECT_EQ(view.ScanLine(1)[0], 4);
  EXPECT_EQ(view.ScanLine(0)[3], 255);
  EXPECT_EQ(view.ScanLine(2)[0], 255);
}

TEST(BmpRead, PixelsFollowTheColourTableWhateverTheOffsetSays) {
  InfoFile file;
  file.width = 1, file.height = 1, file.bits = 8, file.colors_used = 2;
  file.after_header = {10, 20, 30, 0, 40, 50, 60, 0, /* pixel */ 1, 0, 0, 0};
  Bytes bytes = file.Build();
  bytes[10] = 0xFF, bytes[11] = 0xFF;  // offset 65535
  TBitmap image = Read(bytes);
  ASSERT_EQ(image.Palette().size(), 2u);
  EXPECT_EQ(image.ScanLine(0)[0], 1);
  EXPECT_EQ(image.Palette()[1], (TRGBQuad{40, 50, 60, 0}));
}

TEST(BmpRead, LongTablesKeepTheFirst256Entries) {
  InfoFile file;
  file.width = 1, file.height = 1, file.bits = 8, file.colors_used = 300;
  for (int i = 0; i < 300; ++i) file.after_header.insert(file.after_header.end(), {1, 1, 1, 0});
  file.after_header.insert(file.after_header.end(), {255, 0, 0, 0});
  TBitmap image = Read(file.Build());
  EXPECT_EQ(image.Palette().size(), 256u);
  EXPECT_EQ(image.ScanLine(0)[0], 255);
}

TEST(BmpRead, BitFieldMasksChooseTheFormat) {
  auto read16 = [](std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    InfoFile file;
    file.width = 1, file.height = 1, file.bits = 16, file.compression = 3;
    U32(file.after_header, r), U32(file.after_header, g), U32(file.after_header, b);
    file.after_header.insert(file.after_header.end(), {0xFF, 0xFF, 0, 0});
    return Read(file.Build());
  };
  EXPECT_EQ(read16(0xF800, 0x07E0, 0x001F).PixelFormat(), TPixelFormat::pf16bit);
  EXPECT_EQ(read16(0x7C00, 0x03E0, 0x001F).PixelFormat(), TPixelFormat::pf15bit);
  TBitmap custom = read16(0x0F00, 0x00F0, 0x000F);
  EXPECT_EQ(custom.PixelFormat(), TPixelFormat::pfCustom);
  EXPECT_EQ(custom.BitsPerPixel(), 16);
  custom.SetPixelFormat(TPixelFormat::pf24bit);
  EXPECT_EQ(custom.ScanLine(0)[0], 255);  // 4-bit channels all ones
  EXPECT_EQ(custom.ScanLine(0)[2], 255);
  // A plain 16-bit file is 5-5-5.
  InfoFile plain;
  plain.width = 1, plain.height = 1, plain.bits = 16;
  plain.after_header = {0x1F, 0x00, 0, 0};
  EXPECT_EQ(Read(plain.Build()).PixelFormat(), TPixelFormat::pf15bit);
}

struct Malformed {
  const char* name;
  Bytes bytes;
  enum { kInvalid, kReadError, kOutOfMemory } error;
};

Bytes WithField(InfoFile file, void (*change)(InfoFile&)) {
  change(file);
  return file.Build();
}

Bytes Cut(Bytes bytes, std::size_t size) {
  bytes.resize(size);
  return bytes;
}

InfoFile Good2x2() {
  InfoFile file;
  file.after_header.assign(16, 0x80);
  return file;
}

class BmpMalformed : public ::testing::TestWithParam<Malformed> {};

TEST_P(BmpMalformed, FailsWithTheErrorAndLeavesTheImage) {
  TBitmap image;
  image.Allocate(1, 1, TPixelFormat::pf8bit);
  image.ScanLine(0)[0] = 42;
  TReadOnlyMemoryStream stream(GetParam().bytes);
  switch (GetParam().error) {
    case Malformed::kInvalid:
      try {
        ReadBitmap(image, stream);
        ADD_FAILURE() << "no error";
      } catch (const EInvalidGraphic& e) {
        EXPECT_EQ(e.Message(), "ビットマップイメージが不正です");
      }
      break;
    case Malformed::kReadError: EXPECT_THROW(ReadBitmap(image, stream), EReadError); break;
    case Malformed::kOutOfMemory: EXPECT_THROW(ReadBitmap(image, stream), EOutOfMemory); break;
  }
  EXPECT_EQ(image.Width(), 1);
  EXPECT_EQ(image.PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(static_cast<const TBitmap&>(image).ScanLine(0)[0], 42);
}

INSTANTIATE_TEST_SUITE_P(
    Headers, BmpMalformed,
    ::testing::Values(
        Malformed{"SignatureMB",
                  [] {
                    Bytes b = Good2x2().Build();
                    b[0] = 'M', b[1] = 'B';
                    return b;
                  }(),
                  Malformed::kInvalid},
        Malformed{"PlanesTwo", WithField(Good2x2(), [](InfoFile& f) { f.planes = 2; }),
                  Malformed::kInvalid},
        Malformed{"Bits2", WithField(Good2x2(), [](InfoFile& f) { f.bits = 2; }),
                  Malformed::kInvalid},
        Malformed{"Bits64", WithField(Good2x2(), [](InfoFile& f) { f.bits = 64; }),
                  Malformed::kInvalid},
        Malformed{"Compression5", WithField(Good2x2(), [](InfoFile& f) { f.compression = 5; }),
                  Malformed::kInvalid},
        Malformed{"BitFieldsAt24", WithField(Good2x2(), [](InfoFile& f) { f.compression = 3; }),
                  Malformed::kInvalid},
        Malformed{"Rle8At4Bits",
                  WithField(Good2x2(), [](InfoFile& f) { f.compression = 1, f.bits = 4; }),
                  Malformed::kInvalid},
        Malformed{"NegativeWidth", WithField(Good2x2(), [](InfoFile& f) { f.width = -2; }),
                  Malformed::kInvalid},
        Malformed{"HeaderSize20",
                  [] {
                    Bytes b = Good2x2().Build();
                    b[14] = 20;
                    return b;
                  }(),
                  Malformed::kInvalid},
        Malformed{"CutInFileHeader", Cut(Good2x2().Build(), 9), Malformed::kReadError},
        Malformed{"CutInInfoHeader", Cut(Good2x2().Build(), 30), Malformed::kReadError},
        Malformed{"CutInPixels", Cut(Good2x2().Build(), 54 + 15), Malformed::kReadError},
        Malformed{"CutInTable",
                  Cut(WithField(Good2x2(), [](InfoFile& f) { f.bits = 8; }), 54 + 100),
                  Malformed::kReadError},
        Malformed{
            "HugeColoursUsed",
            WithField(Good2x2(), [](InfoFile& f) { f.bits = 8, f.colors_used = 0x80000000u; }),
            Malformed::kReadError},
        // (2^31-1) x 24 + 31 overflows 32 bits; the size check must see the true size.
        Malformed{"RowSizeOverflow",
                  WithField(Good2x2(), [](InfoFile& f) { f.width = 0x7FFFFFFF; }),
                  Malformed::kOutOfMemory},
        Malformed{"TotalSizeOverflow",
                  WithField(Good2x2(),
                            [](InfoFile& f) { f.width = 65536, f.height = 65536, f.bits = 32; }),
                  Malformed::kOutOfMemory},
        Malformed{
            "HeightIntMin",
            WithField(Good2x2(),
                      [](InfoFile& f) { f.height = std::numeric_limits<std::int32_t>::min(); }),
            Malformed::kOutOfMemory},
        Malformed{"HugeRleFromTinyData",
                  WithField(Good2x2(),
                            [](InfoFile& f) {
                              f.width = 4096, f.height = 4096, f.bits = 8, f.compression = 1,
                              f.colors_used = 1;
                              f.after_header = {0, 0, 0, 0, 0, 1};
                            }),
                  Malformed::kInvalid},
        Malformed{"TopDownRle",
                  WithField(Good2x2(),
                            [](InfoFile& f) {
                              f.height = -2, f.bits = 8, f.compression = 1, f.colors_used = 1;
                              f.after_header = {0, 0, 0, 0, 0, 1};
                            }),
                  Malformed::kInvalid},
        Malformed{"RleRunPastRowEnd",
                  WithField(Good2x2(),
                            [](InfoFile& f) {
                              f.bits = 8, f.compression = 1, f.colors_used = 1;
                              f.after_header = {0, 0, 0, 0, 3, 0, 0, 1};
                            }),
                  Malformed::kInvalid}),
    [](const auto& test_case) { return std::string(test_case.param.name); });

// Round trip per pixel format: write, read back, same format, size and pixels.
class BmpRoundTrip : public ::testing::TestWithParam<TPixelFormat> {};

TEST_P(BmpRoundTrip, PixelsAndFormatSurvive) {
  TBitmap source;
  source.Allocate(7, 3, TPixelFormat::pf24bit);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 7; ++x) {
      std::uint8_t* p = source.ScanLine(y) + 3 * x;
      p[0] = static_cast<std::uint8_t>(x * 36), p[1] = static_cast<std::uint8_t>(y * 120);
      p[2] = static_cast<std::uint8_t>((x + y) % 2 ? 255 : 0);
    }
  source.SetPixelFormat(GetParam());
  TBitmap back = Read(Write(source));
  EXPECT_EQ(back.PixelFormat(),
            GetParam() == TPixelFormat::pfDevice ? TPixelFormat::pf32bit : GetParam());
  ASSERT_EQ(back.Width(), 7);
  ASSERT_EQ(back.Height(), 3);
  if (source.BitsPerPixel() <= 8) {
    EXPECT_EQ(back.Palette(), source.Palette());
  }
  for (int y = 0; y < 3; ++y)
    EXPECT_EQ(std::memcmp(static_cast<const TBitmap&>(back).ScanLine(y),
                          static_cast<const TBitmap&>(source).ScanLine(y), source.RowSize()),
              0)
        << y;
}

INSTANTIATE_TEST_SUITE_P(Formats, BmpRoundTrip,
                         ::testing::Values(TPixelFormat::pf1bit, TPixelFormat::pf4bit,
                                           TPixelFormat::pf8bit, TPixelFormat::pf15bit,
                                           TPixelFormat::pf16bit, TPixelFormat::pf24bit,
                                           TPixelFormat::pf32bit, TPixelFormat::pfDevice),
                         [](const auto& test_info) {
                           const auto& c = test_info.param;
                           return testing::PixelFormatName(c);
                         });

TEST(BmpWrite, TwentyFourBitLayout) {
  TBitmap image;
  image.Allocate(1, 2, TPixelFormat::pf24bit);
  image.ScanLine(0)[0] = 9;
  Bytes out = Write(image);
  ASSERT_EQ(out.size(), 14u + 40 + 2 * 4);
  EXPECT_EQ(out[0], 'B');
  EXPECT_EQ(GetU32(out, 2), out.size());
  EXPECT_EQ(GetU32(out, 10), 54u);
  EXPECT_EQ(GetU32(out, 14), 40u);
  EXPECT_EQ(GetU32(out, 30), 0u);  // compression
  EXPECT_EQ(GetU32(out, 34), 8u);  // pixel data size
  EXPECT_EQ(GetU32(out, 46), 0u);  // no colour table
  EXPECT_EQ(out[54 + 4], 9);       // top row written last
}

TEST(BmpWrite, BitFieldsAndTableCountInTheOffset) {
  TBitmap image;
  image.Allocate(2, 1, TPixelFormat::pf16bit);
  Bytes out = Write(image);
  EXPECT_EQ(GetU32(out, 30), 3u);
  EXPECT_EQ(GetU32(out, 54), 0xF800u);
  EXPECT_EQ(GetU32(out, 10), 66u);
  EXPECT_EQ(out.size(), 70u);
  TBitmap palette;
  palette.Allocate(2, 1, TPixelFormat::pf4bit);
  out = Write(palette);
  EXPECT_EQ(GetU32(out, 46), 16u);
  EXPECT_EQ(GetU32(out, 10), 54u + 64);
}

TEST(BmpWrite, PaddingIsWrittenAsZeros) {
  TBitmap image;
  image.Allocate(3, 1, TPixelFormat::pf1bit);
  std::memset(image.ScanLine(0), 0xFF, image.RowSize());
  Bytes out = Write(image);
  EXPECT_EQ(out[62], 0xE0);
  EXPECT_EQ(out[63] | out[64] | out[65], 0);
}

TEST(BmpWrite, CoreHeaderFileIsWrittenBackAsCore) {
  Bytes core = {'B', 'M'};
  U32(core, 0), U32(core, 0), U32(core, 0);
  U32(core, 12), U16(core, 2), U16(core, 1), U16(core, 1), U16(core, 8);
  for (int i = 0; i < 256; ++i) core.insert(core.end(), {static_cast<std::uint8_t>(i), 0, 0});
  core.insert(core.end(), {7, 200, 0, 0});
  TBitmap image = Read(core);
  ASSERT_EQ(image.Palette().size(), 256u);
  EXPECT_EQ(image.Palette()[200], (TRGBQuad{200, 0, 0, 0}));
  Bytes out = Write(image);
  EXPECT_EQ(GetU32(out, 14), 12u);
  ASSERT_EQ(out.size(), 14u + 12 + 256 * 3 + 4);
  EXPECT_TRUE(std::equal(out.begin() + 14, out.end(), core.begin() + 14));
  // Converted, it gets a 40-byte header.
  image.SetPixelFormat(TPixelFormat::pf24bit);
  EXPECT_EQ(GetU32(Write(image), 14), 40u);
}

Bytes SmallRle8() {
  InfoFile file;
  file.width = 3, file.height = 2, file.bits = 8, file.compression = 1, file.colors_used = 2;
  file.after_header = {1, 2, 3, 0, 9, 8, 7, 0,  // table: entry 0, entry 1
                       2, 1, 0, 0,              // bottom row: two of entry 1, then a gap
                       0, 1};                   // end of bitmap: top row is all gap
  return file.Build();
}

TEST(BmpRle, DecodesToTheDisplayFormatWithGapsInEntryZero) {
  TBitmap image = Read(SmallRle8());
  EXPECT_EQ(image.PixelFormat(), TPixelFormat::pfDevice);
  const TBitmap& view = image;
  const std::uint8_t* bottom = view.ScanLine(1);
  EXPECT_EQ(bottom[0], 9);
  EXPECT_EQ(bottom[4 + 2], 7);
  EXPECT_EQ(bottom[8], 1);  // gap: entry 0 (blue 1)
  EXPECT_EQ(view.ScanLine(0)[2], 3);
  EXPECT_EQ(image.Palette().size(), 2u);
}

TEST(BmpRle, UnchangedFileIsWrittenByteForByte) {
  Bytes file = SmallRle8();
  file.insert(file.end(), {0xDE, 0xAD});  // trailing bytes belong to the file too
  TBitmap image = Read(file);
  TBitmap copy = image;
  EXPECT_EQ(Write(copy), file);
  copy.SetWidth(4);  // any change loses the file bytes
  Bytes changed = Write(copy);
  EXPECT_EQ(GetU32(changed, 30), 0u);
  EXPECT_EQ(GetU32(changed, 28) & 0xFFFF, 32u);
  EXPECT_EQ(Write(image), file);
}

}  // namespace
}  // namespace qv
