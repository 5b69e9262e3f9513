// Tests of the shipped plug-ins through the host: real files of each format made with the
// format's own library, and damaged copies of them.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "codecs/plugin_host/spi_lib32.h"
#include "codecs/plugin_host/spi_pic_plug.h"
#include "imaging/bitmap.h"
#include "imaging/image_limits.h"
#include "runtime/exceptions.h"
#include "runtime/stream.h"
#include "spi.h"
#include "spi_plugin_support.h"
#include "spi_shipped.h"
#include "support/temp_dir.h"
#include "support/test_data.h"

#ifdef QV_HAVE_GIFLIB
#include <gif_lib.h>
#endif
#ifdef QV_HAVE_LIBTIFF
#include <tiffio.h>
#endif
#ifdef QV_HAVE_LIBWEBP
#include <webp/encode.h>
#include <webp/mux.h>
#endif

namespace qv {
namespace {

// The shipped plug-ins build nothing the host would refuse, and refuse nothing it takes: their
// limits are the host's (kept apart only because a plug-in sees no header of the core).
static_assert(spi_plugin::kMaxPixels == kMaxImagePixels);
static_assert(spi_plugin::kMaxBlockBytes == kMaxDecodedBytes);

using testing::Bytes;
using testing::Decode;
using testing::ExpectDamageIsHandled;
using testing::ExpectNear;
using testing::Pixels;
using testing::PluginNamed;
using testing::Shipped;

Bytes Text(const std::string &text) { return {text.begin(), text.end()}; }

TEST(SpiShippedPlugins, AreAllLoadedWithTheirPatterns) {
  std::vector<std::string> names = Shipped().PicPlugInList();
  std::string filter = Shipped().PFilter();
  EXPECT_NE(filter.find("*.pbm;*.pgm;*.ppm;*.pnm;*.pam;"), std::string::npos) << filter;
#ifdef QV_HAVE_GIFLIB
  EXPECT_NE(filter.find("*.gif;"), std::string::npos) << filter;
#endif
#ifdef QV_HAVE_LIBTIFF
  EXPECT_NE(filter.find("*.tif;*.tiff;"), std::string::npos) << filter;
#endif
#ifdef QV_HAVE_LIBWEBP
  EXPECT_NE(filter.find("*.webp;"), std::string::npos) << filter;
#endif
  for (const auto &plug : Shipped().PicPlugs()) {
    EXPECT_EQ(plug->version, "00IN");
    EXPECT_FALSE(plug->description.empty());
  }
}

TEST(SpiShippedPlugins, DeclineWhatIsNoImageOfTheirs) {
  for (const std::string &text :
       {std::string(), std::string("hello"), std::string("P7 332\n#XVVERSION:Version 2.28\n"),
        std::string("P9 1 1 1\n"), std::string("PX"), std::string("GIF88a"),
        std::string("RIFF\4\0\0\0WAVE"), std::string("II\x2b\x01")})
    EXPECT_TRUE(Decode(Text(text)).empty()) << text;
}

// ---- netpbm ----

struct NetpbmCase {
  std::string name;
  std::string file;
  int width, height;
  Pixels expect;
};

class SpiNetpbm : public ::testing::TestWithParam<NetpbmCase> {};

TEST_P(SpiNetpbm, DecodesToTheRightPixels) {
  const NetpbmCase &c = GetParam();
  int width = 0, height = 0;
  Pixels pixels = Decode(Text(c.file), &width, &height);
  EXPECT_EQ(width, c.width);
  EXPECT_EQ(height, c.height);
  EXPECT_EQ(pixels, c.expect);
  ExpectDamageIsHandled(Text(c.file));
}

std::string Raw(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s += static_cast<char>(b);
  return s;
}

const std::uint32_t W = 0xFFFFFF, K = 0x000000;
const NetpbmCase kNetpbm[] = {
    {"PlainBitmapWithCommentsAndRunTogetherDigits",
     "P1\n# a comment\n3 2\n101\n0 1 0\n",
     3,
     2,
     {K, W, K, W, K, W}},
    {"PlainGrey", "P2 2 2 4\n0 4\n2 5\n", 2, 2, {K, W, 0x808080, W}},
    {"PlainColour", "P3\n2 1\n255\n255 0 0  0 0 255\n", 2, 1, {0xFF0000, 0x0000FF}},
    {"RawBitmap", "P4\n10 2\n" + Raw({0x80, 0x40, 0x00, 0xC0}), 10, 2, {K, W, W, W, W, W, W,
                                                                        W, W, K, W, W, W, W,
                                                                        W, W, W, W, K, K}},
    {"RawGrey", "P5 3 1 255\n" + Raw({0, 128, 255}), 3, 1, {K, 0x808080, W}},
    {"RawGreySixteenBits", "P5 2 1 65535\n" + Raw({0xFF, 0xFF, 0x80, 0x00}), 2, 1, {W, 0x808080}},
    {"RawColour", "P6\n1 2\n255\n" + Raw({1, 2, 3, 250, 251, 252}), 1, 2, {0x010203, 0xFAFBFC}},
    {"RawColourSixteenBits",
     "P6 1 1 1000\n" + Raw({0x03, 0xE8, 0x01, 0xF4, 0x00, 0x00}),
     1,
     1,
     {0xFF8000}},
    {"PamRgb",
     "P7\nWIDTH 2\nHEIGHT 1\nDEPTH 3\nMAXVAL 255\nTUPLTYPE RGB\nENDHDR\n" +
         Raw({10, 20, 30, 40, 50, 60}),
     2,
     1,
     {0x0A141E, 0x28323C}},
    {"PamRgbAlphaOverWhite",
     "P7\nWIDTH 2\nHEIGHT 1\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n" +
         Raw({255, 0, 0, 255, 0, 0, 0, 0}),
     2,
     1,
     {0xFF0000, W}},
    {"PamBlackAndWhite",
     "P7\n# comment\nWIDTH 2\nHEIGHT 1\nDEPTH 1\nMAXVAL 1\nTUPLTYPE BLACKANDWHITE\nENDHDR\n" +
         Raw({0, 1}),
     2,
     1,
     {K, W}},
    {"PamGreyAlpha",
     "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 2\nMAXVAL 255\nTUPLTYPE GRAYSCALE_ALPHA\nENDHDR\n" +
         Raw({0, 128}),
     1,
     1,
     {0x7F7F7F}},
};

INSTANTIATE_TEST_SUITE_P(Files, SpiNetpbm, ::testing::ValuesIn(kNetpbm),
                         [](const auto &test) { return test.param.name; });

TEST(SpiNetpbm, BrokenHeadersAndShortRastersAreTheSilentAbort) {
  for (const std::string &file :
       {std::string("P6 2 2 255\n") + Raw({1, 2, 3}), std::string("P3 1 1 255\n1 2"),
        std::string("P5 0 1 255\n"), std::string("P5 1 1 0\n") + Raw({0}),
        std::string("P2 99999999999 1 255\n0"), std::string("P7\nWIDTH 1\nHEIGHT 1\nENDHDR\n"),
        std::string("P7\nWIDTH 1\nHEIGHT 1\nDEPTH 9\nMAXVAL 255\nENDHDR\n") + Raw({0})}) {
    Bytes bytes = Text(file);
    EXPECT_THROW(Decode(bytes), EAbort) << file;
  }
}

TEST(SpiNetpbm, DecodesTheLibjpegReferencePicture) {
  // A third-party raw PPM: its pixels are the file's last width x height x 3 bytes.
  Bytes file = ReadWholeFile(testing::TestDataPath("jpeg/libjpeg-turbo/testorig.ppm"));
  int width = 0, height = 0;
  Pixels pixels = Decode(file, &width, &height);
  EXPECT_EQ(width, 227);
  EXPECT_EQ(height, 149);
  ASSERT_EQ(pixels.size(), 227u * 149u);
  const std::uint8_t *raw = file.data() + file.size() - pixels.size() * 3;
  for (std::size_t i = 0; i < pixels.size(); ++i, raw += 3)
    ASSERT_EQ(pixels[i], static_cast<std::uint32_t>(raw[0]) << 16 | raw[1] << 8 | raw[2]) << i;
}

TEST(SpiNetpbm, AHugeDeclaredSizeIsRefusedWithoutAllocating) {
  EXPECT_THROW(Decode(Text("P6 60000 60000 255\n")), EAbort);
}

// ---- GIF ----
#ifdef QV_HAVE_GIFLIB

int WriteToVector(GifFileType *gif, const GifByteType *data, int length) {
  auto *out = static_cast<Bytes *>(gif->UserData);
  out->insert(out->end(), data, data + length);
  return length;
}

struct GifFrame {
  int screen_width, screen_height;
  int left, top, width, height;
  bool interlaced;
  bool local_map;
  int transparent;  // -1 for none
  std::vector<GifColorType> colors;
  std::vector<GifPixelType> indices;  // frame rows, top first
};

Bytes MakeGif(const GifFrame &f) {
  Bytes out;
  int error = 0;
  GifFileType *gif = EGifOpen(&out, WriteToVector, &error);
  EXPECT_NE(gif, nullptr);
  ColorMapObject *map = GifMakeMapObject(static_cast<int>(f.colors.size()), f.colors.data());
  EGifSetGifVersion(gif, true);
  EXPECT_EQ(
      EGifPutScreenDesc(gif, f.screen_width, f.screen_height, 8, 0, f.local_map ? nullptr : map),
      GIF_OK);
  if (f.transparent >= 0) {
    GifByteType control[4] = {1, 0, 0, static_cast<GifByteType>(f.transparent)};
    EXPECT_EQ(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, control), GIF_OK);
  }
  EXPECT_EQ(EGifPutImageDesc(gif, f.left, f.top, f.width, f.height, f.interlaced,
                             f.local_map ? map : nullptr),
            GIF_OK);
  std::vector<int> order;
  if (f.interlaced) {
    const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
      for (int y = start[pass]; y < f.height; y += step[pass]) order.push_back(y);
  } else {
    for (int y = 0; y < f.height; ++y) order.push_back(y);
  }
  for (int y : order) {
    std::vector<GifPixelType> line(f.indices.begin() + y * f.width,
                                   f.indices.begin() + (y + 1) * f.width);
    EXPECT_EQ(EGifPutLine(gif, line.data(), f.width), GIF_OK);
  }
  EXPECT_EQ(EGifCloseFile(gif, &error), GIF_OK);
  GifFreeMapObject(map);
  return out;
}

TEST(SpiGif, DecodesAPaletteImageAndHandsOverItsPalette) {
  GifFrame frame{4,
                 2,
                 0,
                 0,
                 4,
                 2,
                 false,
                 false,
                 -1,
                 {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {10, 20, 30}},
                 {0, 1, 2, 3, 3, 2, 1, 0}};
  Bytes file = MakeGif(frame);
  EXPECT_EQ(Decode(file), (Pixels{0xFF0000, 0x00FF00, 0x0000FF, 0x0A141E, 0x0A141E, 0x0000FF,
                                  0x00FF00, 0xFF0000}));
  // The plug-in's own result: an 8-bit bitmap with the file's colour table.
  const TPicPlug *gif = PluginNamed("GIF");
  ASSERT_NE(gif, nullptr);
  file.resize(file.size() + SPI_HEADER_BYTES, 0);
  HLOCAL info = nullptr, pixels = nullptr;
  ASSERT_EQ(gif->get_picture(reinterpret_cast<const char *>(file.data()),
                             static_cast<std::int32_t>(file.size() - SPI_HEADER_BYTES),
                             SPI_INPUT_MEMORY, &info, &pixels, nullptr, 0),
            SPI_SUCCESS);
  const auto *header = static_cast<const SpiBitmapInfoHeader *>(LocalLock(info));
  ASSERT_NE(header, nullptr);
  EXPECT_EQ(header->biBitCount, 8);
  EXPECT_EQ(header->biClrUsed, 4u);
  const auto *table = reinterpret_cast<const SpiRgbQuad *>(header + 1);
  EXPECT_EQ(table[3].rgbRed, 10);
  EXPECT_EQ(table[3].rgbGreen, 20);
  EXPECT_EQ(table[3].rgbBlue, 30);
  LocalUnlock(info);
  EXPECT_EQ(LocalFree(info), nullptr);
  EXPECT_EQ(LocalFree(pixels), nullptr);
}

TEST(SpiGif, InterlacedFrameWithLocalColoursAndTransparencyOnALargerScreen) {
  // A 2 x 9 frame at (1, 1) on a 4 x 10 screen; index 1 is transparent and shows white, as
  // does the screen around the frame.
  std::vector<GifPixelType> indices;
  for (int y = 0; y < 9; ++y)
    indices.push_back(static_cast<GifPixelType>(y % 2 == 0 ? 0 : 1)), indices.push_back(2);
  GifFrame frame{
      4, 10, 1, 1, 2, 9, true, true, 1, {{200, 0, 0}, {0, 0, 0}, {0, 0, 200}, {0, 0, 0}}, indices};
  int width = 0, height = 0;
  Pixels pixels = Decode(MakeGif(frame), &width, &height);
  ASSERT_EQ(width, 4);
  ASSERT_EQ(height, 10);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 4; ++x) {
      std::uint32_t expected = W;
      if (y >= 1 && x == 1) expected = (y - 1) % 2 == 0 ? 0xC80000 : W;
      if (y >= 1 && x == 2) expected = 0x0000C8;
      EXPECT_EQ(pixels[static_cast<std::size_t>(y * 4 + x)], expected) << x << "," << y;
    }
}

