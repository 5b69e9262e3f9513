// The PNG decoder's chunk rules, row conversions, gamma and transparency on hand-built files,
// and the object's own operations.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/image_io.h"
#include "codecs/png/png_crc.h"
#include "codecs/png/png_exceptions.h"
#include "codecs/png/png_filters.h"
#include "codecs/png/png_object.h"
#include "codecs/png/png_swap_red_blue.h"
#include "codecs/png/png_test_support.h"
#include "imaging/bitmap.h"
#include "runtime/stream.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

using pngtest::BuildPng;
using pngtest::Chunk;
using pngtest::Deflate;
using pngtest::Ihdr;
using Bytes = std::vector<std::uint8_t>;

void Load(TPNGObject& png, const Bytes& file) {
  TReadOnlyMemoryStream stream(file);
  png.LoadFromStream(stream);
}

TBitmap Decode(const Bytes& file) {
  TPNGObject png;
  Load(png, file);
  TBitmap image;
  png.AssignTo(image);
  return image;
}

// A 4x2 8-bit grey image: rows 10 20 30 40 / 50 60 70 80, each with filter byte 0.
const Bytes kGreyRows = {0, 10, 20, 30, 40, 0, 50, 60, 70, 80};

Bytes GreyFile(const std::vector<Chunk>& before_idat = {}, const std::vector<Chunk>& after = {}) {
  std::vector<Chunk> chunks = {{"IHDR", Ihdr(4, 2, 8, 0)}};
  chunks.insert(chunks.end(), before_idat.begin(), before_idat.end());
  chunks.push_back({"IDAT", Deflate(kGreyRows)});
  chunks.insert(chunks.end(), after.begin(), after.end());
  chunks.push_back({"IEND", {}});
  return BuildPng(chunks);
}

// The CRC bit by bit, as the PNG standard defines it.
std::uint32_t BitwiseCrc(const Bytes& bytes) {
  std::uint32_t c = 0xFFFFFFFFu;
  for (std::uint8_t b : bytes) {
    c ^= b;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
  }
  return ~c;
}

TEST(PngCrc, ChunkCrcAndRunningRegister) {
  EXPECT_EQ(PngChunkCrc("IEND", nullptr, 0), 0xAE426082u);
  Bytes data(1000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 31 + 7);
  Bytes typed = {'I', 'E', 'N', 'D'};
  typed.insert(typed.end(), data.begin(), data.end());
  EXPECT_EQ(PngChunkCrc("IEND", data.data(), data.size()), BitwiseCrc(typed));
  // The register carries over between pieces of any size, empty ones included.
  for (std::size_t split : {std::size_t{0}, std::size_t{1}, std::size_t{7}, std::size_t{500}}) {
    std::uint32_t crc = UpdatePngCrc(0xFFFFFFFFu, typed.data(), split);
    crc = UpdatePngCrc(crc, typed.data() + split, 0);
    crc = UpdatePngCrc(crc, typed.data() + split, typed.size() - split);
    EXPECT_EQ(~crc, BitwiseCrc(typed)) << split;
  }
}

// Every filter undone gives the row back, for every left-neighbour offset.
TEST(PngFilters, UnfilterInvertsFilter) {
  Bytes row(23), previous(23);
  for (std::size_t i = 0; i < row.size(); ++i) {
    row[i] = static_cast<std::uint8_t>(i * i * 13 + 200);
    previous[i] = static_cast<std::uint8_t>(255 - i * 17);
  }
  for (std::size_t pixel : {1u, 2u, 3u, 4u, 6u, 8u}) {
    for (int type = 0; type <= 4; ++type) {
      Bytes out(row.size());
      FilterRow(static_cast<TPngFilterType>(type), row.data(), previous.data(), out.data(),
                row.size(), pixel);
      UnfilterRow(type, out.data(), previous.data(), out.size(), pixel);
      EXPECT_EQ(out, row) << "type " << type << " pixel " << pixel;
    }
  }
  Bytes same = row;
  UnfilterRow(5, same.data(), previous.data(), same.size(), 1);
  EXPECT_EQ(same, row);
}

// The reconstruction as the PNG standard writes it, one byte at a time.
void ReferenceUnfilter(int type, Bytes& row, const Bytes& previous, std::size_t pixel) {
  for (std::size_t i = 0; i < row.size(); ++i) {
    int a = i >= pixel ? row[i - pixel] : 0;
    int b = previous[i];
    int c = i >= pixel ? previous[i - pixel] : 0;
    int p = a + b - c;
    int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    int paeth = (pa <= pb && pa <= pc) ? a : pb <= pc ? b : c;
    int add = type == 1 ? a : type == 2 ? b : type == 3 ? (a + b) / 2 : type == 4 ? paeth : 0;
    row[i] = static_cast<std::uint8_t>(row[i] + add);
  }
}

