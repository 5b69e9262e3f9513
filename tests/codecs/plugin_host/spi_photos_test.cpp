// Tests of the HEIF, AVIF and JPEG XL plug-ins: files made at test time by the formats' own
// encoders (heif-enc, avifenc, cjxl), decoded by the plug-ins and compared pixel by pixel with
// what the same libraries' own decoders (heif-convert, avifdec, djxl) make of them, within one
// level; HEIF layouts heif-enc cannot write (a grid, rotation and mirror properties) put together
// from its coded pictures; damaged and oversized files; the metadata the plug-ins hand over.
// A test whose tools are missing is skipped, naming the Debian package that has them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <span>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "codecs/jpeg/exif_block.h"
#include "codecs/jpeg/jpeg_image.h"
#include "codecs/jpeg/jpeg_metadata.h"
#include "codecs/plugin_host/spi_dib_copy.h"
#include "codecs/plugin_host/spi_pic_plug.h"
#include "imaging/bitmap.h"
#include "runtime/exceptions.h"
#include "runtime/stream.h"
#include "spi.h"
#include "spi_shipped.h"
#include "support/child_process.h"
#include "support/file_bytes.h"
#include "support/heif_builder.h"
#include "support/png_samples.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

using testing::Bytes;
using testing::Pixels;
using testing::PluginNamed;
using testing::TBytes;
using testing::TempDir;
using testing::TPngSamples;

// ---- Tools ----

struct TTool {
  const char *name;
  const char *package;
};
const TTool kTools[] = {{"heif-enc", "libheif-examples"}, {"heif-convert", "libheif-examples"},
                        {"avifenc", "libavif-bin"},       {"avifdec", "libavif-bin"},
                        {"cjxl", "libjxl-tools"},         {"djxl", "libjxl-tools"}};

std::string ToolPath(const std::string &name) {
  const char *path = std::getenv("PATH");
  std::string folders = path != nullptr ? path : "/usr/bin:/bin";
  for (std::size_t start = 0; start <= folders.size();) {
    std::size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    std::string candidate = folders.substr(start, end - start) + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return {};
}

// The first of the tools that is missing, as a skip message; empty when all are there.
std::string MissingTools(const std::vector<std::string> &names) {
  for (const std::string &name : names)
    if (ToolPath(name).empty()) {
      for (const TTool &tool : kTools)
        if (name == tool.name)
          return name + " is not installed (Debian package " + tool.package + ")";
      return name + " is not installed";
    }
  return {};
}

#define SKIP_WITHOUT(...)                              \
  do {                                                 \
    std::string missing = MissingTools({__VA_ARGS__}); \
    if (!missing.empty()) GTEST_SKIP() << missing;     \
  } while (0)

// Runs a tool whose arguments name {in} and {out}; fails the test when it fails.
void RunTool(std::vector<std::string> command, const std::string &in, const std::string &out) {
  for (std::string &word : command) {
    if (word == "{in}") word = in;
    if (word == "{out}") word = out;
  }
  const std::string program = ToolPath(command.front());
  command.erase(command.begin());
  testing::ProgramResult run = testing::RunProgram(program, command);
  ASSERT_EQ(run.status, 0) << program << " failed on " << in << ":\n" << run.err << run.out;
}

void WriteBytes(const std::string &path, const Bytes &bytes) {
  testing::WriteFile(path,
                     std::string_view(reinterpret_cast<const char *>(bytes.data()), bytes.size()));
}

// ---- Pictures ----

enum class TSource { kColour, kDeep, kAlpha, kGrey, kGreyAlpha };

// A picture whose every pixel differs from its neighbours and from its mirror images: red runs
// along x, green along y, blue along both, with a bright block near the top-left corner so that a
// wrong turn shows; alpha (where there is one) runs along x and y together.
TPngSamples MakeSource(TSource kind, int width, int height) {
  TPngSamples picture;
  picture.width = width;
  picture.height = height;
  picture.channels = kind == TSource::kGrey        ? 1
                     : kind == TSource::kGreyAlpha ? 2
                     : kind == TSource::kAlpha     ? 4
                                                   : 3;
  picture.bits = kind == TSource::kDeep ? 16 : 8;
  const std::uint32_t max = picture.Max();
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const bool block = x >= 4 && x < 14 && y >= 3 && y < 9;
      const double r = block ? 1.0 : 0.1 + 0.8 * x / (width - 1);
      const double g = block ? 0.95 : 0.15 + 0.7 * y / (height - 1);
      const double b = 0.5 + 0.4 * std::sin(0.11 * x + 0.07 * y);
      const double a = 0.25 + 0.75 * ((x + 2 * y) % 64) / 63.0;
      std::vector<double> channels;
      if (picture.channels <= 2)
        channels = {0.3 * r + 0.5 * g + 0.2 * b};
      else
        channels = {r, g, b};
      if (picture.channels == 2 || picture.channels == 4) channels.push_back(a);
      for (double c : channels)
        picture.samples.push_back(static_cast<std::uint16_t>(std::lround(c * max)));
    }
  return picture;
}

