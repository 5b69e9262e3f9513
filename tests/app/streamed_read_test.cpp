// Pictures resized as their rows are read give what reading them whole and resizing gives.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "app/image_io.h"
#include "app/image_steps.h"
#include "app/streamed_resize.h"
#include "codecs/png/png_object.h"
#include "imaging/bitmap.h"
#include "imaging/image_helpers.h"
#include "runtime/exceptions.h"
#include "runtime/stream.h"
#include "support/temp_dir.h"
#include "support/test_data.h"

namespace qv {
namespace {

constexpr TResampleMethod kMethods[] = {
    TResampleMethod::kBilinear, TResampleMethod::kFixedPointBilinear,
    TResampleMethod::kMitchell, TResampleMethod::kLanczos3,
    TResampleMethod::kBSpline,  TResampleMethod::kBell};

// Reducing and enlarging, odd sizes, one row and one column.
constexpr std::pair<int, int> kTargets[] = {{13, 7}, {45, 77}, {1, 1}, {1, 50}, {70, 1}, {31, 29}};

// What the reader gives: the exception's text, or the picture.
struct TRead {
  std::string error;
  TBitmap image;
  bool streamed = false;
};

bool IsBmp(const std::string& path) { return path.ends_with(".bmp"); }

// sepia: toned after the resize, as the job tones.
TRead ReadWhole(const std::string& path, int width, int height, TResampleMethod method,
                bool sepia) {
  TRead read;
  try {
    if (IsBmp(path)) {
      ReadBmpFile(path, read.image);
    } else {
      ReadPngFile(path, read.image);
    }
  } catch (const std::exception& error) {
    read.error = error.what();
    return read;
  }
  if (read.image.Empty()) return read;
  try {
    ResizeBitmap(read.image, width, height, method);
  } catch (const Exception&) {
    read.error = "resize failed";
    return read;
  }
  if (sepia) SepiaStep(read.image);
  return read;
}

// sepia: toned while resized where the resize tones, else after it.
TRead ReadStreamed(const std::string& path, int width, int height, TResampleMethod method,
                   bool sepia) {
  TRead read;
  bool toned = false;
  auto choose = [&](int source_width, int source_height, bool fourth_byte) {
    auto resize = TStreamedResize::For(method, source_width, source_height, width, height, sepia,
                                       fourth_byte);
    toned = resize && resize->Tones();
    return resize;
  };
  try {
    if (IsBmp(path)) {
      read.streamed = ReadBmpFile(path, read.image, choose);
    } else {
      read.streamed = ReadPngFile(path, read.image, {}, [&](const TChunkIHDR& header) {
        return choose(static_cast<int>(header.width), static_cast<int>(header.height), false);
      });
    }
  } catch (const std::exception& error) {
    read.error = error.what();
    return read;
  }
  // A picture not resized while read is resized whole, as the job does.
  if (read.image.Empty()) return read;
  if (!read.streamed) {
    try {
      ResizeBitmap(read.image, width, height, method);
    } catch (const Exception&) {
      read.error = "resize failed";
      return read;
    }
  }
  if (sepia && !(read.streamed && toned)) SepiaStep(read.image);
  return read;
}

void ExpectSamePicture(const TBitmap& image, const TBitmap& expected, const std::string& what) {
  ASSERT_EQ(image.Empty(), expected.Empty()) << what;
  ASSERT_EQ(image.Width(), expected.Width()) << what;
  ASSERT_EQ(image.Height(), expected.Height()) << what;
  EXPECT_EQ(image.PixelFormat(), expected.PixelFormat()) << what;
  EXPECT_EQ(image.TopDown(), expected.TopDown()) << what;
  EXPECT_EQ(image.Transparent(), expected.Transparent()) << what;
  EXPECT_EQ(image.TransparentColor(), expected.TransparentColor()) << what;
  // What a writer takes from the picture besides its pixels.
  EXPECT_EQ(image.Palette(), expected.Palette()) << what;
  EXPECT_EQ(image.DibInfo().core_header, expected.DibInfo().core_header) << what;
  EXPECT_EQ(image.DibInfo().x_pels_per_meter, expected.DibInfo().x_pels_per_meter) << what;
  EXPECT_EQ(image.DibInfo().compression, expected.DibInfo().compression) << what;
  EXPECT_EQ(image.DibInfo().retained_file, expected.DibInfo().retained_file) << what;
  ASSERT_EQ(image.BitsSize(), expected.BitsSize()) << what;
  EXPECT_EQ(std::memcmp(image.Bits(), expected.Bits(), image.BitsSize()), 0) << what;
}

// Every file, every method and every target: the same bytes, padding too, and the same
// transparent colour and file fields; a file the reader refuses is refused with the same
// message; a resize that fails on the whole picture is left to it. streams: the files that must
// go through the resize as they are read.
void ExpectStreamingChangesNothing(
    const std::vector<std::string>& paths,
    const std::function<bool(const std::string&, TResampleMethod)>& streams, bool sepia = false) {
  for (const std::string& path : paths) {
    for (TResampleMethod method : kMethods) {
      for (auto [width, height] : kTargets) {
        const std::string what = path + " method " + std::to_string(static_cast<int>(method)) +
                                 " to " + std::to_string(width) + "x" + std::to_string(height);
        SCOPED_TRACE(what);
        TRead whole = ReadWhole(path, width, height, method, sepia);
        TRead streamed = ReadStreamed(path, width, height, method, sepia);
        if (whole.error == "resize failed") {
          EXPECT_FALSE(streamed.streamed) << what;
          continue;
        }
        ASSERT_EQ(streamed.error, whole.error) << what;
        if (!whole.error.empty()) continue;
        EXPECT_EQ(streamed.streamed, streams(path, method));
        ExpectSamePicture(streamed.image, whole.image, what);
      }
    }
  }
}

TEST(StreamedPngRead, EveryColourTypeAndDepthGivesTheBytesOfResizingTheWholePicture) {
  // Grey at 1, 2, 4, 8 and 16 bits, colour at 8 and 16, palettes at 1 to 8 bits, grey and colour
  // with alpha; decoding gamma on grey ramps, colours and palettes; single transparent colours;
  // interlaced files (read whole).
  std::vector<std::string> paths;
  for (const char* name :
       {"basn0g01", "basn0g02", "basn0g04", "basn0g08", "basn0g16", "basn2c08", "basn2c16",
        "basn3p01", "basn3p02", "basn3p04", "basn3p08", "basn4a08", "basn4a16", "basn6a08",
        "basn6a16", "g03n0g16", "g25n2c08", "g04n3p04", "tbbn0g04", "tbrn2c08", "tbbn3p08",
        "tp0n2c08", "s01n3p01", "s07n3p02", "s35n3p04", "basi3p04", "basi2c16"})
    paths.push_back(testing::TestDataPath(std::string("pngsuite/") + name + ".png"));
  // The fourth letter of the name tells an interlaced file ("basi...") from one that is not.
  ExpectStreamingChangesNothing(paths, [](const std::string& path, TResampleMethod) {
    return path[path.rfind('/') + 4] == 'n';
  });
}

TEST(StreamedPngRead, DamagedFilesGiveWhatTheWholeReadGives) {
  // Data that ends before the last rows (they stay the colour of index 0), an index beyond the
  // palette, an empty stream, a bad CRC after the rows and data that does not inflate.
  std::vector<std::string> paths;
  for (const char* name :
       {"idat-zlib-short-rows", "pixel-index-beyond-palette", "idat-empty-stream",
        "idat-crc-mismatch", "idat-zlib-garbage", "idat-split3-ok", "idat-split3-crc-bad-2nd"})
    paths.push_back(testing::TestDataPath(std::string("png-bad/derived/") + name + ".png"));
  ExpectStreamingChangesNothing(paths, [](const std::string&, TResampleMethod) { return true; });
}

TEST(StreamedPngRead, LargerPicturesGoThroughInManyBands) {
  // Random pixels at 24 bits and through 8-, 4- and 1-bit palettes of odd widths, so rows come
  // in many bands and the packed indices end mid-byte.
  testing::TempDir dir;
  std::vector<std::string> paths;
  int seed = 1;
  for (TPixelFormat format :
       {TPixelFormat::pf24bit, TPixelFormat::pf8bit, TPixelFormat::pf4bit, TPixelFormat::pf1bit}) {
    TBitmap picture = testing::Random24(123 + seed * 10, 97 + seed, static_cast<unsigned>(seed));
    picture.SetPixelFormat(format);
    TPNGObject png;
    png.AssignBitmap(picture);
    paths.push_back(dir / ("p" + std::to_string(seed++) + ".png"));
    png.SaveToFile(paths.back());
  }
  // Sepia too, toned row by row where the resize makes 24-bit rows.
  for (bool sepia : {false, true})
    ExpectStreamingChangesNothing(
        paths, [](const std::string&, TResampleMethod) { return true; }, sepia);
}

TEST(StreamedBmpRead, EveryPixelFormatGivesTheBytesOfResizingTheWholePicture) {
  // Palettes of 1 to 8 bits (short, grey, oversized), core headers, top-down rows, 16 and 32
  // bits with and without bit fields, odd masks, a fourth byte that is not zero; run-length
  // files (read whole); damaged and refused files fail alike.
  std::vector<std::string> paths;
  for (const char* name :
       {"g/pal1.bmp",        "g/pal1bg.bmp",       "g/pal4.bmp",           "g/pal4gs.bmp",
        "g/pal8.bmp",        "g/pal8-0.bmp",       "g/pal8nonsquare.bmp",  "g/pal8os2.bmp",
        "g/pal8topdown.bmp", "g/pal8v5.bmp",       "g/rgb16.bmp",          "g/rgb16-565.bmp",
        "g/rgb16bfdef.bmp",  "g/rgb24.bmp",        "g/rgb24pal.bmp",       "g/rgb32.bmp",
        "g/rgb32bf.bmp",     "g/pal4rle.bmp",      "g/pal8rle.bmp",        "q/pal8oversizepal.bmp",
        "q/rgb16-231.bmp",   "q/rgb32-111110.bmp", "q/rgb32fakealpha.bmp", "q/rgba32-1.bmp",
        "q/rgb24jpeg.bmp",   "q/pal8rlecut.bmp",   "q/pal2.bmp",           "q/rgba64.bmp"})
    paths.push_back(testing::TestDataPath(std::string("bmpsuite/") + name));
  // Run-length files are read whole, and 32-bit ones for the fixed-point method (which would
  // carry their fourth bytes through).
  ExpectStreamingChangesNothing(paths, [](const std::string& path, TResampleMethod method) {
    return path.find("rle") == std::string::npos &&
           (method != TResampleMethod::kFixedPointBilinear || path.find("32") == std::string::npos);
  });
}

TEST(StreamedBmpRead, LargerPicturesGoThroughInManyBands) {
  // Bottom-up rows of odd widths at 24 and 8 bits, read top-down by seeking, band by band.
  testing::TempDir dir;
  std::vector<std::string> paths;
  int seed = 1;
  for (TPixelFormat format : {TPixelFormat::pf24bit, TPixelFormat::pf8bit, TPixelFormat::pf4bit}) {
    TBitmap picture = testing::Random24(123 + seed * 10, 97 + seed, static_cast<unsigned>(seed));
    picture.SetPixelFormat(format);
    paths.push_back(dir / ("p" + std::to_string(seed++) + ".bmp"));
    TSafeFileStream file(paths.back());
    WriteBmp(picture, file);
    file.Commit();
  }
  for (bool sepia : {false, true})
    ExpectStreamingChangesNothing(
        paths, [](const std::string&, TResampleMethod) { return true; }, sepia);
}

}  // namespace
}  // namespace qv