// Every form of the reconstruction (the whole-pixel vector loops and the portable byte loops)
// agrees with the byte-wise definition on rows of every length up to a few pixels past the
// vector width, including lengths that end inside a pixel, and on the extremes (all 0, all 255,
// and alternating) where the Paeth distances tie or reach 510.
TEST(PngFilters, UnfilterMatchesTheDefinition) {
  for (const auto& form : UnfilterRowVariants()) {
    if (!ProcessorFeatures().Covers(form.needs)) continue;
    SCOPED_TRACE(form.name);
    std::uint32_t seed = 12345;
    auto next = [&seed] {
      seed = seed * 1103515245u + 12345u;
      return static_cast<std::uint8_t>(seed >> 16);
    };
    for (int pattern = 0; pattern < 4; ++pattern) {
      for (std::size_t pixel : {1u, 2u, 3u, 4u, 6u, 8u}) {
        for (std::size_t size = 0; size <= 70; ++size) {
          Bytes row(size), previous(size);
          for (std::size_t i = 0; i < size; ++i) {
            row[i] = pattern == 0 ? next() : pattern == 1 ? 0 : pattern == 2 ? 255 : (i & 1) * 255;
            previous[i] = pattern == 0 ? next() : pattern == 3 ? 255 - row[i] : row[i];
          }
          for (int type = 0; type <= 6; ++type) {
            Bytes ours = row, expected = row;
            form.function(type, ours.data(), previous.data(), size, pixel);
            ReferenceUnfilter(type, expected, previous, pixel);
            ASSERT_EQ(ours, expected) << "pattern " << pattern << " pixel " << pixel << " size "
                                      << size << " type " << type;
          }
        }
      }
    }
  }
}

// Every form of the red and blue swap gives the byte loop's pixels for every count up to a few
// steps of the vector loop, and writes nothing past the last pixel.
TEST(PngFilters, SwapRedBlueTurnsEveryPixelAndStopsAtTheLast) {
  for (const auto& form : SwapRedBlueVariants()) {
    if (!ProcessorFeatures().Covers(form.needs)) continue;
    SCOPED_TRACE(form.name);
    for (std::size_t pixels = 0; pixels <= 40; ++pixels) {
      Bytes rgb(3 * pixels + 16), bgr(3 * pixels + 16, 0xA5);
      for (std::size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<std::uint8_t>(7 * i + 1);
      form.function(rgb.data(), bgr.data(), pixels);
      Bytes expected(3 * pixels + 16, 0xA5);
      for (std::size_t i = 0; i < pixels; ++i) {
        expected[3 * i] = rgb[3 * i + 2];
        expected[3 * i + 1] = rgb[3 * i + 1];
        expected[3 * i + 2] = rgb[3 * i];
      }
      ASSERT_EQ(bgr, expected) << pixels << " pixels";
    }
  }
}

TEST(PngFilters, PaethPredictorTies) {
  EXPECT_EQ(PaethPredictor(10, 10, 10), 10);
  EXPECT_EQ(PaethPredictor(10, 20, 10), 20);  // p = 20: b is nearest
  EXPECT_EQ(PaethPredictor(20, 10, 10), 20);  // p = 20: a
  EXPECT_EQ(PaethPredictor(5, 9, 7), 7);      // p = 7: c
  EXPECT_EQ(PaethPredictor(3, 3, 0), 3);      // pa = pb: a wins
}

TEST(PngDecoder, GreyImageAndRamp) {
  TBitmap image = Decode(GreyFile());
  ASSERT_EQ(image.BitsPerPixel(), 8);
  EXPECT_EQ(image.ScanLine(0)[0], 10);
  EXPECT_EQ(image.ScanLine(1)[3], 80);
  EXPECT_EQ(image.Palette()[200], (TRGBQuad{200, 200, 200, 0}));
}

TEST(PngDecoder, IhdrMustComeFirst) {
  Bytes file = BuildPng({{"gAMA", {0, 0, 0xB1, 0x8F}},
                         {"IHDR", Ihdr(4, 2, 8, 0)},
                         {"IDAT", Deflate(kGreyRows)},
                         {"IEND", {}}});
  TPNGObject png;
  EXPECT_THROW(Load(png, file), EPNGIHDRNotFirst);
}

TEST(PngDecoder, ManyIdatChunksEachWithItsCrc) {
  Bytes stream = Deflate(kGreyRows);
  std::vector<Chunk> chunks = {{"IHDR", Ihdr(4, 2, 8, 0)}};
  for (std::uint8_t b : stream) chunks.push_back({"IDAT", {b}});
  chunks.push_back({"IEND", {}});
  TBitmap image = Decode(BuildPng(chunks));
  EXPECT_EQ(image.ScanLine(1)[0], 50);

  chunks[3].bad_crc = true;
  TPNGObject png;
  EXPECT_THROW(Load(png, BuildPng(chunks)), EPngInvalidCRC);
}

TEST(PngDecoder, LaterIdatIsIgnoredAndChrmSkipped) {
  Bytes file = GreyFile({{"cHRM", Bytes(32, 1), true}},
                        {{"tEXt", {'k', 0, 'v'}}, {"IDAT", {1, 2, 3}, true}});
  TPNGObject png;
  Load(png, file);
  for (std::size_t i = 0; i < png.Chunks().Count(); ++i)
    EXPECT_NE(png.Chunks().Item(i).Name(), "cHRM");
  auto* text = png.Chunks().Find<TChunktEXt>();
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->keyword, "k");
  EXPECT_EQ(text->text, "v");
  TBitmap image;
  png.AssignTo(image);
  EXPECT_EQ(image.ScanLine(0)[1], 20);
}