// The picture as the plug-ins hand it over: each pixel 0xRRGGBB at 8 bits, rounded from the
// file's depth, over white where there is alpha.
Pixels Expected(const TPngSamples &picture) {
  Pixels pixels;
  const double max = picture.Max();
  const bool alpha = picture.channels == 2 || picture.channels == 4;
  for (int y = 0; y < picture.height; ++y)
    for (int x = 0; x < picture.width; ++x) {
      const double a = alpha ? picture.At(x, y, picture.channels - 1) / max : 1.0;
      std::uint32_t pixel = 0;
      for (int c = 0; c < 3; ++c) {
        const double value = picture.At(x, y, picture.channels <= 2 ? 0 : c) / max;
        const auto level = static_cast<std::uint32_t>(std::lround(255 * (value * a + 1 - a)));
        pixel = pixel << 8 | level;
      }
      pixels.push_back(pixel);
    }
  return pixels;
}

// The picture cropped, turned and mirrored as a case says (for a reference its decoder did not).
TPngSamples Transformed(const TPngSamples &picture, const std::array<int, 4> &crop,
                        int quarter_turns, int mirror) {
  TPngSamples out = picture;
  auto remap = [&out](int width, int height, auto source_of) {
    TPngSamples next = out;
    next.width = width;
    next.height = height;
    next.samples.clear();
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        auto [sx, sy] = source_of(x, y);
        for (int k = 0; k < out.channels; ++k) next.samples.push_back(out.At(sx, sy, k));
      }
    out = next;
  };
  if (crop[2] > 0)
    remap(crop[2], crop[3], [&](int x, int y) { return std::pair(crop[0] + x, crop[1] + y); });
  for (int q = 0; q < quarter_turns; ++q) {  // a quarter anticlockwise: the right edge goes up
    const int w = out.width;
    remap(out.height, out.width, [w](int x, int y) { return std::pair(w - 1 - y, x); });
  }
  const int w = out.width, h = out.height;
  if (mirror == 1) remap(w, h, [w](int x, int y) { return std::pair(w - 1 - x, y); });
  if (mirror == 0) remap(w, h, [h](int x, int y) { return std::pair(x, h - 1 - y); });
  return out;
}

// A picture a plug-in handed over, as the host copies it into a fresh image (at its own depth).
struct TDecoded {
  std::int32_t result = SPI_NOT_IMPLEMENTED;
  std::string error;  // GetPictureError's text after a failure
  TBitmap image;
  // Each pixel 0xRRGGBB, rows top first.
  Pixels Levels() const {
    Pixels pixels;
    for (int y = 0; y < image.Height(); ++y)
      for (int x = 0; x < image.Width(); ++x) {
        const std::uint8_t *row = image.ScanLine(y);
        TRGBQuad colour;
        if (image.PixelFormat() == TPixelFormat::pf8bit)
          colour = image.Palette()[row[x]];
        else
          colour = {row[3 * x], row[3 * x + 1], row[3 * x + 2], 0};
        pixels.push_back(std::uint32_t{colour.red} << 16 | colour.green << 8 | colour.blue);
      }
    return pixels;
  }
};

// The file decoded by the plug-in itself, as the host calls it.
TDecoded DecodeWith(const TPicPlug &plug, const Bytes &file) {
  Bytes padded = file;
  padded.resize(file.size() + SPI_HEADER_BYTES, 0);
  TDecoded decoded;
  EXPECT_NE(plug.is_supported(nullptr, reinterpret_cast<std::uintptr_t>(padded.data())), 0)
      << plug.name << " declines the file";
  HLOCAL info = nullptr, pixels = nullptr;
  decoded.result = plug.get_picture(reinterpret_cast<const char *>(padded.data()),
                                    static_cast<std::int32_t>(file.size()), SPI_INPUT_MEMORY, &info,
                                    &pixels, nullptr, 0);
  if (decoded.result == SPI_SUCCESS) {
    CopyPluginDib(std::span(static_cast<const std::uint8_t *>(info), LocalSize(info)),
                  std::span(static_cast<const std::uint8_t *>(pixels), LocalSize(pixels)),
                  decoded.image);
  } else {
    auto get_error =
        reinterpret_cast<SpiGetPictureErrorFunc>(plug.module.Symbol("GetPictureError"));
    char text[256] = {};
    if (get_error != nullptr) get_error(text, sizeof text);
    decoded.error = text;
    EXPECT_EQ(info, nullptr);
    EXPECT_EQ(pixels, nullptr);
  }
  LocalFree(info);
  LocalFree(pixels);
  return decoded;
}

