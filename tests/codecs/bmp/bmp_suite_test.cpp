// The BMP reader against the conformance suite and the collected malformed files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#ifdef QV_HAVE_LIBPNG
#include <png.h>
#endif

#include "codecs/bmp/bmp_reader.h"
#include "codecs/bmp/bmp_writer.h"
#include "imaging/bitmap.h"
#include "runtime/exceptions.h"
#include "runtime/messages.h"
#include "runtime/stream.h"
#include "support/test_data.h"
#include "support/test_names.h"

namespace qv {
namespace {

const std::string kSuite = testing::TestDataDir() + "/bmpsuite/";
const std::string kDerived = testing::TestDataDir() + "/bmp-bad-derived/";
const std::string kExtra = testing::TestDataDir() + "/bmp-extra/pillow/";

struct Rgba {
  int width = 0, height = 0;
  std::vector<std::uint8_t> pixels;  // top-down RGBA
};

#ifdef QV_HAVE_LIBPNG
Rgba LoadPng(const std::string& path) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  Rgba result;
  if (!png_image_begin_read_from_file(&png, path.c_str())) return result;
  // 16-bit references are read as they are stored (the 8-bit output of libpng would apply the
  // sRGB curve to them) and scaled to 8 bits here.
  bool sixteen = (png.format & PNG_FORMAT_FLAG_LINEAR) != 0;
  png.format = sixteen ? PNG_FORMAT_LINEAR_RGB_ALPHA : PNG_FORMAT_RGBA;
  std::vector<std::uint8_t> buffer(PNG_IMAGE_SIZE(png));
  if (!png_image_finish_read(&png, nullptr, buffer.data(), 0, nullptr)) {
    png_image_free(&png);
    return {};
  }
  result.width = static_cast<int>(png.width);
  result.height = static_cast<int>(png.height);
  if (!sixteen) {
    result.pixels = std::move(buffer);
  } else {
    result.pixels.resize(buffer.size() / 2);
    for (std::size_t i = 0; i < result.pixels.size(); ++i) {
      std::uint16_t v;
      std::memcpy(&v, &buffer[2 * i], 2);
      result.pixels[i] = static_cast<std::uint8_t>((v * 255u + 32767u) / 65535u);
    }
  }
  return result;
}
#endif

TBitmap ReadFile(const std::string& path) {
  TFileStream file(path);
  TBitmap image;
  ReadBitmap(image, file);
  return image;
}

// Every opaque pixel of the reference equals the decoded one (which is taken to 24 bits).
// A tolerance of 1 admits the other rounding of channels wider than 8 bits.
void ExpectPixelsMatch(const std::string& bmp, const std::string& reference, int tolerance) {
#ifndef QV_HAVE_LIBPNG
  GTEST_SKIP() << "libpng is needed to read " << reference;
#else
  TBitmap image = ReadFile(kSuite + bmp);
  Rgba expected = LoadPng(kSuite + "html/" + reference);
  ASSERT_GT(expected.width, 0) << reference;
  ASSERT_EQ(image.Width(), expected.width);
  ASSERT_EQ(image.Height(), expected.height);
  image.SetPixelFormat(TPixelFormat::pf24bit);
  int wrong = 0;
  for (int y = 0; y < image.Height(); ++y) {
    const std::uint8_t* row = static_cast<const TBitmap&>(image).ScanLine(y);
    for (int x = 0; x < image.Width(); ++x) {
      const std::uint8_t* want =
          &expected.pixels[(static_cast<std::size_t>(y) * expected.width + x) * 4];
      if (want[3] != 255) continue;
      if (std::abs(row[3 * x + 2] - want[0]) > tolerance ||
          std::abs(row[3 * x + 1] - want[1]) > tolerance ||
          std::abs(row[3 * x] - want[2]) > tolerance) {
        if (wrong++ < 3)
          ADD_FAILURE() << bmp << " pixel " << x << "," << y << ": got " << int{row[3 * x + 2]}
                        << "," << int{row[3 * x + 1]} << "," << int{row[3 * x]} << " want "
                        << int{want[0]} << "," << int{want[1]} << "," << int{want[2]};
      }
    }
  }
  EXPECT_EQ(wrong, 0) << bmp;
#endif
}

struct SuiteCase {
  const char* bmp;
  const char* reference;
  int tolerance = 0;
};

class BmpSuiteMatches : public ::testing::TestWithParam<SuiteCase> {};

TEST_P(BmpSuiteMatches, PixelsEqualTheReference) {
  ExpectPixelsMatch(GetParam().bmp, GetParam().reference, GetParam().tolerance);
}

// Every "good" file.
INSTANTIATE_TEST_SUITE_P(
    Good, BmpSuiteMatches,
    ::testing::Values(
        SuiteCase{"g/pal1.bmp", "pal1.png"}, SuiteCase{"g/pal1wb.bmp", "pal1.png"},
        SuiteCase{"g/pal1bg.bmp", "pal1bg.png"}, SuiteCase{"g/pal4.bmp", "pal4.png"},
        SuiteCase{"g/pal4gs.bmp", "pal4gs.png"}, SuiteCase{"g/pal4rle.bmp", "pal4.png"},
        SuiteCase{"g/pal8.bmp", "pal8.png"}, SuiteCase{"g/pal8-0.bmp", "pal8.png"},
        SuiteCase{"g/pal8gs.bmp", "pal8gs.png"}, SuiteCase{"g/pal8rle.bmp", "pal8.png"},
        SuiteCase{"g/pal8w126.bmp", "pal8w126.png"}, SuiteCase{"g/pal8w125.bmp", "pal8w125.png"},
        SuiteCase{"g/pal8w124.bmp", "pal8w124.png"}, SuiteCase{"g/pal8topdown.bmp", "pal8.png"},
        SuiteCase{"g/pal8nonsquare.bmp", "pal8nonsquare-e.png"},
        SuiteCase{"g/pal8os2.bmp", "pal8.png"}, SuiteCase{"g/pal8v4.bmp", "pal8.png"},
        SuiteCase{"g/pal8v5.bmp", "pal8.png"}, SuiteCase{"g/rgb16.bmp", "rgb16.png"},
        SuiteCase{"g/rgb16bfdef.bmp", "rgb16.png"}, SuiteCase{"g/rgb16-565.bmp", "rgb16-565.png"},
        SuiteCase{"g/rgb16-565pal.bmp", "rgb16-565.png"}, SuiteCase{"g/rgb24.bmp", "rgb24.png"},
        SuiteCase{"g/rgb24pal.bmp", "rgb24.png"}, SuiteCase{"g/rgb32.bmp", "rgb24.png"},
        SuiteCase{"g/rgb32bf.bmp", "rgb24.png"}, SuiteCase{"g/rgb32bfdef.bmp", "rgb24.png"}),
    [](const auto& test_info) {
      const auto& c = test_info.param;
      return testing::NameOf(c.bmp);
    });

// "Questionable" files this reader reads as their reference shows (run-length gaps show
// palette entry 0, the "-0" rendering).
INSTANTIATE_TEST_SUITE_P(
    Questionable, BmpSuiteMatches,
    ::testing::Values(
        SuiteCase{"q/pal1p1.bmp", "pal1p1.png"},
        SuiteCase{"q/pal4rletrns.bmp", "pal4rletrns-0.png"},
        SuiteCase{"q/pal4rlecut.bmp", "pal4rlecut-0.png"},
        SuiteCase{"q/pal8rletrns.bmp", "pal8rletrns-0.png"},
        SuiteCase{"q/pal8rlecut.bmp", "pal8rlecut-0.png"},
        SuiteCase{"q/pal8oversizepal.bmp", "pal8.png"}, SuiteCase{"q/pal8os2-sz.bmp", "pal8.png"},
        SuiteCase{"q/rgb16faketrns.bmp", "rgb16.png"},
        SuiteCase{"q/rgb16-231.bmp", "rgb16-231.png"},
        SuiteCase{"q/rgb16-3103.bmp", "rgb16-3103.png"},
        SuiteCase{"q/rgba16-4444.bmp", "rgba16-4444.png"},
        SuiteCase{"q/rgb24largepal.bmp", "rgb24.png"}, SuiteCase{"q/rgb32h52.bmp", "rgb24.png"},
        SuiteCase{"q/rgb32-xbgr.bmp", "rgb24.png"}, SuiteCase{"q/rgb32fakealpha.bmp", "rgb24.png"},
        SuiteCase{"q/rgb32-111110.bmp", "rgb24.png", 1}, SuiteCase{"q/pal8os2-hs.bmp", "pal8.png"},
        SuiteCase{"q/pal8os2v2.bmp", "pal8.png"}, SuiteCase{"q/pal8os2v2-sz.bmp", "pal8.png"},
        SuiteCase{"q/pal8os2v2-40sz.bmp", "pal8.png"},
        SuiteCase{"q/rgba16-5551.bmp", "rgba16-5551.png"},
        SuiteCase{"q/rgba16-1924.bmp", "rgba16-1924.png"},
        SuiteCase{"q/rgb32-7187.bmp", "rgb32-7187.png"}, SuiteCase{"q/rgba32-1.bmp", "rgba32.png"},
        SuiteCase{"q/rgba32-2.bmp", "rgba32.png"},
        SuiteCase{"q/rgba32-1010102.bmp", "rgba32-1010102.png"},
        SuiteCase{"q/rgba32-81284.bmp", "rgba32-81284.png"},
        SuiteCase{"q/rgba32-61754.bmp", "rgba32-61754.png"},
        SuiteCase{"q/rgba32h56.bmp", "rgba32.png"}, SuiteCase{"q/rgb24prof.bmp", "rgb24.png"},
        SuiteCase{"q/rgb24lprof.bmp", "rgb24.png"},
        // A "bad" file with a reference: its blue channel has no bits and reads as 0.
        SuiteCase{"b/rgb16-880.bmp", "rgb16-880.png"}),
    [](const auto& test_info) {
      const auto& c = test_info.param;
      return testing::NameOf(c.bmp);
    });

// Pillow's bit-field variant of the suite's picture (its rgb32bf-rgba.bmp has masks edited to
// disagree with its pixels on purpose, so it has no reference).
INSTANTIATE_TEST_SUITE_P(Extra, BmpSuiteMatches,
                         ::testing::Values(SuiteCase{"../bmp-extra/pillow/rgb32bf-abgr.bmp",
                                                     "rgb24.png"}),
                         [](const auto& test_info) {
                           const auto& c = test_info.param;
                           return testing::NameOf(c.bmp);
                         });

// The BMP files of a folder of the test data, sorted.
std::vector<std::string> FilesIn(const std::string& folder) {
  return testing::TestDataFiles(folder, ".bmp");
}

// Reads a file that may be malformed: either an image comes back, or one of the reader's own
// errors; the image given in is untouched on failure. Returns whether it decoded.
bool ReadsCleanly(const std::string& path) {
  TBitmap image;
  image.Allocate(1, 1, TPixelFormat::pf24bit);
  image.ScanLine(0)[0] = 7;
  try {
    TFileStream file(path);
    ReadBitmap(image, file);
  } catch (const EInvalidGraphic& e) {
    EXPECT_EQ(e.Message(), Tr(messages::kInvalidBitmap)) << path;
  } catch (const EReadError&) {
  } catch (const EOutOfMemory&) {
  } catch (const std::exception& e) {
    ADD_FAILURE() << path << ": unexpected error " << e.what();
  }
  if (image.Width() == 1 && image.Height() == 1 &&
      static_cast<const TBitmap&>(image).ScanLine(0)[0] == 7)
    return false;
  // A decoded image survives a write and read back, unchanged and once changed (which writes
  // the image's own layout instead of any retained file bytes).
  for (bool changed : {false, true}) {
    TBitmap written = image;
    if (changed) written.SetPalette(written.Palette());
    TMemoryStream out;
    WriteBitmap(written, out);
    out.SetPosition(0);
    TBitmap again;
    ReadBitmap(again, out);
    EXPECT_EQ(again.PixelFormat(), written.PixelFormat() == TPixelFormat::pfDevice && changed
                                       ? TPixelFormat::pf32bit
                                       : written.PixelFormat())
        << path;
    TBitmap a = written, b = again;
    a.SetPixelFormat(TPixelFormat::pf24bit);
    b.SetPixelFormat(TPixelFormat::pf24bit);
    EXPECT_EQ(a.Width(), b.Width()) << path;
    EXPECT_EQ(a.Height(), b.Height()) << path;
    if (a.Width() != b.Width() || a.Height() != b.Height()) continue;
    for (int y = 0; y < a.Height(); ++y)
      EXPECT_EQ(std::memcmp(static_cast<const TBitmap&>(a).ScanLine(y),
                            static_cast<const TBitmap&>(b).ScanLine(y), a.RowSize()),
                0)
          << path << " row " << y << (changed ? " (changed)" : "");
  }
  return true;
}

TEST(BmpSuite, EveryFileReadsCleanlyOrFailsWithAReaderError) {
  int files = 0;
  for (const char* folder : {"g", "q", "b", "x"})
    for (const std::string& path : FilesIn(std::string("bmpsuite/") + folder)) {
      bool decoded = ReadsCleanly(path);
      if (std::string(folder) == "g") {
        EXPECT_TRUE(decoded) << path;
      }
      ++files;
    }
  EXPECT_EQ(files, 91);
}

TEST(BmpExtra, RunLengthPhotoLooksLikeTheOriginal) {
  // The same photo as a 24-bit file and as RLE8 with its own 256 colours: close on average.
  TBitmap original = ReadFile(kExtra + "hopper.bmp");
  TBitmap rle = ReadFile(kExtra + "hopper_rle8.bmp");
  ASSERT_EQ(rle.Width(), original.Width());
  ASSERT_EQ(rle.Height(), original.Height());
  rle.SetPixelFormat(TPixelFormat::pf24bit);
  std::int64_t difference = 0;
  for (int y = 0; y < rle.Height(); ++y) {
    const std::uint8_t* a = static_cast<const TBitmap&>(rle).ScanLine(y);
    const std::uint8_t* b = static_cast<const TBitmap&>(original).ScanLine(y);
    for (int i = 0; i < rle.Width() * 3; ++i) difference += std::abs(a[i] - b[i]);
  }
  EXPECT_LT(difference / (rle.Width() * rle.Height() * 3), 12);
  // Rows with more data than the width hold are refused, not clipped.
  EXPECT_THROW(ReadFile(kExtra + "hopper_rle8_row_overflow.bmp"), EInvalidGraphic);
}

TEST(BmpExtra, PillowFilesReadCleanly) {
  EXPECT_TRUE(ReadsCleanly(kExtra + "hopper.bmp"));
  for (const std::string& path : FilesIn("bmp-extra/pillow")) ReadsCleanly(path);
}

// What each collected malformed file gives.
enum class Outcome { kDecodes, kInvalid, kReadError, kOutOfMemory, kEmpty, kAnyClean };

struct DerivedCase {
  const char* file;
  Outcome outcome;
};

class BmpBadDerived : public ::testing::TestWithParam<DerivedCase> {};

TEST_P(BmpBadDerived, GivesTheExpectedOutcome) {
  std::string path = kDerived + GetParam().file;
  TBitmap image;
  Outcome got = Outcome::kDecodes;
  try {
    TFileStream file(path);
    ReadBitmap(image, file);
    if (image.Empty()) got = Outcome::kEmpty;
  } catch (const EInvalidGraphic& e) {
    EXPECT_EQ(e.Message(), Tr(messages::kInvalidBitmap));
    got = Outcome::kInvalid;
  } catch (const EReadError&) {
    got = Outcome::kReadError;
  } catch (const EOutOfMemory&) {
    got = Outcome::kOutOfMemory;
  }
  if (GetParam().outcome != Outcome::kAnyClean) {
    EXPECT_EQ(got, GetParam().outcome) << path;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, BmpBadDerived,
    ::testing::Values(DerivedCase{"bitfields-16bit-overlapping-masks.bmp", Outcome::kDecodes},
                      DerivedCase{"bitfields-32bit-masks-missing.bmp", Outcome::kReadError},
                      DerivedCase{"bitfields-32bit-zero-masks.bmp", Outcome::kDecodes},
                      DerivedCase{"bitfields-8bit.bmp", Outcome::kInvalid},
                      DerivedCase{"bm-only-2-bytes.bmp", Outcome::kReadError},
                      DerivedCase{"bpp-0.bmp", Outcome::kInvalid},
                      DerivedCase{"bpp-64-no-data.bmp", Outcome::kInvalid},
                      DerivedCase{"bpp-65535.bmp", Outcome::kInvalid},
                      DerivedCase{"bpp-7.bmp", Outcome::kInvalid},
                      DerivedCase{"clrused-0xffffffff-24bit.bmp", Outcome::kReadError},
                      DerivedCase{"clrused-257-8bit.bmp", Outcome::kAnyClean},
                      DerivedCase{"clrused-2pow31-8bit.bmp", Outcome::kReadError},
                      DerivedCase{"compression-99.bmp", Outcome::kInvalid},
                      DerivedCase{"compression-rle8-with-24bit.bmp", Outcome::kInvalid},
                      DerivedCase{"core-65535x65535-24bit.bmp", Outcome::kOutOfMemory},
                      DerivedCase{"empty-0-bytes.bmp", Outcome::kEmpty},
                      DerivedCase{"file-header-only-14-bytes.bmp", Outcome::kReadError},
                      DerivedCase{"hdrsize-0.bmp", Outcome::kInvalid},
                      DerivedCase{"hdrsize-0xffffffff.bmp", Outcome::kReadError},
                      DerivedCase{"hdrsize-13.bmp", Outcome::kInvalid},
                      DerivedCase{"hdrsize-65536-past-eof.bmp", Outcome::kReadError},
                      DerivedCase{"height-0.bmp", Outcome::kEmpty},
                      DerivedCase{"height-int-min.bmp", Outcome::kOutOfMemory},
                      DerivedCase{"info-header-truncated-30-bytes.bmp", Outcome::kReadError},
                      DerivedCase{"offset-past-eof.bmp", Outcome::kDecodes},
                      DerivedCase{"palette-truncated.bmp", Outcome::kReadError},
                      DerivedCase{"pixels-truncated-half.bmp", Outcome::kReadError},
                      DerivedCase{"planes-0.bmp", Outcome::kInvalid},
                      DerivedCase{"rle4-run-past-row-end.bmp", Outcome::kInvalid},
                      DerivedCase{"rle8-absolute-odd-count-truncated.bmp", Outcome::kReadError},
                      DerivedCase{"rle8-absolute-past-row-end.bmp", Outcome::kInvalid},
                      DerivedCase{"rle8-delta-past-image.bmp", Outcome::kDecodes},
                      DerivedCase{"rle8-height-1M-tiny-data.bmp", Outcome::kInvalid},
                      DerivedCase{"rle8-no-end-marker-truncated.bmp", Outcome::kReadError},
                      DerivedCase{"rle8-rows-past-image-end.bmp", Outcome::kDecodes},
                      DerivedCase{"rle8-run-past-row-end.bmp", Outcome::kInvalid},
                      DerivedCase{"rle8-topdown.bmp", Outcome::kInvalid},
                      DerivedCase{"signature-MB.bmp", Outcome::kInvalid},
                      DerivedCase{"sizeimage-0xffffffff.bmp", Outcome::kDecodes},
                      DerivedCase{"sizeimage-larger-than-file.bmp", Outcome::kDecodes},
                      DerivedCase{"valid-1x1-24bit.bmp", Outcome::kDecodes},
                      DerivedCase{"valid-2x2-8bit-core-header.bmp", Outcome::kDecodes},
                      DerivedCase{"valid-3x2-24bit-topdown.bmp", Outcome::kDecodes},
                      DerivedCase{"width-0.bmp", Outcome::kEmpty},
                      DerivedCase{"width-0x7fffffff-1bit.bmp", Outcome::kOutOfMemory},
                      DerivedCase{"width-0x7fffffff-24bit-rowsize-overflow.bmp",
                                  Outcome::kOutOfMemory},
                      DerivedCase{"width-negative.bmp", Outcome::kInvalid},
                      DerivedCase{"wxh-65536x65536-32bit-overflow.bmp", Outcome::kOutOfMemory}),
    [](const auto& test_info) {
      const auto& c = test_info.param;
      return testing::FileNameOf(c.file);
    });

TEST(BmpBadDerived, EveryFileIsInTheTable) { EXPECT_EQ(FilesIn("bmp-bad-derived").size(), 48u); }

}  // namespace
}  // namespace qv