TEST(PngDecoder, UnknownChunks) {
  TPNGObject png;
  Load(png, GreyFile({{"abCD", {7, 8, 9}}}));
  ASSERT_EQ(png.Chunks().Count(), 4u);
  EXPECT_EQ(png.Chunks().Item(1).Name(), "abCD");
  EXPECT_EQ(png.Chunks().Item(1).Data(), (Bytes{7, 8, 9}));
  EXPECT_THROW(Load(png, GreyFile({{"ABCD", {7}}})), EPNGUnknownCriticalChunk);
  // The chunks read before the failure stay in the list.
  EXPECT_EQ(png.Chunks().Count(), 2u);
}

TEST(PngDecoder, SizeLimitIs65535) {
  TPNGObject png;
  Bytes wide =
      BuildPng({{"IHDR", Ihdr(65536, 1, 1, 0)}, {"IDAT", Deflate(Bytes(8194))}, {"IEND", {}}});
  EXPECT_THROW(Load(png, wide), EPNGSizeExceeds);
  Bytes row(1 + 8192, 0xFF);
  row[0] = 0;
  TBitmap image =
      Decode(BuildPng({{"IHDR", Ihdr(65535, 1, 1, 0)}, {"IDAT", Deflate(row)}, {"IEND", {}}}));
  EXPECT_EQ(image.Width(), 65535);
  EXPECT_EQ(image.BitsPerPixel(), 1);
}

TEST(PngDecoder, FilterTypeFiveIsUnfiltered) {
  Bytes rows = kGreyRows;
  rows[5] = 5;
  TBitmap image =
      Decode(BuildPng({{"IHDR", Ihdr(4, 2, 8, 0)}, {"IDAT", Deflate(rows)}, {"IEND", {}}}));
  EXPECT_EQ(image.ScanLine(1)[0], 50);
  EXPECT_EQ(image.ScanLine(1)[3], 80);
}

TEST(PngDecoder, SixteenBitColourKeepsHighBytes) {
  Bytes rows = {0, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};
  TBitmap image =
      Decode(BuildPng({{"IHDR", Ihdr(1, 1, 16, 2)}, {"IDAT", Deflate(rows)}, {"IEND", {}}}));
  ASSERT_EQ(image.BitsPerPixel(), 24);
  EXPECT_EQ(image.ScanLine(0)[0], 0x9A);  // blue
  EXPECT_EQ(image.ScanLine(0)[1], 0x56);
  EXPECT_EQ(image.ScanLine(0)[2], 0x12);
}

TEST(PngDecoder, AlphaIsDroppedColoursKept) {
  Bytes rows = {0, 200, 100, 50, 0};
  TPNGObject png;
  Load(png, BuildPng({{"IHDR", Ihdr(1, 1, 8, 6)}, {"IDAT", Deflate(rows)}, {"IEND", {}}}));
  EXPECT_EQ(png.Transparency(), TPngTransparency::kPartial);
  TBitmap image;
  png.AssignTo(image);
  EXPECT_EQ(pngtest::PixelColor(image, 0, 0), (TRGBQuad{50, 100, 200, 0}));
}

TEST(PngDecoder, SixteenColourPaletteGivesFourBits) {
  Bytes plte;
  for (int i = 0; i < 16; ++i) plte.insert(plte.end(), {static_cast<std::uint8_t>(i * 16), 1, 2});
  Bytes rows = {0, 0x0F, 0x3A};
  TBitmap image = Decode(BuildPng(
      {{"IHDR", Ihdr(4, 1, 4, 3)}, {"PLTE", plte}, {"IDAT", Deflate(rows)}, {"IEND", {}}}));
  ASSERT_EQ(image.BitsPerPixel(), 4);
  EXPECT_EQ(pngtest::PixelIndex(image, 1, 0), 15);
  EXPECT_EQ(pngtest::PixelIndex(image, 2, 0), 3);
  EXPECT_EQ(image.Palette()[10], (TRGBQuad{2, 1, 160, 0}));
}