// Every pixel within one level of the reference, in every channel.
void ExpectWithinOneLevel(const Pixels &actual, const Pixels &expected) {
  ASSERT_EQ(actual.size(), expected.size());
  int worst = 0;
  std::size_t worst_at = 0, beyond = 0;
  for (std::size_t i = 0; i < actual.size(); ++i)
    for (int shift : {0, 8, 16}) {
      const int difference = std::abs(static_cast<int>(actual[i] >> shift & 0xFF) -
                                      static_cast<int>(expected[i] >> shift & 0xFF));
      if (difference > 1) ++beyond;
      if (difference > worst) worst = difference, worst_at = i;
    }
  EXPECT_EQ(beyond, 0u) << "worst difference " << worst << " at pixel " << worst_at;
}

// ---- The cases ----

// How a case's file is made from its source picture.
enum class TLayout {
  kAsEncoded,   // the encoder's file
  kTurned,      // heif-enc's coded picture behind the case's rotation and mirror properties
  kGrid,        // four heif-enc pictures as the tiles of a 2 x 2 grid
  kExifTurned,  // the source as a JPEG whose EXIF says "turn a quarter clockwise", then encoded
};

struct TPhotoCase {
  std::string name;
  std::string plugin;  // the start of the plug-in's name
  TSource source;
  int width, height;
  std::vector<std::string> encoder;    // with {in} and {out}
  std::vector<std::string> reference;  // decoder writing a PNG, with {in} and {out}
  std::string extension;
  TLayout layout = TLayout::kAsEncoded;
  std::vector<TBytes> transforms = {};
  bool grey = false;
  bool swaps_sides = false;
  // What the file says and its decoder leaves to the caller (libavif's avifdec): applied to the
  // reference in order, a crop (x, y, width, height; none when width is 0), quarter turns
  // anticlockwise, a mirror image (1 left-right, 0 top-bottom, -1 none).
  std::array<int, 4> crop = {0, 0, 0, 0};
  int quarter_turns = 0;
  int mirror = -1;
};

const std::vector<std::string> kHeifEnc = {"heif-enc", "-q", "90", "{in}", "-o", "{out}"};
const std::vector<std::string> kHeifEnc10 = {"heif-enc", "-b",   "10", "-q",
                                             "90",       "{in}", "-o", "{out}"};
const std::vector<std::string> kHeifConvert = {"heif-convert", "{in}", "{out}"};
const std::vector<std::string> kAvifDec = {"avifdec", "-d", "8", "{in}", "{out}"};
const std::vector<std::string> kDjxl = {"djxl", "{in}", "{out}"};
std::vector<std::string> AvifEnc(std::vector<std::string> options) {
  std::vector<std::string> command = {"avifenc", "-s", "10", "--min", "4", "--max", "12"};
  command.insert(command.end(), options.begin(), options.end());
  command.insert(command.end(), {"{in}", "{out}"});
  return command;
}
std::vector<std::string> Cjxl(std::vector<std::string> options) {
  std::vector<std::string> command = {"cjxl", "{in}", "{out}"};
  command.insert(command.end(), options.begin(), options.end());
  return command;
}

