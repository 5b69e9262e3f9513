// The PNG decoder against the PngSuite (libpng as the oracle) and the collected malformed files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "codecs/png/png_exceptions.h"
#include "codecs/png/png_object.h"
#include "codecs/png/png_test_support.h"
#include "imaging/bitmap.h"
#include "runtime/exceptions.h"
#include "runtime/stream.h"
#include "support/temp_dir.h"
#include "support/test_data.h"
#include "support/test_names.h"

namespace qv {
namespace {

const std::string kSuite = testing::TestDataDir() + "/pngsuite/";
const std::string kBad = testing::TestDataDir() + "/png-bad/";

std::vector<std::string> SuiteFiles(bool corrupted) {
  std::vector<std::string> names;
  for (const std::string& path : testing::TestDataFiles("pngsuite", ".png")) {
    std::string name = std::filesystem::path(path).filename().string();
    if ((name[0] == 'x') == corrupted) names.push_back(name);
  }
  return names;
}

// The suite is whole: 161 valid files and the logo, 14 corrupted ones.
TEST(PngSuiteFiles, AreAllThere) {
  EXPECT_EQ(SuiteFiles(false).size(), 162u);
  EXPECT_EQ(SuiteFiles(true).size(), 14u);
}

// The decoding gamma table for a gAMA value, built independently of the decoder.
std::vector<int> GammaFor(std::uint32_t g) {
  std::vector<int> table(256);
  for (int i = 0; i < 256; ++i) table[i] = i;
  if (g == 0) return table;
  double x = 1.0 / (g / 100000.0 * 2.2);
  for (int i = 1; i < 256; ++i)
    table[i] = static_cast<int>(std::nearbyint(255.0 * std::pow(i / 255.0, x)));
  return table;
}

// The name of the failure class a load (and assignment to a Raster image) ends with, or "ok".
std::string Outcome(const std::string& path) {
  try {
    TPNGObject png;
    png.LoadFromFile(path);
    TBitmap image;
    png.AssignTo(image);
    return "ok";
  } catch (const EPNGInvalidFileHeader&) {
    return "EPNGInvalidFileHeader";
  } catch (const EPngUnexpectedEnd&) {
    return "EPngUnexpectedEnd";
  } catch (const EPNGIHDRNotFirst&) {
    return "EPNGIHDRNotFirst";
  } catch (const EPNGUnknownCriticalChunk&) {
    return "EPNGUnknownCriticalChunk";
  } catch (const EPNGNoImageData&) {
    return "EPNGNoImageData";
  } catch (const EPngInvalidCRC&) {
    return "EPngInvalidCRC";
  } catch (const EPngInvalidIHDR&) {
    return "EPngInvalidIHDR";
  } catch (const EPNGSizeExceeds&) {
    return "EPNGSizeExceeds";
  } catch (const EPNGUnknownCompression&) {
    return "EPNGUnknownCompression";
  } catch (const EPNGUnknownInterlace&) {
    return "EPNGUnknownInterlace";
  } catch (const EPNGInvalidPalette&) {
    return "EPNGInvalidPalette";
  } catch (const EPNGMissingMultipleIDAT&) {
    return "EPNGMissingMultipleIDAT";
  } catch (const EPNGZLIBError& e) {
    return std::string("EPNGZLIBError: ") + e.what();
  } catch (const EOutOfMemory&) {
    return "EOutOfMemory";
  } catch (const Exception& e) {
    return std::string("other: ") + e.what();
  }
}

class PngSuiteValid : public ::testing::TestWithParam<std::string> {};

// Every pixel's colour equals libpng's 8-bit RGB (high bytes of 16-bit samples, alpha dropped)
// through the file's decoding gamma; palette images keep libpng's indices; the Raster image has
// the bits per pixel that the colour type and depth give.
TEST_P(PngSuiteValid, MatchesLibpng) {
  const std::string path = kSuite + GetParam();
  pngtest::LibpngImage expected = pngtest::DecodeWithLibpng(path);
  ASSERT_TRUE(expected.ok) << expected.error;
  TPNGObject png;
  ASSERT_NO_THROW(png.LoadFromFile(path));
  TBitmap image;
  png.AssignTo(image);
  ASSERT_EQ(image.Width(), expected.width);
  ASSERT_EQ(image.Height(), expected.height);

  int depth = expected.bit_depth, type = expected.colour_type;
  int bits = (type == 2 || type == 6) ? 24 : depth == 16 ? 8 : depth == 2 ? 4 : depth;
  EXPECT_EQ(image.BitsPerPixel(), bits);

  std::vector<int> gamma = GammaFor(expected.has_gamma ? expected.gamma_fixed : 0);
  int mismatches = 0;
  for (int y = 0; y < expected.height && mismatches < 5; ++y) {
    for (int x = 0; x < expected.width && mismatches < 5; ++x) {
      const std::uint8_t* rgb =
          expected.rgb.data() + (static_cast<std::size_t>(y) * expected.width + x) * 3;
      TRGBQuad got = pngtest::PixelColor(image, x, y);
      TRGBQuad want{static_cast<std::uint8_t>(gamma[rgb[2]]),
                    static_cast<std::uint8_t>(gamma[rgb[1]]),
                    static_cast<std::uint8_t>(gamma[rgb[0]]), 0};
      if (!(got == want)) {
        ++mismatches;
        ADD_FAILURE() << "pixel " << x << "," << y << " got " << int(got.red) << ","
                      << int(got.green) << "," << int(got.blue) << " want " << int(want.red) << ","
                      << int(want.green) << "," << int(want.blue);
      }
      if (type == 3 && !expected.indices.empty()) {
        int want_index = expected.indices[static_cast<std::size_t>(y) * expected.width + x];
        if (pngtest::PixelIndex(image, x, y) != want_index) {
          ++mismatches;
          ADD_FAILURE() << "index at " << x << "," << y;
        }
      }
    }
  }
}

// A loaded file saved again by the object (all its chunks, the image re-encoded in its own
// colour type, interlaced when the file was) passes pngcheck and reads back to the same Raster
// image. The gAMA chunk is taken out first: saving applies the inverse gamma table, which is not
// an exact inverse.
TEST_P(PngSuiteValid, SavesBackLosslessly) {
  testing::TempDir dir;
  std::vector<pngtest::Chunk> chunks = pngtest::ParseChunks(ReadWholeFile(kSuite + GetParam()));
  std::erase_if(chunks, [](const pngtest::Chunk& c) { return c.type == "gAMA"; });
  const std::string input = dir / "in.png";
  pngtest::WriteFile(input, pngtest::BuildPng(chunks));
  TPNGObject png;
  png.LoadFromFile(input);
  const std::string out = dir / "again.png";
  png.SaveToFile(out);
  std::string report;
  // pngcheck rejects a few suite files themselves (cm7n0g04's tIME of 1970): only a file it
  // accepts must still pass once saved by us.
  if (pngtest::RunPngcheck(input) == 0) {
    EXPECT_EQ(pngtest::RunPngcheck(out, &report), 0) << report;
  }
  TBitmap first, second;
  png.AssignTo(first);
  TPNGObject again;
  again.LoadFromFile(out);
  EXPECT_EQ(again.InterlaceMethod(), png.InterlaceMethod());
  again.AssignTo(second);
  ASSERT_EQ(first.BitsPerPixel(), second.BitsPerPixel());
  ASSERT_EQ(first.Palette(), second.Palette());
  for (int y = 0; y < first.Height(); ++y)
    ASSERT_TRUE(
        std::equal(first.ScanLine(y), first.ScanLine(y) + first.RowSize(), second.ScanLine(y)))
        << "row " << y;
}

INSTANTIATE_TEST_SUITE_P(Suite, PngSuiteValid, ::testing::ValuesIn(SuiteFiles(false)),
                         [](const auto& test_info) {
                           std::string n = test_info.param.substr(0, test_info.param.size() - 4);
                           std::replace(n.begin(), n.end(), '-', '_');
                           return n;
                         });

struct Expected {
  const char* file;
  const char* outcome;
};

class PngBadFiles : public ::testing::TestWithParam<Expected> {};

TEST_P(PngBadFiles, FailsWithItsClassOrDecodes) {
  std::string outcome = Outcome(GetParam().file);
  EXPECT_EQ(outcome.substr(0, std::string(GetParam().outcome).size()), GetParam().outcome)
      << outcome;
}

std::string S(const char* name) { return kSuite + name; }
std::string D(const char* name) { return kBad + "derived/" + name; }

// Kept alive for the parameter table's const char* members.
const std::vector<std::string>& Paths() {
  static const std::vector<std::string> paths = {
      S("xs1n0g01.png"), S("xs2n0g01.png"), S("xs4n0g01.png"), S("xs7n0g01.png"), S("xcrn0g04.png"),
      S("xlfn0g04.png"), S("xhdn0g08.png"), S("xc1n0g08.png"), S("xc9n2c08.png"), S("xd0n2c08.png"),
      S("xd3n2c08.png"), S("xd9n2c08.png"), S("xdtn0g01.png"), S("xcsn0g01.png")};
  return paths;
}

std::vector<Expected> CorruptedSuite() {
  const auto& p = Paths();
  return {{p[0].c_str(), "EPNGInvalidFileHeader"}, {p[1].c_str(), "EPNGInvalidFileHeader"},
          {p[2].c_str(), "EPNGInvalidFileHeader"}, {p[3].c_str(), "EPNGInvalidFileHeader"},
          {p[4].c_str(), "EPNGInvalidFileHeader"}, {p[5].c_str(), "EPNGInvalidFileHeader"},
          {p[6].c_str(), "EPngInvalidCRC"},        {p[7].c_str(), "EPngInvalidIHDR"},
          {p[8].c_str(), "EPngInvalidIHDR"},       {p[9].c_str(), "EPngInvalidIHDR"},
          {p[10].c_str(), "EPngInvalidIHDR"},      {p[11].c_str(), "EPngInvalidIHDR"},
          {p[12].c_str(), "EPNGNoImageData"},      {p[13].c_str(), "EPngInvalidCRC"}};
}

INSTANTIATE_TEST_SUITE_P(Corrupted, PngBadFiles, ::testing::ValuesIn(CorruptedSuite()),
                         [](const auto& test_info) {
                           const auto& c = test_info.param;
                           return testing::FileNameOf(c.file);
                         });

// Every corrupted suite file is covered by the table above.
TEST(PngSuite, EveryCorruptedFileIsListed) { EXPECT_EQ(SuiteFiles(true).size(), Paths().size()); }

struct Derived {
  const char* file;
  const char* outcome;
};

const Derived kDerived[] = {
    {"adam7-1x1-gray8.png", "ok"},
    {"adam7-65535x1-gray1-extra-data.png", "ok"},
    {"cHRM-bad-crc-accepted.png", "ok"},
    {"chunk-length-0x7fffffff-IDAT.png", "EPngInvalidCRC"},
    {"chunk-length-0x7fffffff-tEXt.png", "EPngInvalidCRC"},
    {"chunk-length-0xffffffff-tEXt.png", "EPngInvalidCRC"},
    {"filter-type-255.png", "ok"},
    {"filter-type-5.png", "ok"},
    {"gAMA-3-bytes.png", "ok"},
    {"gAMA-max.png", "ok"},
    {"gAMA-zero.png", "ok"},
    {"idat-bomb-20000x20000-gray8.png", "EOutOfMemory"},
    {"idat-crc-mismatch.png", "EPngInvalidCRC"},
    {"idat-empty-stream.png", "EPNGMissingMultipleIDAT"},
    {"idat-missing.png", "EPNGNoImageData"},
    {"idat-split-tEXt-between.png", "EPNGMissingMultipleIDAT"},
    {"idat-split3-crc-bad-2nd.png", "EPngInvalidCRC"},
    {"idat-split3-ok.png", "ok"},
    {"idat-zlib-garbage.png",
     "EPNGZLIBError: Could not decompress the image because it contains "
     "invalid compressed data.\r\n Description: data error (-3)"},
    {"idat-zlib-preset-dict.png",
     "EPNGZLIBError: Could not decompress the image because it "
     "contains invalid compressed data.\r\n Description: need "
     "dictionary (2)"},
    {"idat-zlib-short-rows.png", "EPNGMissingMultipleIDAT"},
    {"ihdr-0x80000000-width.png", "EPNGSizeExceeds"},
    {"ihdr-65535x65535-gray8-1row.png", "EOutOfMemory"},
    {"ihdr-65536x1-gray8.png", "EPNGSizeExceeds"},
    {"ihdr-compression1.png", "EPNGUnknownCompression"},
    {"ihdr-ct1-depth8.png", "EPngInvalidIHDR"},
    {"ihdr-ct2-depth4.png", "EPngInvalidIHDR"},
    {"ihdr-ct3-depth16.png", "EPngInvalidIHDR"},
    {"ihdr-ct6-depth1.png", "EPngInvalidIHDR"},
    {"ihdr-height0.png", "EPngInvalidIHDR"},
    {"ihdr-interlace2.png", "EPNGUnknownInterlace"},
    {"ihdr-not-first.png", "EPNGIHDRNotFirst"},
    {"ihdr-short-12bytes.png", "EPngInvalidIHDR"},
    {"ihdr-width0.png", "EPngInvalidIHDR"},
    {"no-iend.png", "EPngUnexpectedEnd"},
    {"pixel-index-beyond-palette.png", "ok"},
    {"plte-0-bytes.png", "ok"},
    {"plte-769-bytes.png", "EPNGInvalidPalette"},
    {"plte-771-bytes-257-entries.png", "EPNGInvalidPalette"},
    {"plte-missing-ct3.png", "ok"},
    {"signature-crlf-mangled.png", "EPNGInvalidFileHeader"},
    {"signature-only-7-bytes.png", "EPNGInvalidFileHeader"},
    {"tEXt-30000-chunks.png", "ok"},
    {"tEXt-no-nul.png", "ok"},
    {"tIME-wrong-length.png", "ok"},
    {"trns-257-bytes.png", "EPNGInvalidPalette"},
    {"trns-ct0-wrong-length.png", "ok"},
    {"truncated-after-signature.png", "EPngUnexpectedEnd"},
    {"truncated-in-chunk-length.png", "EPngUnexpectedEnd"},
    {"truncated-mid-idat.png", "EPngInvalidCRC"},
    {"unknown-ancillary-chunk.png", "ok"},
    {"unknown-critical-chunk.png", "EPNGUnknownCriticalChunk"},
    {"zTXt-bad-stream.png", "ok"},
    {"zTXt-bomb-64MiB.png", "ok"},
};

class PngDerived : public ::testing::TestWithParam<Derived> {};

TEST_P(PngDerived, GivesTheSoundResult) {
  std::string outcome = Outcome(D(GetParam().file));
  EXPECT_EQ(outcome, GetParam().outcome);
}

INSTANTIATE_TEST_SUITE_P(Derived, PngDerived, ::testing::ValuesIn(kDerived),
                         [](const auto& test_info) {
                           const auto& c = test_info.param;
                           return testing::FileNameOf(c.file);
                         });

TEST(PngDerivedSet, EveryFileIsListed) {
  EXPECT_EQ(testing::TestDataFiles("png-bad/derived").size(), std::size(kDerived));
}

// The zTXt bomb keeps its keyword but not the 64 MiB text; a readable zTXt is inflated.
TEST(PngText, CompressedTextIsBounded) {
  TPNGObject png;
  png.LoadFromFile(D("zTXt-bomb-64MiB.png"));
  auto* text = png.Chunks().Find<TChunkzTXt>();
  ASSERT_NE(text, nullptr);
  EXPECT_TRUE(text->text.empty());
  TPNGObject suite;
  suite.LoadFromFile(S("ctzn0g04.png"));
  auto* z = suite.Chunks().Find<TChunkzTXt>();
  ASSERT_NE(z, nullptr);
  EXPECT_FALSE(z->text.empty());
  EXPECT_FALSE(z->keyword.empty());
}

// libpng's crashers and bad-palette files, Pillow's broken files: never a crash; the valid ones
// decode, the broken ones fail with one of the decoder's classes.
class PngOtherBad : public ::testing::TestWithParam<std::string> {};

TEST_P(PngOtherBad, DoesNotCrash) {
  std::string outcome = Outcome(GetParam());
  EXPECT_EQ(outcome.find("other:"), std::string::npos) << outcome;
}

std::vector<std::string> OtherBadFiles() {
  std::vector<std::string> files;
  for (const char* folder : {"libpng-crashers", "libpng-badpal", "pillow"})
    for (const std::string& path : testing::TestDataFiles(std::string("png-bad/") + folder))
      files.push_back(path);
  std::sort(files.begin(), files.end());
  return files;
}

INSTANTIATE_TEST_SUITE_P(Collected, PngOtherBad, ::testing::ValuesIn(OtherBadFiles()),
                         [](const auto& test_info) {
                           const auto& c = test_info.param;
                           return testing::FolderAndFileNameOf(c);
                         });

TEST(PngCollected, KnownVerdicts) {
  EXPECT_EQ(Outcome(kBad + "libpng-crashers/huge_IDAT.png"), "EPngInvalidCRC");
  EXPECT_EQ(Outcome(kBad + "libpng-crashers/badcrc.png"), "EPngInvalidCRC");
  EXPECT_EQ(Outcome(kBad + "libpng-crashers/badadler.png").substr(0, 13), "EPNGZLIBError");
  EXPECT_EQ(Outcome(kBad + "pillow/hopper.png"), "ok");
  EXPECT_EQ(Outcome(kBad + "pillow/padded_idat.png"), "ok");
  EXPECT_EQ(Outcome(kBad + "pillow/hopper_idat_after_image_end.png"), "ok");
  EXPECT_EQ(Outcome(kBad + "pillow/png_decompression_dos.png"), "ok");
  EXPECT_EQ(Outcome(kBad + "pillow/broken.png"), "EPNGIHDRNotFirst");  // signature, then text
  // Its iCCP chunk carries a wrong CRC as well as compression method 1.
  EXPECT_EQ(Outcome(kBad + "pillow/unknown_compression_method.png"), "EPngInvalidCRC");
}

}  // namespace
}  // namespace qv