TEST(PngDecoder, TwoBitGreyMapsOntoTheFourBitRamp) {
  Bytes rows = {0, 0x1B};  // 0, 1, 2, 3
  TBitmap image =
      Decode(BuildPng({{"IHDR", Ihdr(4, 1, 2, 0)}, {"IDAT", Deflate(rows)}, {"IEND", {}}}));
  ASSERT_EQ(image.BitsPerPixel(), 4);
  for (int x = 0; x < 4; ++x) {
    EXPECT_EQ(pngtest::PixelIndex(image, x, 0), x * 5);
    EXPECT_EQ(pngtest::PixelColor(image, x, 0).red, 85 * x);
  }
}

TEST(PngGamma, TablesFromGama) {
  TPNGObject png;
  Load(png, GreyFile({{"gAMA", {0, 0, 0xB1, 0x8F}}}));  // 45455
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(png.GammaTable()[i], i);
    EXPECT_EQ(png.InverseGammaTable()[i], i);
  }
  Load(png, GreyFile({{"gAMA", {0, 0x01, 0x86, 0xA0}}}));  // 100000
  EXPECT_EQ(png.GammaTable()[128], 186);
  EXPECT_EQ(png.GammaTable()[0], 0);
  EXPECT_EQ(png.GammaTable()[255], 255);
  EXPECT_EQ(png.InverseGammaTable()[186], 128);
  TBitmap image;
  png.AssignTo(image);
  EXPECT_EQ(image.Palette()[128].red, 186);  // the grey ramp goes through the table
  // A zero value and a chunk of the wrong length leave the identity.
  Load(png, GreyFile({{"gAMA", {0, 0, 0, 0}}}));
  EXPECT_EQ(png.GammaTable()[128], 128);
  Load(png, GreyFile({{"gAMA", {0, 0x01, 0x86}}}));
  EXPECT_EQ(png.GammaTable()[128], 128);
}

TEST(PngTransparency, ModesAndColours) {
  Bytes plte = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  Bytes rows = {0, 0, 1, 2};
  auto palette_file = [&](const Bytes& trns) {
    return BuildPng({{"IHDR", Ihdr(3, 1, 8, 3)},
                     {"PLTE", plte},
                     {"tRNS", trns},
                     {"IDAT", Deflate(rows)},
                     {"IEND", {}}});
  };
  TPNGObject png;
  Load(png, palette_file({255, 0}));
  EXPECT_EQ(png.Transparency(), TPngTransparency::kBit);
  EXPECT_EQ(png.TransparentColor(), (TRGBQuad{6, 5, 4, 0}));
  Load(png, palette_file({128, 0}));
  EXPECT_EQ(png.Transparency(), TPngTransparency::kPartial);
  Load(png, palette_file({255, 128}));
  EXPECT_EQ(png.Transparency(), TPngTransparency::kBit);
  EXPECT_EQ(png.TransparentColor(), (TRGBQuad{0, 0, 0, 0}));  // no value is 0: black

  Bytes colour_rows = {0, 1, 2, 3};
  Load(png, BuildPng({{"IHDR", Ihdr(1, 1, 8, 2)},
                      {"tRNS", {1, 10, 2, 20, 3, 30}},
                      {"IDAT", Deflate(colour_rows)},
                      {"IEND", {}}}));
  EXPECT_EQ(png.Transparency(), TPngTransparency::kBit);
  EXPECT_EQ(png.TransparentColor(), (TRGBQuad{30, 20, 10, 0}));

  // Grey: the colour the transparent sample has in the decoded image (2 bits: index 2 x 5).
  Load(png, BuildPng({{"IHDR", Ihdr(4, 1, 2, 0)},
                      {"tRNS", {0, 2}},
                      {"IDAT", Deflate({0, 0x1B})},
                      {"IEND", {}}}));
  EXPECT_EQ(png.Transparency(), TPngTransparency::kBit);
  EXPECT_EQ(png.TransparentColor(), (TRGBQuad{170, 170, 170, 0}));
  Load(png, GreyFile());
  EXPECT_EQ(png.Transparency(), TPngTransparency::kNone);
}