const TPhotoCase kPhotoCases[] = {
    {"HeicColour", "HEIF", TSource::kColour, 125, 93, kHeifEnc, kHeifConvert, "heic"},
    {"HeicTenBits", "HEIF", TSource::kDeep, 125, 93, kHeifEnc10, kHeifConvert, "heic"},
    {"HeicAlpha", "HEIF", TSource::kAlpha, 128, 96, kHeifEnc, kHeifConvert, "heic"},
    {"HeicGrey",
     "HEIF",
     TSource::kGrey,
     128,
     96,
     kHeifEnc,
     kHeifConvert,
     "heic",
     TLayout::kAsEncoded,
     {},
     true},
    {"HeicGreySmallAsAGrid",
     "HEIF",
     TSource::kGrey,
     61,
     40,
     kHeifEnc,
     kHeifConvert,
     "heic",
     TLayout::kAsEncoded,
     {},
     true},
    {"HeicRotatedQuarter",
     "HEIF",
     TSource::kColour,
     128,
     96,
     kHeifEnc,
     kHeifConvert,
     "heic",
     TLayout::kTurned,
     {testing::RotationBox(1)},
     false,
     true},
    {"HeicRotatedHalf",
     "HEIF",
     TSource::kColour,
     128,
     96,
     kHeifEnc,
     kHeifConvert,
     "heic",
     TLayout::kTurned,
     {testing::RotationBox(2)}},
    {"HeicRotatedThreeQuarters",
     "HEIF",
     TSource::kColour,
     128,
     96,
     kHeifEnc,
     kHeifConvert,
     "heic",
     TLayout::kTurned,
     {testing::RotationBox(3)},
     false,
     true},
    {"HeicMirroredLeftRight",
     "HEIF",
     TSource::kColour,
     128,
     96,
     kHeifEnc,
     kHeifConvert,
     "heic",
     TLayout::kTurned,
     {testing::MirrorBox(1)}},
    {"HeicMirroredTopBottom",
     "HEIF",
     TSource::kColour,
     128,
     96,
     kHeifEnc,
     kHeifConvert,
     "heic",
     TLayout::kTurned,
     {testing::MirrorBox(0)}},
    {"HeicRotatedThenMirrored",
     "HEIF",
     TSource::kColour,
     128,
     96,
     kHeifEnc,
     kHeifConvert,
     "heic",
     TLayout::kTurned,
     {testing::RotationBox(1), testing::MirrorBox(1)},
     false,
     true},
    {"HeicGrid", "HEIF", TSource::kColour, 256, 192, kHeifEnc, kHeifConvert, "heic",
     TLayout::kGrid},
    {"HeicGridTurned",
     "HEIF",
     TSource::kColour,
     256,
     192,
     kHeifEnc,
     kHeifConvert,
     "heic",
     TLayout::kGrid,
     {testing::RotationBox(3)},
     false,
     true},
    {"AvifColour", "AVIF", TSource::kColour, 125, 93, AvifEnc({}), kAvifDec, "avif"},
    {"AvifTenBits", "AVIF", TSource::kDeep, 125, 93, AvifEnc({"-d", "10"}), kAvifDec, "avif"},
    {"AvifTwelveBitsFullChroma", "AVIF", TSource::kDeep, 64, 48, AvifEnc({"-d", "12", "-y", "444"}),
     kAvifDec, "avif"},
    {"AvifLimitedRange", "AVIF", TSource::kColour, 64, 48, AvifEnc({"-r", "limited"}), kAvifDec,
     "avif"},
    {"AvifAlpha", "AVIF", TSource::kAlpha, 125, 93, AvifEnc({}), kAvifDec, "avif"},
    {"AvifGrey",
     "AVIF",
     TSource::kGrey,
     125,
     93,
     AvifEnc({"-y", "400"}),
     kAvifDec,
     "avif",
     TLayout::kAsEncoded,
     {},
     true},
    {"AvifGreyAlpha",
     "AVIF",
     TSource::kGreyAlpha,
     64,
     48,
     AvifEnc({"-y", "400"}),
     kAvifDec,
     "avif",
     TLayout::kAsEncoded,
     {},
     true},
    {"AvifGrid", "AVIF", TSource::kColour, 256, 192, AvifEnc({"--grid", "2x2"}), kAvifDec, "avif"},
    // libavif leaves rotation, mirror and crop to the plug-in (and avifdec to its user).
    {"AvifRotatedAndMirrored",
     "AVIF",
     TSource::kColour,
     125,
     93,
     AvifEnc({"--irot", "1", "--imir", "1"}),
     kAvifDec,
     "avif",
     TLayout::kAsEncoded,
     {},
     false,
     true,
     {0, 0, 0, 0},
     1,
     1},
    {"AvifCropped",
     "AVIF",
     TSource::kColour,
     128,
     96,
     AvifEnc({"--crop", "8,6,100,60"}),
     kAvifDec,
     "avif",
     TLayout::kAsEncoded,
     {},
     false,
     false,
     {8, 6, 100, 60}},
    // avifenc states a JPEG's EXIF orientation 6 as three quarter turns anticlockwise.
    {"AvifTurnedByExif",
     "AVIF",
     TSource::kColour,
     64,
     48,
     AvifEnc({}),
     kAvifDec,
     "avif",
     TLayout::kExifTurned,
     {},
     false,
     true,
     {0, 0, 0, 0},
     3},
    {"JxlColourLossy", "JPEG XL", TSource::kColour, 125, 93, Cjxl({"-d", "1"}), kDjxl, "jxl"},
    {"JxlColourLossless", "JPEG XL", TSource::kColour, 125, 93, Cjxl({"-d", "0"}), kDjxl, "jxl"},
    {"JxlSixteenBits", "JPEG XL", TSource::kDeep, 64, 48, Cjxl({"-d", "0"}), kDjxl, "jxl"},
    {"JxlAlpha", "JPEG XL", TSource::kAlpha, 125, 93, Cjxl({"-d", "1"}), kDjxl, "jxl"},
    {"JxlGrey",
     "JPEG XL",
     TSource::kGrey,
     125,
     93,
     Cjxl({"-d", "1"}),
     kDjxl,
     "jxl",
     TLayout::kAsEncoded,
     {},
     true},
    {"JxlGreyAlpha",
     "JPEG XL",
     TSource::kGreyAlpha,
     64,
     48,
     Cjxl({"-d", "0"}),
     kDjxl,
     "jxl",
     TLayout::kAsEncoded,
     {},
     true},
    {"JxlTurnedByOrientation",
     "JPEG XL",
     TSource::kColour,
     64,
     48,
     Cjxl({}),
     kDjxl,
     "jxl",
     TLayout::kExifTurned,
     {},
     false,
     true},
};

// A minimal EXIF block (TIFF data) holding only an orientation.
TBytes ExifWithOrientation(int orientation) {
  return {'M',  'M',  0, 42, 0, 0, 0, 8,  // big-endian, first directory at 8
          0,    1,                        // one entry
          0x01, 0x12, 0, 3,  0, 0, 0, 1, 0, static_cast<std::uint8_t>(orientation),
          0,    0,    0, 0,  0, 0};  // no next directory
}