TEST(SpiGif, DamagedFilesAreHandled) {
  std::vector<GifPixelType> indices(16 * 16);
  for (std::size_t i = 0; i < indices.size(); ++i)
    indices[i] = static_cast<GifPixelType>(i * 7 % 4);
  GifFrame frame{
      16, 16, 0, 0, 16, 16, true, false, 3, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {0, 0, 0}}, indices};
  ExpectDamageIsHandled(MakeGif(frame));
}

#endif

// ---- TIFF ----
#ifdef QV_HAVE_LIBTIFF

struct TiffSpec {
  std::string name;
  int bits;
  int samples;
  int photometric;
  int extra_alpha;  // 0 none, else EXTRASAMPLE_* value
  int compression;
  std::vector<std::uint16_t> values;  // samples in file order, rows top first (1-bit: 0/1)
  int width, height;
  Pixels expect;
};

Bytes MakeTiff(const TiffSpec &s) {
  testing::TempDir folder;
  std::string path = folder / "image.tif";
  TIFF *tiff = TIFFOpen(path.c_str(), "w");
  EXPECT_NE(tiff, nullptr);
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(s.width));
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(s.height));
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, static_cast<std::uint16_t>(s.bits));
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, static_cast<std::uint16_t>(s.samples));
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, static_cast<std::uint16_t>(s.photometric));
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, static_cast<std::uint16_t>(PLANARCONFIG_CONTIG));
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, static_cast<std::uint16_t>(s.compression));
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, static_cast<std::uint32_t>(1));
  if (s.extra_alpha) {
    std::uint16_t extra = static_cast<std::uint16_t>(s.extra_alpha);
    TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, &extra);
  }
  std::size_t per_row = static_cast<std::size_t>(s.width * s.samples);
  for (int y = 0; y < s.height; ++y) {
    std::vector<std::uint8_t> row(static_cast<std::size_t>(TIFFScanlineSize(tiff)), 0);
    for (std::size_t i = 0; i < per_row; ++i) {
      std::uint16_t v = s.values[static_cast<std::size_t>(y) * per_row + i];
      if (s.bits == 16)
        std::memcpy(row.data() + 2 * i, &v, 2);  // native order, libtiff swaps
      else if (s.bits == 8)
        row[i] = static_cast<std::uint8_t>(v);
      else if (v)
        row[i / 8] = static_cast<std::uint8_t>(row[i / 8] | (0x80 >> (i % 8)));
    }
    EXPECT_EQ(TIFFWriteScanline(tiff, row.data(), static_cast<std::uint32_t>(y), 0), 1);
  }
  TIFFClose(tiff);
  return ReadWholeFile(path);
}