TEST(PngDecoder, ShortStreamLeavesLaterRowsOrFails) {
  // The stream ends after row 0 and the next chunk is IEND: missing image parts.
  Bytes one_row(kGreyRows.begin(), kGreyRows.begin() + 5);
  TPNGObject png;
  EXPECT_THROW(
      Load(png, BuildPng({{"IHDR", Ihdr(4, 2, 8, 0)}, {"IDAT", Deflate(one_row)}, {"IEND", {}}})),
      EPNGMissingMultipleIDAT);
  // With padding after the stream in the same chunk, the reader stops and the row stays zero.
  Bytes padded = Deflate(one_row);
  padded.insert(padded.end(), {9, 9, 9, 9});
  TBitmap image = Decode(BuildPng({{"IHDR", Ihdr(4, 2, 8, 0)}, {"IDAT", padded}, {"IEND", {}}}));
  EXPECT_EQ(image.ScanLine(0)[0], 10);
  EXPECT_EQ(image.ScanLine(1)[0], 0);
}

// The grey picture from the given zlib stream, cut into IDAT chunks at the given offsets.
Bytes GreyFileFromStream(const Bytes& stream, const std::vector<std::size_t>& cuts = {}) {
  std::vector<Chunk> chunks = {{"IHDR", Ihdr(4, 2, 8, 0)}};
  std::size_t at = 0;
  for (std::size_t cut : cuts) {
    chunks.push_back({"IDAT", Bytes(stream.begin() + static_cast<std::ptrdiff_t>(at),
                                    stream.begin() + static_cast<std::ptrdiff_t>(cut))});
    at = cut;
  }
  chunks.push_back({"IDAT", Bytes(stream.begin() + static_cast<std::ptrdiff_t>(at), stream.end())});
  chunks.push_back({"IEND", {}});
  return BuildPng(chunks);
}

// The zlib error a file's image data gives, or "" when the file loads.
std::string ZlibFailure(const Bytes& file) {
  TPNGObject png;
  try {
    Load(png, file);
  } catch (const EPNGZLIBError& e) {
    return e.what();
  }
  return "";
}

// The two header bytes and the Adler-32 check around the deflate data, wherever the IDAT chunk
// boundaries fall: a wrong check, a wrong header and a preset dictionary fail as zlib reports
// them (data error, need dictionary).
TEST(PngDecoder, ZlibHeaderAndCheck) {
  const Bytes stream = Deflate(kGreyRows);
  const std::size_t n = stream.size();
  const std::string data_error = EPNGZLIBError(Z_DATA_ERROR).what();
  // Header and check each split over two chunks, and the check in a chunk of its own.
  for (const std::vector<std::size_t>& cuts :
       {std::vector<std::size_t>{1}, {n - 1}, {n - 2}, {n - 3}, {1, n - 4, n - 2}, {n - 4}}) {
    Bytes file = GreyFileFromStream(stream, cuts);
    EXPECT_EQ(ZlibFailure(file), "") << cuts[0];
    EXPECT_EQ(Decode(file).ScanLine(1)[3], 80);
  }
  for (std::size_t at = n - 4; at < n; ++at) {
    Bytes bad = stream;
    bad[at] ^= 0x10;
    EXPECT_EQ(ZlibFailure(GreyFileFromStream(bad)), data_error) << at;
  }
  // The reader stops once the rows are complete, so a check that the chunk holding the last
  // rows' data does not hold whole is not read: cut short, left out, or wrong in a later chunk.
  EXPECT_EQ(ZlibFailure(GreyFileFromStream(Bytes(stream.begin(), stream.end() - 2))), "");
  EXPECT_EQ(ZlibFailure(GreyFileFromStream(Bytes(stream.begin(), stream.end() - 4))), "");
  Bytes wrong = stream;
  wrong[n - 4] ^= 0x10;
  EXPECT_EQ(ZlibFailure(GreyFileFromStream(wrong, {n - 1})), "");

  // Method 7, window 64 KiB, header bytes not a multiple of 31.
  auto with_header = [&](std::uint8_t cmf, std::uint8_t flg, const Bytes& extra = {}) {
    Bytes s = stream;
    s[0] = cmf;
    s[1] = static_cast<std::uint8_t>(flg - (cmf * 256 + flg) % 31);
    s.insert(s.begin() + 2, extra.begin(), extra.end());
    return GreyFileFromStream(s);
  };
  EXPECT_EQ(ZlibFailure(with_header(0x78, 0xDA)), "");
  EXPECT_EQ(ZlibFailure(with_header(0x08, 0xDA)), "");  // a 256-byte window is still a window
  EXPECT_EQ(ZlibFailure(with_header(0x77, 0xDA)), data_error);
  EXPECT_EQ(ZlibFailure(with_header(0x88, 0xDA)), data_error);
  Bytes off_by_one = stream;
  off_by_one[1] ^= 1;
  EXPECT_EQ(ZlibFailure(GreyFileFromStream(off_by_one)), data_error);
  // A preset dictionary: reported once its identifier is read.
  EXPECT_EQ(ZlibFailure(with_header(0x78, 0xFA, {1, 2, 3, 4})), EPNGZLIBError(Z_NEED_DICT).what());
}