// The source picture as a JPEG (quality 95) with the EXIF block inserted.
void WriteJpegWithExif(const TPngSamples &picture, const TBytes &exif, const std::string &path) {
  TBitmap image;
  image.Allocate(picture.width, picture.height, TPixelFormat::pf24bit);
  for (int y = 0; y < picture.height; ++y)
    for (int x = 0; x < picture.width; ++x)
      for (int c = 0; c < 3; ++c)
        image.ScanLine(y)[3 * x + 2 - c] = static_cast<std::uint8_t>(picture.At(x, y, c));
  TJPEGImage jpeg;
  jpeg.Assign(image);
  jpeg.SetCompressionQuality(95);
  TMemoryStream stream;
  jpeg.SaveToStream(stream);
  TJpegMetadata metadata;
  metadata.exif = exif;
  Bytes with_exif = InsertJpegMetadata(stream.Bytes(), metadata);
  WriteBytes(path, with_exif);
}

// The case's file, made in folder.
Bytes MakeFile(const TPhotoCase &c, const TempDir &folder) {
  const TPngSamples source = MakeSource(c.source, c.width, c.height);
  const std::string file = folder / ("picture." + c.extension);
  switch (c.layout) {
    case TLayout::kAsEncoded:
      testing::WritePngSamples(folder / "source.png", source);
      RunTool(c.encoder, folder / "source.png", file);
      break;
    case TLayout::kExifTurned:
      WriteJpegWithExif(source, ExifWithOrientation(6), folder / "source.jpg");
      RunTool(c.encoder, folder / "source.jpg", file);
      break;
    case TLayout::kTurned:
    case TLayout::kGrid: {
      // Tiles of the source (one for a turned picture), each coded by heif-enc.
      const int columns = c.layout == TLayout::kGrid ? 2 : 1;
      const int tile_width = c.width / columns, tile_height = c.height / columns;
      testing::THeifLayout layout;
      layout.columns = columns;
      layout.transforms = c.transforms;
      for (int row = 0; row < columns; ++row)
        for (int column = 0; column < columns; ++column) {
          TPngSamples tile = source;
          tile.width = tile_width;
          tile.height = tile_height;
          tile.samples.clear();
          for (int y = 0; y < tile_height; ++y)
            for (int x = 0; x < tile_width; ++x)
              for (int k = 0; k < source.channels; ++k)
                tile.samples.push_back(
                    source.At(column * tile_width + x, row * tile_height + y, k));
          const std::string tile_png = folder / "tile.png", tile_heic = folder / "tile.heic";
          testing::WritePngSamples(tile_png, tile);
          RunTool(c.encoder, tile_png, tile_heic);
          layout.tiles.push_back(testing::ReadCodedPrimary(ReadWholeFile(tile_heic)));
        }
      const TBytes built = testing::BuildHeif(layout);
      WriteBytes(file, built);
      break;
    }
  }
  return ReadWholeFile(file);
}

class SpiPhotos : public ::testing::TestWithParam<TPhotoCase> {};

// The plug-in's picture is the library's own decoder's, within a level; grey comes as 8-bit grey,
// colour as 24 bits; a turned picture has its sides swapped.
TEST_P(SpiPhotos, DecodeAsTheLibrarysOwnDecoder) {
  const TPhotoCase &c = GetParam();
  SKIP_WITHOUT(c.encoder.front(), c.reference.front());
  if (c.layout == TLayout::kTurned || c.layout == TLayout::kGrid) SKIP_WITHOUT("heif-enc");
  const TPicPlug *plug = PluginNamed(c.plugin);
  ASSERT_NE(plug, nullptr) << "no " << c.plugin << " plug-in was built";
  TempDir folder;
  Bytes file;
  ASSERT_NO_FATAL_FAILURE(file = MakeFile(c, folder));
  ASSERT_NO_FATAL_FAILURE(
      RunTool(c.reference, folder / ("picture." + c.extension), folder / "reference.png"));
  const TPngSamples reference = Transformed(testing::ReadPngSamples(folder / "reference.png"),
                                            c.crop, c.quarter_turns, c.mirror);

  TDecoded decoded = DecodeWith(*plug, file);
  ASSERT_EQ(decoded.result, SPI_SUCCESS) << decoded.error;
  EXPECT_EQ(decoded.image.Width(), reference.width);
  EXPECT_EQ(decoded.image.Height(), reference.height);
  EXPECT_EQ(decoded.image.Width() == c.height, c.swaps_sides);
  EXPECT_EQ(decoded.image.PixelFormat(), c.grey ? TPixelFormat::pf8bit : TPixelFormat::pf24bit);
  ExpectWithinOneLevel(decoded.Levels(), Expected(reference));

  // The size told before decoding (what the memory budget admits a file by) is the size decoded.
  ASSERT_NE(plug->get_picture_info, nullptr);
  SpiPictureInfo told{};
  ASSERT_EQ(plug->get_picture_info(reinterpret_cast<const char *>(file.data()),
                                   static_cast<std::int32_t>(file.size()), SPI_INPUT_MEMORY, &told),
            SPI_SUCCESS);
  EXPECT_EQ(told.width, decoded.image.Width());
  EXPECT_EQ(told.height, std::abs(decoded.image.Height()));
}