class SpiTiff : public ::testing::TestWithParam<TiffSpec> {};

TEST_P(SpiTiff, DecodesToTheRightPixels) {
  const TiffSpec &s = GetParam();
  Bytes file = MakeTiff(s);
  int width = 0, height = 0;
  Pixels pixels = Decode(file, &width, &height);
  EXPECT_EQ(width, s.width);
  EXPECT_EQ(height, s.height);
  ExpectNear(pixels, s.expect, 1);
}

const TiffSpec kTiffs[] = {
    {"Rgb8",
     8,
     3,
     PHOTOMETRIC_RGB,
     0,
     COMPRESSION_NONE,
     {255, 0, 0, 0, 255, 0, 0, 0, 255, 1, 2, 3},
     2,
     2,
     {0xFF0000, 0x00FF00, 0x0000FF, 0x010203}},
    {"Rgb16Lzw",
     16,
     3,
     PHOTOMETRIC_RGB,
     0,
     COMPRESSION_LZW,
     {65535, 0, 32896, 0, 0, 65535},
     2,
     1,
     {0xFF0080, 0x0000FF}},
    {"Grey8Deflate",
     8,
     1,
     PHOTOMETRIC_MINISBLACK,
     0,
     COMPRESSION_ADOBE_DEFLATE,
     {0, 100, 255},
     3,
     1,
     {0x000000, 0x646464, 0xFFFFFF}},
    {"Grey16",
     16,
     1,
     PHOTOMETRIC_MINISBLACK,
     0,
     COMPRESSION_NONE,
     {65535, 0, 12850},
     1,
     3,
     {0xFFFFFF, 0x000000, 0x323232}},
    {"BilevelMinIsWhite",
     1,
     1,
     PHOTOMETRIC_MINISWHITE,
     0,
     COMPRESSION_PACKBITS,
     {1, 0, 0, 1},
     2,
     2,
     {0x000000, 0xFFFFFF, 0xFFFFFF, 0x000000}},
    {"RgbUnassociatedAlphaOverWhite",
     8,
     4,
     PHOTOMETRIC_RGB,
     EXTRASAMPLE_UNASSALPHA,
     COMPRESSION_NONE,
     {255, 0, 0, 255, 0, 0, 255, 0, 0, 0, 200, 128},
     3,
     1,
     {0xFF0000, 0xFFFFFF, 0x7F7FE3}},
};