// A picture bigger than what the reader inflates at a time (1 MiB of filtered rows) and reads
// ahead (256 KiB): 1500 x 300 pixels of 8-bit RGB, a pattern every filter has work on.
constexpr int kBigWidth = 1500;
constexpr int kBigHeight = 300;

std::uint8_t BigSample(int x, int y, int c) {
  return static_cast<std::uint8_t>(x * (c + 1) + y * 3 + ((x * y) >> 5) * c + (x ^ y));
}

// Filtered RGB rows of the big picture's pixels (x0 + i x dx, y0 + r x dy): count x rows pixels,
// the filter type cycling through all five from row to row.
void AppendFilteredRows(Bytes& out, int x0, int dx, int count, int y0, int dy, int rows) {
  const std::size_t size = static_cast<std::size_t>(count) * 3;
  Bytes previous(size, 0), row(size), filtered(size);
  for (int r = 0; r < rows; ++r) {
    for (int i = 0; i < count; ++i)
      for (int c = 0; c < 3; ++c) row[3 * i + c] = BigSample(x0 + i * dx, y0 + r * dy, c);
    auto type = static_cast<TPngFilterType>(r % 5);
    FilterRow(type, row.data(), previous.data(), filtered.data(), size, 3);
    out.push_back(type);
    out.insert(out.end(), filtered.begin(), filtered.end());
    previous = row;
  }
}

// The big picture as a file whose image data is split into IDAT chunks of 8 KiB (the last one
// shorter), a tEXt chunk after them; level 0 stores the rows uncompressed. bad_check spoils the
// stream's Adler-32 check.
Bytes BigFile(bool interlaced, int level = 6, int bad_crc_chunk = -1, bool bad_check = false) {
  Bytes raw;
  if (!interlaced) {
    AppendFilteredRows(raw, 0, 1, kBigWidth, 0, 1, kBigHeight);
  } else {
    const int passes[7][4] = {{0, 0, 8, 8}, {0, 4, 8, 8}, {4, 0, 8, 4}, {0, 2, 4, 4},
                              {2, 0, 4, 2}, {0, 1, 2, 2}, {1, 0, 2, 1}};
    for (const auto& p : passes)
      AppendFilteredRows(raw, p[1], p[3], (kBigWidth - p[1] + p[3] - 1) / p[3], p[0], p[2],
                         (kBigHeight - p[0] + p[2] - 1) / p[2]);
  }
  Bytes compressed = Deflate(raw, level);
  if (bad_check) compressed.back() ^= 1;
  std::vector<Chunk> chunks = {{"IHDR", Ihdr(kBigWidth, kBigHeight, 8, 2, interlaced ? 1 : 0)}};
  for (std::size_t at = 0; at < compressed.size(); at += 8192) {
    std::size_t end = std::min(compressed.size(), at + 8192);
    chunks.push_back({"IDAT", Bytes(compressed.begin() + static_cast<std::ptrdiff_t>(at),
                                    compressed.begin() + static_cast<std::ptrdiff_t>(end))});
  }
  if (bad_crc_chunk >= 0) chunks[1 + static_cast<std::size_t>(bad_crc_chunk)].bad_crc = true;
  chunks.push_back({"tEXt", {'k', 0, 'v'}});
  chunks.push_back({"IEND", {}});
  return BuildPng(chunks);
}

// Rows from first to last whose pixels differ from the big picture's.
int WrongBigRows(const TBitmap& image, int first = 0, int last = kBigHeight - 1) {
  int wrong = 0;
  for (int y = first; y <= last; ++y) {
    const std::uint8_t* row = image.ScanLine(y);
    bool same = true;
    for (int x = 0; x < kBigWidth && same; ++x)
      same = row[3 * x] == BigSample(x, y, 2) && row[3 * x + 1] == BigSample(x, y, 1) &&
             row[3 * x + 2] == BigSample(x, y, 0);
    wrong += same ? 0 : 1;
  }
  return wrong;
}

// Rows reconstructed in several inflate batches from data read in several blocks, plain and
// Adam7: every pixel right, the chunk after the image data read, and the stream left right after
// the file (the bytes read ahead given back).
TEST(PngDecoder, BigPictureAcrossBatchesAndReadBlocks) {
  for (bool interlaced : {false, true}) {
    SCOPED_TRACE(interlaced ? "Adam7" : "plain");
    Bytes file = BigFile(interlaced);
    ASSERT_GT(file.size(), std::size_t{300} << 10);
    Bytes stream_bytes = file;
    stream_bytes.insert(stream_bytes.end(), {1, 2, 3, 4, 5});
    TReadOnlyMemoryStream stream(stream_bytes);
    TPNGObject png;
    png.LoadFromStream(stream);
    EXPECT_EQ(stream.Position(), static_cast<std::int64_t>(file.size()));
    auto* text = png.Chunks().Find<TChunktEXt>();
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->keyword, "k");
    TBitmap image;
    png.AssignTo(image);
    ASSERT_EQ(image.PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_EQ(WrongBigRows(image), 0);
  }
}