INSTANTIATE_TEST_SUITE_P(Files, SpiPhotos, ::testing::ValuesIn(kPhotoCases),
                         [](const auto &test) { return test.param.name; });

const TPhotoCase &CaseNamed(const std::string &name) {
  for (const TPhotoCase &c : kPhotoCases)
    if (c.name == name) return c;
  throw std::logic_error("no case " + name);
}

// The three plug-ins are loaded with their patterns and the extensions of the interface; an AVIF,
// which both the AVIF and the HEIF plug-in take, goes to the AVIF plug-in: the plug-in host asks
// the plug-ins in the order of their file names, and "ifavif.spi" comes before "ifheif.spi".
TEST(SpiPhotoPlugins, AreLoadedWithTheirExtensionsAndAvifGoesToLibavif) {
  for (const char *name : {"HEIF", "AVIF", "JPEG XL"}) {
    const TPicPlug *plug = PluginNamed(name);
    ASSERT_NE(plug, nullptr) << name;
    EXPECT_NE(plug->module.Symbol("GetPictureMetadata"), nullptr) << name;
    EXPECT_NE(plug->module.Symbol("GetPictureError"), nullptr) << name;
    auto flags = reinterpret_cast<SpiGetPluginFlagsFunc>(plug->module.Symbol("GetPluginFlags"));
    ASSERT_NE(flags, nullptr) << name;
    EXPECT_EQ(flags() & SPI_PLUGIN_CONCURRENT, SPI_PLUGIN_CONCURRENT) << name;
  }
  const std::string filter = testing::Shipped().PFilter();
  EXPECT_NE(filter.find("*.heic;*.heif;*.hif;*.avif;"), std::string::npos) << filter;
  EXPECT_NE(filter.find("*.avif;"), std::string::npos) << filter;
  EXPECT_NE(filter.find("*.jxl;"), std::string::npos) << filter;

  SKIP_WITHOUT("avifenc");
  TempDir folder;
  Bytes avif = MakeFile(CaseNamed("AvifColour"), folder);
  avif.resize(avif.size() + SPI_HEADER_BYTES, 0);
  const TPicPlug *first = nullptr;
  for (const auto &plug : testing::Shipped().PicPlugs())
    if (first == nullptr &&
        plug->is_supported(nullptr, reinterpret_cast<std::uintptr_t>(avif.data())) != 0)
      first = plug.get();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->name.rfind("AVIF", 0), 0u) << first->name;
  EXPECT_NE(
      PluginNamed("HEIF")->is_supported(nullptr, reinterpret_cast<std::uintptr_t>(avif.data())), 0)
      << "libheif here decodes AV1, so the HEIF plug-in takes an AVIF as well";
}

// Damaged copies of each format's file are decoded, declined or refused with the silent abort.
TEST(SpiPhotoPlugins, DamagedFilesAreHandled) {
  for (const char *name : {"HeicColour", "AvifAlpha", "JxlColourLossy"}) {
    SCOPED_TRACE(name);
    const TPhotoCase &c = CaseNamed(name);
    if (!MissingTools({c.encoder.front()}).empty()) continue;
    TempDir folder;
    testing::ExpectDamageIsHandled(MakeFile(c, folder));
  }
}

// The bits of a bare JPEG XL codestream whose header claims width x height pixels, and nothing
// after the header (the size header's 18-bit sizes, then all-default image metadata).
Bytes JxlClaiming(std::uint32_t width, std::uint32_t height) {
  Bytes bytes = {0xFF, 0x0A};
  std::uint64_t bits = 0;
  int count = 0;
  auto put = [&](std::uint64_t value, int n) {
    bits |= value << count;
    count += n;
  };
  put(0, 1);  // not small
  put(2, 2);  // height: 18 bits + 1
  put(height - 1, 18);
  put(0, 3);  // no ratio: width follows
  put(2, 2);
  put(width - 1, 18);
  put(1, 1);  // image metadata: all default
  for (int i = 0; i < count; i += 8) bytes.push_back(static_cast<std::uint8_t>(bits >> i));
  bytes.resize(bytes.size() + 64, 0);
  return bytes;
}