INSTANTIATE_TEST_SUITE_P(Files, SpiTiff, ::testing::ValuesIn(kTiffs),
                         [](const auto &test) { return test.param.name; });

TEST(SpiTiffDamage, DamagedFilesAreHandled) {
  TiffSpec s{"", 8, 3, PHOTOMETRIC_RGB, 0, COMPRESSION_LZW, {}, 12, 10, {}};
  for (int i = 0; i < 12 * 10 * 3; ++i)
    s.values.push_back(static_cast<std::uint16_t>(i * 37 % 256));
  ExpectDamageIsHandled(MakeTiff(s));
}

#endif

// ---- WebP ----
#ifdef QV_HAVE_LIBWEBP

Bytes TakeWebP(std::uint8_t *data, std::size_t size) {
  Bytes out(data, data + size);
  WebPFree(data);
  return out;
}

// A 6 x 4 picture: left half red, right half blue; the last pixel transparent.
std::vector<std::uint8_t> TestRgba() {
  std::vector<std::uint8_t> rgba;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) {
      bool left = x < 3;
      bool clear = y == 3 && x == 5;
      rgba.insert(rgba.end(), {static_cast<std::uint8_t>(left ? 255 : 0), 0,
                               static_cast<std::uint8_t>(left ? 0 : 255),
                               static_cast<std::uint8_t>(clear ? 0 : 255)});
    }
  return rgba;
}