// A bad CRC in a later chunk fails the read, and the rows inflated before it are in the image
// (the chunks read so far stay with the object).
TEST(PngDecoder, FailureKeepsTheRowsBeforeIt) {
  // Stored rows: chunk 100 ends near byte 827,000 of the rows, inside row 183.
  Bytes file = BigFile(false, 0, 100);
  TPNGObject png;
  EXPECT_THROW(Load(png, file), EPngInvalidCRC);
  TBitmap image;
  png.AssignTo(image);
  EXPECT_EQ(WrongBigRows(image, 0, 182), 0);
  const std::uint8_t* last = image.ScanLine(kBigHeight - 1);
  EXPECT_EQ(std::count(last, last + 3 * kBigWidth, 0), 3 * kBigWidth);
}

// A wrong Adler-32 check fails the read after every row is in the image.
TEST(PngDecoder, WrongCheckKeepsTheRows) {
  for (bool interlaced : {false, true}) {
    SCOPED_TRACE(interlaced ? "Adam7" : "plain");
    TPNGObject png;
    EXPECT_THROW(Load(png, BigFile(interlaced, 6, -1, true)), EPNGZLIBError);
    TBitmap image;
    png.AssignTo(image);
    EXPECT_EQ(WrongBigRows(image), 0);
  }
}

// The image AssignTo gives shares the decoded pixels: a change to it stays out of the object,
// and the palette follows the object's colour table.
TEST(PngObject, AssignedImageIsItsOwn) {
  TPNGObject png;
  Load(png, GreyFile());
  TBitmap first;
  png.AssignTo(first);
  first.ScanLine(0)[1] = 99;
  TBitmap second;
  png.AssignTo(second);
  EXPECT_EQ(first.ScanLine(0)[1], 99);
  EXPECT_EQ(second.ScanLine(0)[1], 20);
  EXPECT_EQ(second.Palette()[20], (TRGBQuad{20, 20, 20, 0}));
  png.Header().image.colors[20] = TRGBQuad{1, 2, 3, 0};
  TBitmap third;
  png.AssignTo(third);
  EXPECT_EQ(third.Palette()[20], (TRGBQuad{1, 2, 3, 0}));
  EXPECT_EQ(second.Palette()[20], (TRGBQuad{20, 20, 20, 0}));
  EXPECT_EQ(third.ScanLine(0)[1], 20);
}

TEST(PngObject, ResizeAndHeaderErrors) {
  TPNGObject png;
  EXPECT_EQ(png.Width(), 0);
  EXPECT_THROW(png.Header(), EPNGHeaderNotPresent);
  TBitmap image;
  EXPECT_THROW(png.AssignTo(image), EPNGHeaderNotPresent);
  try {
    png.SetWidth(10);
    FAIL();
  } catch (const EPngError& e) {
    EXPECT_STREQ(e.what(),
                 "The \"Portable Network Graphics\" image can not be resize by changing width and "
                 "height properties. Try assigning the image from a bitmap.");
  }
  EXPECT_THROW(png.SetHeight(10), EPngError);
  png.SetCompressionLevel(42);
  EXPECT_EQ(png.CompressionLevel(), 9);
}

TEST(PngObject, ZlibDescriptions) {
  EXPECT_EQ(ZlibCodeDescription(-6), "incompatible version (-6)");
  EXPECT_EQ(ZlibCodeDescription(-3), "data error (-3)");
  EXPECT_EQ(ZlibCodeDescription(0), "(0)");
  EXPECT_EQ(ZlibCodeDescription(2), "need dictionary (2)");
  EXPECT_EQ(std::string(EPNGZLIBError(-2).what()),
            "Could not decompress the image because it contains invalid compressed data.\r\n "
            "Description: stream error (-2)");
}

// An assigned copy writes the same bytes, keeps its settings, and survives the original.
TEST(PngObject, AssignCopiesChunksAndSettings) {
  auto original = std::make_unique<TPNGObject>();
  Load(*original, GreyFile({{"gAMA", {0, 0x01, 0x86, 0xA0}}, {"abCD", {1}}}));
  original->SetFilters(kPngFilterSetAll);
  original->SetCompressionLevel(3);
  TPNGObject copy;
  copy.Assign(*original);
  TMemoryStream a, b;
  original->SaveToStream(a);
  original.reset();
  copy.SaveToStream(b);
  EXPECT_EQ(a.Bytes(), b.Bytes());
  EXPECT_EQ(copy.CompressionLevel(), 3);
  EXPECT_EQ(copy.Filters(), kPngFilterSetAll);
}