// A header that claims more pixels than a picture may have is refused by its size, before the
// picture is decoded, with the plug-in's reason; a claim within the limits that the coded picture
// does not fill fails as damage.
TEST(SpiPhotoPlugins, OversizedClaimsAreRefusedBeforeDecoding) {
  TDecoded jxl = DecodeWith(*PluginNamed("JPEG XL"), JxlClaiming(65535, 65535));
  EXPECT_EQ(jxl.result, SPI_NO_MEMORY);
  EXPECT_EQ(jxl.error, "JPEG XL: the picture is larger than a picture may be");

  SKIP_WITHOUT("heif-enc", "avifenc");
  TempDir folder;
  const TPhotoCase &heic = CaseNamed("HeicRotatedHalf");
  testing::WritePngSamples(folder / "source.png", MakeSource(heic.source, heic.width, heic.height));
  RunTool(heic.encoder, folder / "source.png", folder / "plain.heic");
  testing::THeifLayout layout;
  layout.tiles.push_back(testing::ReadCodedPrimary(ReadWholeFile(folder / "plain.heic")));
  for (std::uint32_t side : {20000u, 65535u}) {
    SCOPED_TRACE(side);
    layout.claimed_width = layout.claimed_height = side;
    TDecoded claimed = DecodeWith(*PluginNamed("HEIF"), testing::BuildHeif(layout));
    EXPECT_NE(claimed.result, SPI_SUCCESS);
    EXPECT_EQ(claimed.error.rfind("HEIF: ", 0), 0u) << claimed.error;
    if (side == 20000) {
      EXPECT_EQ(claimed.result, SPI_NO_MEMORY);
      EXPECT_EQ(claimed.error, "HEIF: the picture is larger than a picture may be");
    }
  }
  layout.claimed_width = 1000, layout.claimed_height = 800;
  TDecoded unfilled = DecodeWith(*PluginNamed("HEIF"), testing::BuildHeif(layout));
  EXPECT_EQ(unfilled.result, SPI_BROKEN_DATA) << unfilled.error;

  // An AVIF whose size property claims 65535 x 65535.
  Bytes avif = MakeFile(CaseNamed("AvifColour"), folder);
  const std::string ispe = "ispe";
  auto at = std::search(avif.begin(), avif.end(), ispe.begin(), ispe.end());
  ASSERT_NE(at, avif.end());
  std::fill(at + 8, at + 16, 0);
  for (int offset : {10, 11, 14, 15}) at[offset] = 0xFF;
  TDecoded claimed = DecodeWith(*PluginNamed("AVIF"), avif);
  EXPECT_NE(claimed.result, SPI_SUCCESS);
  EXPECT_EQ(claimed.error.rfind("AVIF: ", 0), 0u) << claimed.error;
}

// The plug-ins say their calls may overlap, and they do: files decoded on four threads at once
// come out as decoded one at a time.
TEST(SpiPhotoPlugins, DecodeOnSeveralThreadsAtOnce) {
  std::vector<Bytes> files;
  for (const char *name : {"HeicGrid", "AvifAlpha", "JxlColourLossy"}) {
    const TPhotoCase &c = CaseNamed(name);
    if (!MissingTools({c.encoder.front(), "heif-enc"}).empty()) continue;
    TempDir folder;
    files.push_back(MakeFile(c, folder));
  }
  if (files.empty()) GTEST_SKIP() << "no encoder is installed";
  std::vector<Pixels> alone;
  for (const Bytes &file : files) alone.push_back(testing::Decode(file));
  std::vector<std::vector<Pixels>> together(4);
  std::vector<std::thread> threads;
  for (auto &results : together)
    threads.emplace_back([&files, &results] {
      for (int round = 0; round < 3; ++round)
        for (const Bytes &file : files) results.push_back(testing::Decode(file));
    });
  for (std::thread &thread : threads) thread.join();
  for (const auto &results : together)
    for (std::size_t i = 0; i < results.size(); ++i)
      EXPECT_EQ(results[i], alone[i % files.size()]) << "file " << i % files.size();
}

// The metadata records a plug-in hands over for a file, by kind (empty when it has none).
std::map<std::uint32_t, Bytes> MetadataOf(const TPicPlug &plug, const Bytes &file) {
  auto get = reinterpret_cast<SpiGetPictureMetadataFunc>(plug.module.Symbol("GetPictureMetadata"));
  std::map<std::uint32_t, Bytes> records;
  if (get == nullptr) return records;
  HLOCAL block = nullptr;
  EXPECT_EQ(get(reinterpret_cast<const char *>(file.data()), static_cast<std::int32_t>(file.size()),
                SPI_INPUT_MEMORY, &block),
            SPI_SUCCESS);
  const auto *bytes = static_cast<const std::uint8_t *>(block);
  const std::size_t size = LocalSize(block);
  for (std::size_t at = 0; at + sizeof(SpiMetadataRecord) <= size;) {
    SpiMetadataRecord record;
    std::memcpy(&record, bytes + at, sizeof record);
    EXPECT_LE(record.length, size - at - sizeof record);
    EXPECT_EQ(records.count(record.kind), 0u) << "two records of one kind";
    records[record.kind].assign(bytes + at + sizeof record,
                                bytes + at + sizeof record + record.length);
    at += sizeof record + (record.length + 3) / 4 * 4;
  }
  LocalFree(block);
  return records;
}