Pixels TestPixels() {
  Pixels p;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x)
      p.push_back(y == 3 && x == 5 ? 0xFFFFFF : x < 3 ? 0xFF0000 : 0x0000FF);
  return p;
}

TEST(SpiWebP, LosslessDecodesExactlyWithTransparencyOverWhite) {
  std::vector<std::uint8_t> rgba = TestRgba();
  std::uint8_t *out = nullptr;
  std::size_t size = WebPEncodeLosslessRGBA(rgba.data(), 6, 4, 24, &out);
  ASSERT_GT(size, 0u);
  Bytes file = TakeWebP(out, size);
  EXPECT_EQ(Decode(file), TestPixels());
  ExpectDamageIsHandled(file);
}

TEST(SpiWebP, LossyDecodesCloseToTheSource) {
  std::vector<std::uint8_t> rgb;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) rgb.insert(rgb.end(), {40, 160, 220});
  std::uint8_t *out = nullptr;
  std::size_t size = WebPEncodeRGB(rgb.data(), 16, 16, 48, 90, &out);
  ASSERT_GT(size, 0u);
  Bytes file = TakeWebP(out, size);
  int width = 0, height = 0;
  Pixels pixels = Decode(file, &width, &height);
  EXPECT_EQ(width, 16);
  EXPECT_EQ(height, 16);
  ExpectNear(pixels, Pixels(256, 0x28A0DC), 8);
  ExpectDamageIsHandled(file);
}