// The conversion job's reader and writer.
TEST(PngImageIo, WriteThenRead) {
  TBitmap image;
  image.Allocate(7, 5, TPixelFormat::pf24bit);
  for (int y = 0; y < 5; ++y)
    for (std::size_t i = 0; i < 21; ++i)
      image.ScanLine(y)[i] = static_cast<std::uint8_t>(y * 40 + i);
  testing::TempDir dir;
  {
    TSafeFileStream out(dir / "a.png");
    WritePng(image, out, 9);
    out.Commit();
  }
  TBitmap back;
  ReadPngFile(dir / "a.png", back);
  ASSERT_EQ(back.BitsPerPixel(), 24);
  for (int y = 0; y < 5; ++y) EXPECT_EQ(std::memcmp(back.ScanLine(y), image.ScanLine(y), 21), 0);
  EXPECT_EQ(pngtest::RunPngcheck(dir / "a.png"), 0);
}

}  // namespace
}  // namespace qv

namespace qv {
namespace {

// A 5 x 5 16-bit RGBA picture, plain or Adam7, whose samples' low bytes say where they are, with
// an iCCP chunk before a gAMA chunk.
Bytes DeepFile(bool interlaced, const Bytes& profile) {
  auto sample = [](int x, int y, int c) { return static_cast<std::uint8_t>(16 * y + 4 * x + c); };
  const int passes[7][4] = {{0, 0, 8, 8}, {0, 4, 8, 8}, {4, 0, 8, 4}, {0, 2, 4, 4},
                            {2, 0, 4, 2}, {0, 1, 2, 2}, {1, 0, 2, 1}};
  const int plain[1][4] = {{0, 0, 1, 1}};
  Bytes raw;
  for (const auto& p : interlaced ? std::vector<const int*>(passes, passes + 7)
                                  : std::vector<const int*>{plain[0]}) {
    for (int y = p[0]; y < 5; y += p[2]) {
      if (p[1] >= 5) break;
      raw.push_back(0);
      for (int x = p[1]; x < 5; x += p[3])
        for (int c = 0; c < 4; ++c) raw.insert(raw.end(), {0x80, sample(x, y, c)});
    }
  }
  Bytes iccp = {'i', 0, 0};
  Bytes compressed = Deflate(profile);
  iccp.insert(iccp.end(), compressed.begin(), compressed.end());
  return BuildPng({{"IHDR", Ihdr(5, 5, 16, 6, interlaced ? 1 : 0)},
                   {"iCCP", iccp},
                   {"gAMA", {0, 0, 0xAF, 0xC8}},
                   {"IDAT", Deflate(raw)},
                   {"IEND", {}}});
}

TEST(PngDecoder, AProfileIsAskedAboutOnceAndItsConverterTakesTheDeepRows) {
  const Bytes profile(300, 0x5A);
  for (bool interlaced : {false, true}) {
    SCOPED_TRACE(interlaced ? "Adam7" : "plain");
    TPNGObject png;
    int asked = 0;
    png.OnProfile = [&](const Bytes& given, const TChunkIHDR& header) {
      ++asked;
      EXPECT_EQ(given, profile);
      EXPECT_EQ(header.bit_depth, 16);
      // The converter gives each pixel's low bytes, blue first, so every pixel shows where the
      // decoder put it.
      return TPngProfileUse{true,
                            [](const std::uint8_t* samples, std::uint8_t* bgr, std::size_t count) {
                              for (std::size_t i = 0; i < count; ++i, samples += 8, bgr += 3) {
                                bgr[0] = samples[5];
                                bgr[1] = samples[3];
                                bgr[2] = samples[1];
                              }
                            }};
    };
    Load(png, DeepFile(interlaced, profile));
    EXPECT_EQ(asked, 1);
    TBitmap image;
    png.AssignTo(image);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 5; ++x) {
        const std::uint8_t* p = image.ScanLine(y) + 3 * x;
        EXPECT_EQ((Bytes{p[0], p[1], p[2]}), (Bytes{static_cast<std::uint8_t>(16 * y + 4 * x + 2),
                                                    static_cast<std::uint8_t>(16 * y + 4 * x + 1),
                                                    static_cast<std::uint8_t>(16 * y + 4 * x)}))
            << x << "," << y;
      }
  }
  // Without the hook the gAMA chunk applies to the high bytes, as it always did.
  const TBitmap plain = Decode(DeepFile(false, profile));
  EXPECT_NE(plain.ScanLine(0)[0], 0x80);
}

}  // namespace
}  // namespace qv