// The orientation record's number, 0 without one.
int OrientationRecord(const std::map<std::uint32_t, Bytes> &records) {
  auto found = records.find(SPI_METADATA_ORIENTATION);
  if (found == records.end()) return 0;
  EXPECT_EQ(found->second.size(), 4u);
  return found->second.empty() ? -1 : found->second[0];
}

// An ICC profile's bytes as far as the encoders care: a header saying "RGB" display profile.
Bytes TestProfile() {
  Bytes profile(132, 0);
  profile[3] = 132;
  std::memcpy(&profile[12], "mntrRGB XYZ ", 12);
  std::memcpy(&profile[36], "acsp", 4);
  for (std::size_t i = 40; i < 128; ++i) profile[i] = static_cast<std::uint8_t>(i);
  return profile;
}

// EXIF travels as TIFF data; the orientation record says when, and how, the picture was already
// turned by the file's own orientation: a HEIC whose EXIF says "turn" but which has no rotation
// property has none (heif-enc keeps a JPEG's EXIF as it is), while AVIF and JPEG XL files made
// from the same JPEG state its orientation themselves and have the record.
TEST(SpiPhotoPlugins, HandOverExifProfilesAndTheOrientationTheyApplied) {
  SKIP_WITHOUT("heif-enc", "avifenc", "cjxl");
  TempDir folder;
  const TPngSamples source = MakeSource(TSource::kColour, 128, 96);
  WriteJpegWithExif(source, ExifWithOrientation(6), folder / "source.jpg");
  WriteBytes(folder / "profile.icc", TestProfile());
  testing::WriteFile(folder / "packet.xmp", "<x:xmpmeta xmlns:x='adobe:ns:meta/'/>");

  RunTool(kHeifEnc, folder / "source.jpg", folder / "exif.heic");
  auto heic = MetadataOf(*PluginNamed("HEIF"), ReadWholeFile(folder / "exif.heic"));
  EXPECT_EQ(ExifOrientation(heic[SPI_METADATA_EXIF]), 6);
  EXPECT_EQ(OrientationRecord(heic), 0);

  RunTool(AvifEnc({"--icc", folder / "profile.icc", "--xmp", folder / "packet.xmp"}),
          folder / "source.jpg", folder / "exif.avif");
  auto avif = MetadataOf(*PluginNamed("AVIF"), ReadWholeFile(folder / "exif.avif"));
  EXPECT_EQ(ExifOrientation(avif[SPI_METADATA_EXIF]), 6);
  EXPECT_EQ(OrientationRecord(avif), 6);
  EXPECT_EQ(avif[SPI_METADATA_ICC], TestProfile());
  EXPECT_EQ(std::string(avif[SPI_METADATA_XMP].begin(), avif[SPI_METADATA_XMP].end()),
            "<x:xmpmeta xmlns:x='adobe:ns:meta/'/>");

  RunTool(Cjxl({}), folder / "source.jpg", folder / "exif.jxl");
  auto jxl = MetadataOf(*PluginNamed("JPEG XL"), ReadWholeFile(folder / "exif.jxl"));
  EXPECT_EQ(ExifOrientation(jxl[SPI_METADATA_EXIF]), 6);  // from a Brotli-compressed box
  EXPECT_EQ(OrientationRecord(jxl), 6);
  EXPECT_EQ(jxl.count(SPI_METADATA_ICC), 0u) << "plain sRGB needs no profile";

  // A HEIC with a rotation property, an EXIF item and a profile: the orientation record gives
  // the property's turn in EXIF's numbers (a quarter anticlockwise is 8), whatever EXIF says.
  testing::THeifLayout layout;
  layout.tiles.push_back(testing::ReadCodedPrimary(ReadWholeFile(folder / "exif.heic")));
  Bytes colour_box = {0, 0, 0, 0, 'c', 'o', 'l', 'r', 'p', 'r', 'o', 'f'};
  const Bytes profile = TestProfile();
  colour_box.insert(colour_box.end(), profile.begin(), profile.end());
  colour_box[3] = static_cast<std::uint8_t>(colour_box.size());
  layout.tiles[0].properties.push_back(colour_box);
  layout.transforms = {testing::RotationBox(1)};
  layout.exif = ExifWithOrientation(6);
  auto turned = MetadataOf(*PluginNamed("HEIF"), testing::BuildHeif(layout));
  EXPECT_EQ(OrientationRecord(turned), 8);
  EXPECT_EQ(turned[SPI_METADATA_EXIF], ExifWithOrientation(6));
  EXPECT_EQ(turned[SPI_METADATA_ICC], profile);
  layout.transforms = {testing::RotationBox(2), testing::MirrorBox(1)};
  EXPECT_EQ(OrientationRecord(MetadataOf(*PluginNamed("HEIF"), testing::BuildHeif(layout))), 4);
}

}  // namespace
}  // namespace qv