TEST(SpiWebP, AnAnimationGivesItsFirstFrame) {
  WebPAnimEncoderOptions options;
  ASSERT_TRUE(WebPAnimEncoderOptionsInit(&options));
  WebPAnimEncoder *encoder = WebPAnimEncoderNew(6, 4, &options);
  ASSERT_NE(encoder, nullptr);
  WebPConfig config;
  ASSERT_TRUE(WebPConfigInit(&config));
  config.lossless = 1;
  std::vector<std::uint8_t> first = TestRgba(), second(6 * 4 * 4, 0);
  for (std::size_t i = 1; i < second.size(); i += 4) second[i] = 255, second[i + 2] = 255;  // green
  int timestamp = 0;
  for (std::vector<std::uint8_t> *frame : {&first, &second}) {
    WebPPicture picture;
    ASSERT_TRUE(WebPPictureInit(&picture));
    picture.use_argb = 1;
    picture.width = 6;
    picture.height = 4;
    ASSERT_TRUE(WebPPictureImportRGBA(&picture, frame->data(), 24));
    EXPECT_TRUE(WebPAnimEncoderAdd(encoder, &picture, timestamp, &config));
    WebPPictureFree(&picture);
    timestamp += 100;
  }
  EXPECT_TRUE(WebPAnimEncoderAdd(encoder, nullptr, timestamp, nullptr));
  WebPData data;
  WebPDataInit(&data);
  ASSERT_TRUE(WebPAnimEncoderAssemble(encoder, &data));
  Bytes file(data.bytes, data.bytes + data.size);
  WebPDataClear(&data);
  WebPAnimEncoderDelete(encoder);
  EXPECT_EQ(Decode(file), TestPixels());
}

#endif

// What a plug-in tells of a file before decoding it (GetPictureInfo, which the host asks to reckon
// the memory of files converted at once) is the size it decodes: a GIF frame reaching past its
// screen grows the canvas, and a file no plug-in takes tells nothing.
TEST(SpiShippedPlugins, TellTheSizeTheyDecodeBeforeDecoding) {
  testing::TempDir dir;
  auto write = [](const std::string &path, const Bytes &bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  };
  std::vector<Bytes> files = {Text("P2\n3 2\n255\n1 2 3 4 5 6\n"),
                              Text("P6\n2 2\n255\nABCDEFGHIJKL"),
                              Text("P4\n10 2\n\xA5\xC0\x5A\x40")};
#ifdef QV_HAVE_GIFLIB
  files.push_back(MakeGif(GifFrame{4,
                                   3,
                                   2,
                                   1,
                                   5,
                                   4,
                                   false,
                                   false,
                                   -1,
                                   {{0, 0, 0}, {255, 255, 255}},
                                   std::vector<GifPixelType>(20, 1)}));
#endif
#ifdef QV_HAVE_LIBTIFF
  files.push_back(MakeTiff(TiffSpec{"rgb",
                                    8,
                                    3,
                                    PHOTOMETRIC_RGB,
                                    0,
                                    COMPRESSION_NONE,
                                    std::vector<std::uint16_t>(4 * 3 * 3, 90),
                                    4,
                                    3,
                                    {}}));
#endif
#ifdef QV_HAVE_LIBWEBP
  {
    std::vector<std::uint8_t> rgba = TestRgba();
    std::uint8_t *out = nullptr;
    std::size_t size = WebPEncodeLosslessRGBA(rgba.data(), 6, 4, 24, &out);
    ASSERT_GT(size, 0u);
    files.push_back(TakeWebP(out, size));
  }
#endif
  for (std::size_t i = 0; i < files.size(); ++i) {
    const std::string path = dir / ("picture" + std::to_string(i));
    write(path, files[i]);
    int width = 0, height = 0;
    ASSERT_FALSE(Decode(files[i], &width, &height).empty()) << i;
    EXPECT_EQ(Shipped().PictureSize(path), std::make_pair(width, std::abs(height))) << i;
  }
  write(dir / "text", Text("no picture at all"));
  EXPECT_EQ(Shipped().PictureSize(dir / "text"), std::nullopt);
  EXPECT_EQ(Shipped().PictureSize(dir / "missing"), std::nullopt);
}

}  // namespace
}  // namespace qv
