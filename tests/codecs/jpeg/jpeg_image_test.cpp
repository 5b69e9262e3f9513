// The JPEG adapter: the sample files against djpeg, header reading, library errors as EJPEG,
// size limits, CMYK conversion, compression checked by djpeg, sharing and the job's steps.
#include "codecs/jpeg/jpeg_image.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

#include "app/image_io.h"
#include "codecs/jpeg/jpeg_cmyk.h"
#include "imaging/bitmap.h"
#include "imaging/image_helpers.h"
#include "runtime/stream.h"
#include "support/child_process.h"
#include "support/pixel_format_name.h"
#include "support/temp_dir.h"
#include "support/test_data.h"
#include "support/test_names.h"

namespace qv {
namespace {

std::string Sample(const std::string &name) {
  return testing::TestDataPath("jpeg/" + std::string(name));
}

// A binary PPM (P6, maxval 255) read back from djpeg.
struct Ppm {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;
};

Ppm ParsePpm(const std::vector<std::uint8_t> &bytes) {
  Ppm ppm;
  std::size_t pos = 0;
  auto token = [&]() {
    while (pos < bytes.size()) {
      if (bytes[pos] == '#') {
        while (pos < bytes.size() && bytes[pos] != '\n') ++pos;
      } else if (std::isspace(bytes[pos])) {
        ++pos;
      } else {
        break;
      }
    }
    std::string t;
    while (pos < bytes.size() && !std::isspace(bytes[pos])) t += static_cast<char>(bytes[pos++]);
    return t;
  };
  std::string magic = token();
  EXPECT_TRUE(magic == "P6" || magic == "P5") << magic;
  ppm.width = std::stoi(token());
  ppm.height = std::stoi(token());
  EXPECT_EQ(token(), "255");
  ++pos;  // the single white space after maxval
  std::size_t pixels = static_cast<std::size_t>(ppm.width) * ppm.height;
  if (magic == "P5") {
    for (std::size_t i = 0; i < pixels && pos + i < bytes.size(); ++i)
      for (int k = 0; k < 3; ++k) ppm.rgb.push_back(bytes[pos + i]);
  } else {
    ppm.rgb.assign(bytes.begin() + static_cast<std::ptrdiff_t>(pos), bytes.end());
  }
  EXPECT_EQ(ppm.rgb.size(), pixels * 3);
  return ppm;
}

// djpeg's decode of a file (default settings, colour output).
Ppm Djpeg(const std::string &path, const std::vector<std::string> &options = {}) {
  testing::TempDir dir;
  std::vector<std::string> args = options;
  args.insert(args.end(), {"-ppm", "-outfile", dir / "out.ppm", path});
  testing::ProgramResult result = testing::RunProgram("/usr/bin/djpeg", args);
  // 2: decoded with a warning (damaged files).
  EXPECT_TRUE(result.status == 0 || result.status == 2) << result.err;
  return ParsePpm(ReadWholeFile(dir / "out.ppm"));
}

// Colour of pixel x, y of a decoded image as red, green, blue.
void PixelRgb(const TBitmap &image, int x, int y, std::uint8_t rgb[3]) {
  const std::uint8_t *row = image.ScanLine(y);
  if (image.PixelFormat() == TPixelFormat::pf24bit ||
      image.PixelFormat() == TPixelFormat::pf32bit) {
    int bytes = image.BitsPerPixel() / 8;
    rgb[0] = row[x * bytes + 2];
    rgb[1] = row[x * bytes + 1];
    rgb[2] = row[x * bytes];
  } else {
    ASSERT_EQ(image.PixelFormat(), TPixelFormat::pf8bit);
    ASSERT_LT(row[x], image.Palette().size());
    const TRGBQuad &q = image.Palette()[row[x]];
    rgb[0] = q.red;
    rgb[1] = q.green;
    rgb[2] = q.blue;
  }
}

struct Difference {
  int max = 0;
  double mean = 0;
};

Difference Compare(const TBitmap &image, const Ppm &ppm) {
  Difference d;
  EXPECT_EQ(image.Width(), ppm.width);
  EXPECT_EQ(image.Height(), ppm.height);
  if (image.Width() != ppm.width || image.Height() != ppm.height) return {255, 255};
  double total = 0;
  for (int y = 0; y < ppm.height; ++y)
    for (int x = 0; x < ppm.width; ++x) {
      std::uint8_t rgb[3];
      PixelRgb(image, x, y, rgb);
      for (int k = 0; k < 3; ++k) {
        int diff =
            std::abs(rgb[k] - ppm.rgb[(static_cast<std::size_t>(y) * ppm.width + x) * 3 + k]);
        d.max = std::max(d.max, diff);
        total += diff;
      }
    }
  d.mean = total / (3.0 * ppm.width * ppm.height);
  return d;
}

// ---- the sample files ----

struct SampleCase {
  const char *file;
  int width;
  int height;
  bool grayscale;
  bool progressive;
  bool exact;  // a clean file: our default decode equals djpeg's byte for byte
};

class JpegSample : public ::testing::TestWithParam<SampleCase> {};

TEST_P(JpegSample, HeaderAndDecodeMatchDjpeg) {
  const SampleCase &c = GetParam();
  TJPEGImage jpeg;
  jpeg.LoadFromFile(Sample(c.file));
  EXPECT_FALSE(jpeg.HasBitmap());  // reading keeps the bytes only
  EXPECT_EQ(jpeg.Width(), c.width);
  EXPECT_EQ(jpeg.Height(), c.height);
  EXPECT_EQ(jpeg.Grayscale(), c.grayscale);
  EXPECT_EQ(jpeg.ProgressiveEncoding(), c.progressive);
  EXPECT_EQ(jpeg.JPEGData()->Components(), c.grayscale ? 1 : 3);
  EXPECT_FALSE(jpeg.JPEGData()->AdobeInverted());
  TBitmap image;
  jpeg.AssignTo(image);
  ASSERT_EQ(image.Width(), c.width);
  ASSERT_EQ(image.Height(), c.height);
  if (c.grayscale) {
    // 236 grey levels with dithering, never a 24-bit image.
    ASSERT_EQ(image.PixelFormat(), TPixelFormat::pf8bit);
    ASSERT_EQ(image.Palette().size(), 236u);
    for (const TRGBQuad &q : image.Palette()) {
      EXPECT_EQ(q.red, q.green);
      EXPECT_EQ(q.green, q.blue);
    }
    Difference d = Compare(image, Djpeg(Sample(c.file)));
    EXPECT_LE(d.max, 2);
  } else {
    ASSERT_EQ(image.PixelFormat(), TPixelFormat::pf24bit);
    Difference d = Compare(image, Djpeg(Sample(c.file)));
    if (c.exact) {
      EXPECT_EQ(d.max, 0);
    } else {
      EXPECT_LT(d.mean, 1.0);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, JpegSample,
    ::testing::Values(SampleCase{"libjpeg-turbo/testorig.jpg", 227, 149, false, false, true},
                      SampleCase{"libjpeg-turbo/testimgint.jpg", 227, 149, false, false, true},
                      SampleCase{"libjpeg-turbo/testimgari.jpg", 227, 149, false, false, true},
                      SampleCase{"libjpeg-turbo/testimgp.jpg", 227, 149, false, true, true},
                      SampleCase{"libjpeg-turbo/testimggray.jpg", 227, 149, true, false, true},
                      SampleCase{"pillow/hopper.jpg", 128, 128, false, false, true},
                      SampleCase{"pillow/hopper_16bit_qtables.jpg", 128, 128, false, false, true},
                      SampleCase{"pillow/hopper_gray.jpg", 128, 128, true, false, true},
                      SampleCase{"pillow/icc-after-SOF.jpg", 10, 10, true, false, true},
                      SampleCase{"pillow/pil_sample_rgb.jpg", 100, 100, false, false, true},
                      // Files the library answers with a warning: decoded, warning ignored.
                      SampleCase{"pillow/jpeg_ff00_header.jpg", 300, 225, false, false, true},
                      SampleCase{"pillow/junk_jpeg_header.jpg", 1024, 768, false, false, true},
                      SampleCase{"pillow/truncated_app14.jpg", 100, 100, false, false, true},
                      SampleCase{"pillow/truncated_jpeg.jpg", 100, 100, false, true, true},
                      SampleCase{"derived/testorig-corrupt-scan.jpg", 227, 149, false, false, true},
                      SampleCase{"derived/testorig-no-eoi.jpg", 227, 149, false, false, true},
                      SampleCase{"derived/testorig-trunc-50pct.jpg", 227, 149, false, false, true}),
    [](const auto &test_info) {
      const auto &c = test_info.param;
      return testing::NameOf(c.file);
    });

// ---- fatal library errors ----

struct ErrorCase {
  const char *file;
  int code;
  const char *library_text;
};

class JpegBadFile : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(JpegBadFile, FailsWithTheLibraryCodeAndLeavesTheTargetAlone) {
  const ErrorCase &c = GetParam();
  TBitmap target;
  target.Allocate(3, 2, TPixelFormat::pf24bit);
  try {
    ReadJpegFile(Sample(c.file), target);
    FAIL() << "no exception";
  } catch (const EJPEG &e) {
    EXPECT_EQ(e.MessageCode(), c.code);
    EXPECT_EQ(e.Message(), "JPEG エラー #" + std::to_string(c.code));
    EXPECT_EQ(e.LibraryMessage(), c.library_text);
  }
  EXPECT_EQ(target.Width(), 3);
  EXPECT_EQ(target.Height(), 2);
}

INSTANTIATE_TEST_SUITE_P(
    Files, JpegBadFile,
    ::testing::Values(ErrorCase{"derived/empty.jpg", JERR_INPUT_EMPTY, "Empty input file"},
                      ErrorCase{"derived/png-bytes-named.jpg", JERR_NO_SOI,
                                "Not a JPEG file: starts with 0x89 0x50"},
                      ErrorCase{"derived/soi-eoi-only.jpg", JERR_NO_IMAGE,
                                "JPEG datastream contains no image"},
                      ErrorCase{"derived/testorig-sof-65535x65535.jpg", JERR_IMAGE_TOO_BIG,
                                "Maximum supported image dimension is 65500 pixels"},
                      ErrorCase{"derived/testorig-sof-height0.jpg", JERR_EMPTY_IMAGE,
                                "Empty JPEG image (DNL not supported)"},
                      ErrorCase{"derived/testorig-sof-width0.jpg", JERR_EMPTY_IMAGE,
                                "Empty JPEG image (DNL not supported)"},
                      ErrorCase{"derived/testorig-trunc-before-sos.jpg", JERR_SOF_NO_SOS,
                                "Invalid JPEG file structure: missing SOS marker"},
                      ErrorCase{"libjpeg-turbo/monkey12.jpg", JERR_BAD_PRECISION,
                                "Unsupported JPEG data precision 12"}),
    [](const auto &test_info) {
      const auto &c = test_info.param;
      return testing::NameOf(c.file);
    });

TEST(JpegImage, HeaderErrorKeepsTheBytesRead) {
  TJPEGImage jpeg;
  EXPECT_THROW(jpeg.LoadFromFile(Sample("derived/soi-eoi-only.jpg")), EJPEG);
  EXPECT_EQ(jpeg.CompressedData().size(), 4u);
}

TEST(JpegImage, HugeDeclaredSizeIsRefusedBeforeAllocating) {
  TJPEGImage jpeg;
  jpeg.LoadFromFile(Sample("derived/testorig-sof-65500x65500.jpg"));
  EXPECT_EQ(jpeg.Width(), 65500);
  TBitmap target;
  try {
    jpeg.AssignTo(target);
    FAIL() << "no exception";
  } catch (const EOutOfMemory &e) {
    EXPECT_NE(e.Message().find("1073741824"), std::string::npos) << e.Message();
  }
  EXPECT_FALSE(jpeg.HasBitmap());
  EXPECT_TRUE(target.Empty());
}

TEST(JpegImage, ShortStreamIsAReadError) {
  std::vector<std::uint8_t> bytes = ReadWholeFile(Sample("libjpeg-turbo/testorig.jpg"));
  // A stream whose size claims more than it can deliver.
  class ShortStream : public TStream {
   public:
    explicit ShortStream(std::vector<std::uint8_t> b) : bytes_(std::move(b)) {}
    std::size_t Read(void *buffer, std::size_t count) override {
      std::size_t n = std::min(count, bytes_.size() / 2 - std::min(pos_, bytes_.size() / 2));
      std::memcpy(buffer, bytes_.data() + pos_, n);
      pos_ += n;
      return n;
    }
    std::size_t Write(const void *, std::size_t) override { return 0; }
    std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override {
      if (origin == SeekOrigin::kEnd) return static_cast<std::int64_t>(bytes_.size()) + offset;
      if (origin == SeekOrigin::kBeginning) pos_ = static_cast<std::size_t>(offset);
      return static_cast<std::int64_t>(pos_);
    }

   private:
    std::vector<std::uint8_t> bytes_;
    std::size_t pos_ = 0;
  } stream(bytes);
  TJPEGImage jpeg;
  EXPECT_THROW(jpeg.LoadFromStream(stream), EReadError);
}

// Damaged copies of a baseline and a progressive file: each decodes or fails with EJPEG (or the
// size limit), and never crashes or leaks (run under the sanitizer build).
TEST(JpegImage, DamagedFilesDecodeOrFailCleanly) {
  std::mt19937 random(7);
  int failures = 0;
  for (const char *name : {"libjpeg-turbo/testorig.jpg", "libjpeg-turbo/testimgp.jpg"}) {
    const std::vector<std::uint8_t> original = ReadWholeFile(Sample(name));
    for (int round = 0; round < 80; ++round) {
      std::vector<std::uint8_t> bytes = original;
      int flips = 1 + static_cast<int>(random() % 8);
      for (int i = 0; i < flips; ++i)
        bytes[random() % bytes.size()] = static_cast<std::uint8_t>(random());
      if (round % 5 == 0) bytes.resize(random() % bytes.size());
      TJPEGImage jpeg;
      jpeg.SetPixelFormat(round % 2 ? TJPEGPixelFormat::jf8Bit : TJPEGPixelFormat::jf24Bit);
      try {
        TReadOnlyMemoryStream in(bytes);
        jpeg.LoadFromStream(in);
        TBitmap image;
        jpeg.AssignTo(image);
        EXPECT_EQ(image.Width(), jpeg.Width());
      } catch (const EJPEG &) {
        ++failures;
      } catch (const EOutOfMemory &) {
        ++failures;
      }
    }
  }
  EXPECT_GT(failures, 0);  // the damage did reach the library's checks
}

// A stream of n components in no known colour space, written by libjpeg itself.
std::vector<std::uint8_t> UnknownComponents(int components) {
  jpeg_compress_struct c{};
  jpeg_error_mgr errors;
  c.err = jpeg_std_error(&errors);
  jpeg_create_compress(&c);
  unsigned char *out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &out, &size);
  c.image_width = 16;
  c.image_height = 16;
  c.input_components = components;
  c.in_color_space = JCS_UNKNOWN;
  jpeg_set_defaults(&c);
  jpeg_set_colorspace(&c, JCS_UNKNOWN);
  jpeg_start_compress(&c, TRUE);
  std::vector<std::uint8_t> row(16 * static_cast<std::size_t>(components), 100);
  while (c.next_scanline < c.image_height) {
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&c, rows, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::vector<std::uint8_t> bytes(out, out + size);
  std::free(out);
  return bytes;
}

TEST(JpegImage, StreamsOfOtherComponentCountsAreRefusedNotOverrun) {
  for (int components : {2}) {
    for (TJPEGPixelFormat format : {TJPEGPixelFormat::jf24Bit, TJPEGPixelFormat::jf8Bit}) {
      std::vector<std::uint8_t> bytes = UnknownComponents(components);
      TJPEGImage jpeg;
      jpeg.SetPixelFormat(format);
      TReadOnlyMemoryStream in(bytes);
      jpeg.LoadFromStream(in);
      EXPECT_EQ(jpeg.JPEGData()->Components(), components);
      TBitmap image;
      try {
        jpeg.AssignTo(image);
        FAIL() << components << " components decoded";
      } catch (const EJPEG &e) {
        EXPECT_EQ(e.MessageCode(), JERR_CONVERSION_NOTIMPL);
      }
    }
  }
}

// ---- decoding settings ----

TEST(JpegImage, ScaledSizesAreTheLibrarysOutputSize) {
  TJPEGImage jpeg;
  jpeg.LoadFromFile(Sample("libjpeg-turbo/testorig.jpg"));
  const struct {
    TJPEGScale scale;
    int width, height;
  } cases[] = {{TJPEGScale::jsHalf, 114, 75},
               {TJPEGScale::jsQuarter, 57, 38},
               {TJPEGScale::jsEighth, 29, 19},
               {TJPEGScale::jsFullSize, 227, 149}};
  for (const auto &c : cases) {
    jpeg.SetScale(c.scale);
    EXPECT_EQ(jpeg.Width(), c.width);
    EXPECT_EQ(jpeg.Height(), c.height);
    EXPECT_EQ(jpeg.Bitmap().Width(), c.width);
    EXPECT_EQ(jpeg.Bitmap().Height(), c.height);
  }
  jpeg.SetScale(TJPEGScale::jsHalf);
  Difference d =
      Compare(jpeg.Bitmap(), Djpeg(Sample("libjpeg-turbo/testorig.jpg"), {"-scale", "1/2"}));
  EXPECT_EQ(d.max, 0);
}

TEST(JpegImage, EightBitOutputUsesTheLibrarysColourMap) {
  // djpeg quantising the same way gives the same colours pixel for pixel.
  const struct {
    TJPEGPerformance performance;
    std::vector<std::string> djpeg_options;
  } cases[] = {{TJPEGPerformance::jpBestQuality, {"-colors", "236"}},
               {TJPEGPerformance::jpBestSpeed,
                {"-colors", "236", "-onepass", "-dither", "ordered", "-dct", "fast"}}};
  for (const auto &c : cases) {
    TJPEGImage jpeg;
    jpeg.SetPixelFormat(TJPEGPixelFormat::jf8Bit);
    jpeg.SetPerformance(c.performance);
    jpeg.LoadFromFile(Sample("pillow/hopper.jpg"));
    const TBitmap &image = jpeg.Bitmap();
    ASSERT_EQ(image.PixelFormat(), TPixelFormat::pf8bit);
    EXPECT_LE(image.Palette().size(), 236u);
    EXPECT_GT(image.Palette().size(), 16u);
    Difference d = Compare(image, Djpeg(Sample("pillow/hopper.jpg"), c.djpeg_options));
    EXPECT_EQ(d.max, 0);
  }
}

TEST(JpegImage, GreyscaleOutputOfAColourFile) {
  TJPEGImage jpeg;
  jpeg.LoadFromFile(Sample("pillow/hopper.jpg"));
  jpeg.SetGrayscaleOutput(true);
  const TBitmap &image = jpeg.Bitmap();
  ASSERT_EQ(image.PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(image.Palette().size(), 236u);
  Difference d = Compare(image, Djpeg(Sample("pillow/hopper.jpg"), {"-grayscale"}));
  EXPECT_LE(d.max, 2);
}

TEST(JpegImage, TemporaryPaletteBecomesTheColourMap) {
  std::vector<TRGBQuad> palette = {
      {0, 0, 0, 0}, {255, 255, 255, 0}, {0, 0, 255, 0}, {255, 0, 0, 0}};
  TJPEGImage jpeg;
  jpeg.SetPixelFormat(TJPEGPixelFormat::jf8Bit);
  jpeg.SetTemporaryPalette(palette);
  jpeg.LoadFromFile(Sample("pillow/hopper.jpg"));
  EXPECT_EQ(jpeg.Bitmap().Palette(), palette);
}

TEST(JpegImage, ResizingFails) {
  TJPEGImage jpeg;
  try {
    jpeg.SetWidth(10);
    FAIL();
  } catch (const EInvalidGraphicOperation &e) {
    EXPECT_EQ(e.Message(), "JPEG イメージのサイズは変更できません");
  }
  EXPECT_THROW(jpeg.SetHeight(10), EInvalidGraphicOperation);
}

// ---- CMYK ----

TEST(JpegCmyk, RowConversion) {
  // C, M, Y, K samples: plain (0 = no ink) and Adobe-inverted (255 = no ink).
  const std::uint8_t plain[] = {0, 0, 0, 0, 255, 0, 0, 0, 0, 0, 0, 255, 0, 128, 255, 0};
  std::uint8_t bgr[12];
  CmykRowToBgr(plain, bgr, 4, false);
  const std::uint8_t expected[] = {255, 255, 255, 255, 255, 0, 0, 0, 0, 0, 127, 255};
  EXPECT_EQ(std::vector<std::uint8_t>(bgr, bgr + 12),
            std::vector<std::uint8_t>(expected, expected + 12));
  std::uint8_t inverted[16];
  for (int i = 0; i < 16; ++i) inverted[i] = static_cast<std::uint8_t>(255 - plain[i]);
  CmykRowToBgr(inverted, bgr, 4, true);
  EXPECT_EQ(std::vector<std::uint8_t>(bgr, bgr + 12),
            std::vector<std::uint8_t>(expected, expected + 12));
}

TEST(JpegCmyk, HeaderTellsFourInvertedComponents) {
  TJPEGImage jpeg;
  jpeg.LoadFromFile(Sample("pillow/pil_sample_cmyk.jpg"));
  EXPECT_EQ(jpeg.JPEGData()->Components(), 4);
  EXPECT_TRUE(jpeg.JPEGData()->AdobeInverted());
  EXPECT_FALSE(jpeg.Grayscale());
}

TEST(JpegCmyk, AdobeCmykFileLooksLikeItsRgbTwin) {
  TBitmap cmyk, rgb;
  ReadJpegFile(Sample("pillow/pil_sample_cmyk.jpg"), cmyk);
  ReadJpegFile(Sample("pillow/pil_sample_rgb.jpg"), rgb);
  ASSERT_EQ(cmyk.PixelFormat(), TPixelFormat::pf24bit);
  ASSERT_EQ(cmyk.Width(), rgb.Width());
  ASSERT_EQ(cmyk.Height(), rgb.Height());
  double total = 0;
  for (int y = 0; y < rgb.Height(); ++y)
    for (std::size_t i = 0; i < std::size_t(rgb.Width()) * 3; ++i)
      total += std::abs(cmyk.ScanLine(y)[i] - rgb.ScanLine(y)[i]);
  // Not inverting (or swapping channels) gives mean errors near 100.
  EXPECT_LT(total / (3.0 * rgb.Width() * rgb.Height()), 20.0);
}

// ---- compressing ----

TBitmap Pattern(int width, int height, TPixelFormat format = TPixelFormat::pf24bit) {
  TBitmap image;
  image.Allocate(width, height, TPixelFormat::pf24bit);
  for (int y = 0; y < height; ++y) {
    std::uint8_t *row = image.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      // Left half reddish, right half bluish, green ramps down the rows: a smooth picture.
      row[x * 3 + 0] = static_cast<std::uint8_t>(x * 2 < width ? 40 : 220);
      row[x * 3 + 1] = static_cast<std::uint8_t>(height > 1 ? y * 255 / (height - 1) : 128);
      row[x * 3 + 2] = static_cast<std::uint8_t>(x * 2 < width ? 220 : 40);
    }
  }
  if (format != TPixelFormat::pf24bit) image.SetPixelFormat(format);
  return image;
}

struct EncodeCase {
  int width, height, quality;
  TPixelFormat format;
  double max_mean;
};

class JpegEncode : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(JpegEncode, DjpegReadsWhatWeWrite) {
  const EncodeCase &c = GetParam();
  TBitmap image = Pattern(c.width, c.height, c.format);
  testing::TempDir dir;
  {
    TSafeFileStream out(dir / "out.jpg");
    WriteJpeg(image, out, c.quality);
    out.Commit();
  }
  std::vector<std::uint8_t> bytes = ReadWholeFile(dir / "out.jpg");
  ASSERT_GT(bytes.size(), 100u);
  // Baseline: an SOF0 frame, no progressive SOF2, JFIF marker right after SOI.
  bool sof0 = false, sof2 = false;
  for (std::size_t i = 0; i + 1 < bytes.size(); ++i) {
    if (bytes[i] != 0xFF) continue;
    sof0 |= bytes[i + 1] == 0xC0;
    sof2 |= bytes[i + 1] == 0xC2;
  }
  EXPECT_TRUE(sof0);
  EXPECT_FALSE(sof2);
  EXPECT_EQ(bytes[2], 0xFF);
  EXPECT_EQ(bytes[3], 0xE0);
  Difference d = Compare(image, Djpeg(dir / "out.jpg"));
  EXPECT_LT(d.mean, c.max_mean);
}

INSTANTIATE_TEST_SUITE_P(Images, JpegEncode,
                         ::testing::Values(EncodeCase{64, 48, 85, TPixelFormat::pf24bit, 3.0},
                                           EncodeCase{64, 48, 100, TPixelFormat::pf24bit, 1.5},
                                           EncodeCase{64, 48, 1, TPixelFormat::pf24bit, 40.0},
                                           EncodeCase{1, 1, 90, TPixelFormat::pf24bit, 3.0},
                                           EncodeCase{1, 37, 90, TPixelFormat::pf24bit, 6.0},
                                           EncodeCase{37, 1, 90, TPixelFormat::pf24bit, 6.0},
                                           EncodeCase{33, 17, 90, TPixelFormat::pf8bit, 12.0},
                                           EncodeCase{33, 17, 90, TPixelFormat::pf32bit, 6.0}),
                         [](const auto &test_info) {
                           const auto &c = test_info.param;
                           return testing::SizeName(c.width, c.height) + "_q" +
                                  std::to_string(c.quality) + "_" +
                                  testing::PixelFormatName(c.format);
                         });

// Our compression is libjpeg's defaults with baseline tables, so cjpeg -baseline writes the very
// same file from the same pixels.
class JpegSameAsCjpeg : public ::testing::TestWithParam<int> {};

TEST_P(JpegSameAsCjpeg, ByteForByte) {
  const std::string ppm_path = Sample("libjpeg-turbo/testorig.ppm");
  Ppm ppm = ParsePpm(ReadWholeFile(ppm_path));
  TBitmap image;
  image.Allocate(ppm.width, ppm.height, TPixelFormat::pf24bit);
  for (int y = 0; y < ppm.height; ++y) {
    std::uint8_t *row = image.ScanLine(y);
    const std::uint8_t *rgb = ppm.rgb.data() + static_cast<std::size_t>(y) * ppm.width * 3;
    for (int x = 0; x < ppm.width; ++x) {
      row[3 * x] = rgb[3 * x + 2];
      row[3 * x + 1] = rgb[3 * x + 1];
      row[3 * x + 2] = rgb[3 * x];
    }
  }
  TMemoryStream ours;
  WriteJpeg(image, ours, GetParam());
  testing::TempDir dir;
  testing::ProgramResult result = testing::RunProgram(
      "/usr/bin/cjpeg",
      {"-baseline", "-quality", std::to_string(GetParam()), "-outfile", dir / "c.jpg", ppm_path});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(ours.Bytes(), ReadWholeFile(dir / "c.jpg"));
}

INSTANTIATE_TEST_SUITE_P(Qualities, JpegSameAsCjpeg, ::testing::Values(1, 50, 75, 100),
                         [](const auto &test_info) {
                           const auto &c = test_info.param;
                           return "q" + std::to_string(c);
                         });

TEST(JpegImage, GreyscaleAndProgressiveCompression) {
  TJPEGImage jpeg;
  jpeg.Assign(Pattern(40, 30));
  jpeg.SetGrayscaleOutput(true);
  jpeg.SetProgressiveEncoding(true);
  jpeg.Compress();
  EXPECT_TRUE(jpeg.Grayscale());
  EXPECT_EQ(jpeg.JPEGData()->Components(), 1);
  TJPEGImage back;
  TReadOnlyMemoryStream in(jpeg.CompressedData());
  back.LoadFromStream(in);
  EXPECT_TRUE(back.Grayscale());
  EXPECT_TRUE(back.ProgressiveEncoding());
  EXPECT_EQ(back.Width(), 40);
  EXPECT_EQ(back.Height(), 30);
}

TEST(JpegImage, LoadAndSaveUnchangedWritesTheSameBytes) {
  for (const char *name : {"libjpeg-turbo/testimgp.jpg", "pillow/truncated_jpeg.jpg"}) {
    std::vector<std::uint8_t> original = ReadWholeFile(Sample(name));
    TJPEGImage jpeg;
    jpeg.LoadFromFile(Sample(name));
    (void)jpeg.Bitmap();  // decoding does not touch the bytes either
    TMemoryStream out;
    jpeg.SaveToStream(out);
    EXPECT_EQ(out.Bytes(), original) << name;
  }
}

TEST(JpegImage, AssigningAnImageDropsTheBytesAndANewQualityCounts) {
  TJPEGImage jpeg;
  jpeg.LoadFromFile(Sample("pillow/hopper.jpg"));
  TBitmap image = jpeg.Bitmap();
  jpeg.Assign(image);
  EXPECT_TRUE(jpeg.CompressedData().empty());
  jpeg.SetCompressionQuality(10);
  TMemoryStream low;
  jpeg.SaveToStream(low);
  jpeg.Assign(image);
  jpeg.SetCompressionQuality(100);
  TMemoryStream high;
  jpeg.SaveToStream(high);
  EXPECT_LT(low.Bytes().size() * 2, high.Bytes().size());
}

TEST(JpegImage, SharedDataIsNeverChangedUnderAnotherImage) {
  TJPEGImage a;
  a.LoadFromFile(Sample("pillow/hopper.jpg"));
  TJPEGImage b;
  b.Assign(a);
  EXPECT_EQ(a.JPEGData(), b.JPEGData());
  EXPECT_EQ(b.Width(), 128);
  std::vector<std::uint8_t> original = a.CompressedData();
  b.SetCompressionQuality(5);
  b.Compress();  // bytes held, no image: decoded and compressed again at the new quality
  EXPECT_NE(a.JPEGData(), b.JPEGData());
  EXPECT_EQ(a.CompressedData(), original);
  EXPECT_NE(b.CompressedData(), original);
  EXPECT_FALSE(b.CompressedData().empty());
}

TEST(JpegImage, EmptyImageWritesNothing) {
  TJPEGImage jpeg;
  EXPECT_TRUE(jpeg.Empty());
  TMemoryStream out;
  jpeg.SaveToStream(out);
  EXPECT_EQ(out.Size(), 0);
  jpeg.Assign(TBitmap());
  EXPECT_TRUE(jpeg.Empty());
  jpeg.SaveToStream(out);
  EXPECT_EQ(out.Size(), 0);
}

TEST(JpegImage, AbortFromTheFinalProgressReportIsSwallowed) {
  // A picture big enough that decoding takes several progress calls.
  TJPEGImage source;
  source.Assign(Pattern(2400, 1800));
  source.SetCompressionQuality(95);
  source.Compress();
  TJPEGImage jpeg;
  TReadOnlyMemoryStream in(source.CompressedData());
  jpeg.LoadFromStream(in);
  int calls = 0;
  jpeg.OnProgress = [&](int percent) {
    ++calls;
    EXPECT_GE(percent, 0);
    EXPECT_LE(percent, 100);
    Abort();
  };
  TBitmap image;
  EXPECT_NO_THROW(jpeg.AssignTo(image));  // swallowed, even if it only came with the final 100
  EXPECT_GE(calls, 1);
  EXPECT_EQ(image.Width(), 2400);
}

TEST(JpegImageIo, WriteThenReadThroughTheJob) {
  testing::TempDir dir;
  TBitmap image = Pattern(50, 20);
  {
    TSafeFileStream out(dir / "a.jpg");
    WriteJpeg(image, out, 90);
    out.Commit();
  }
  TBitmap back;
  ReadJpegFile(dir / "a.jpg", back);
  ASSERT_EQ(back.Width(), 50);
  ASSERT_EQ(back.Height(), 20);
  EXPECT_EQ(back.PixelFormat(), TPixelFormat::pf24bit);
}

// ---- decoding in bands ----

// The rows DecodeInBands hands over, top down, without padding.
std::vector<std::uint8_t> BandRows(TJPEGImage &jpeg, int band_rows, bool *delivered = nullptr) {
  std::vector<std::uint8_t> bytes;
  const std::size_t row_bytes = static_cast<std::size_t>(jpeg.Width()) * 3;
  bool ok =
      jpeg.DecodeInBands(band_rows, [&](const std::uint8_t *rows, std::ptrdiff_t step, int count) {
        EXPECT_GE(count, 1);
        EXPECT_LE(count, band_rows);
        EXPECT_GT(step, 0);
        for (int k = 0; k < count; ++k)
          bytes.insert(bytes.end(), rows + k * step, rows + k * step + row_bytes);
      });
  if (delivered) *delivered = ok;
  return bytes;
}

TEST(JpegBands, RowsAreThoseOfTheDecodedPicture) {
  for (const char *name :
       {"libjpeg-turbo/testorig.jpg", "libjpeg-turbo/testimgp.jpg", "libjpeg-turbo/testimgari.jpg",
        "pillow/hopper.jpg", "derived/testorig-trunc-50pct.jpg"}) {
    for (TJPEGScale scale : {TJPEGScale::jsFullSize, TJPEGScale::jsHalf}) {
      for (int band : {1, 7, 32}) {
        TJPEGImage whole;
        whole.LoadFromFile(Sample(name));
        whole.SetScale(scale);
        TBitmap expected;
        whole.AssignTo(expected);
        ASSERT_EQ(expected.PixelFormat(), TPixelFormat::pf24bit);
        TJPEGImage banded;
        banded.LoadFromFile(Sample(name));
        banded.SetScale(scale);
        bool delivered = false;
        std::vector<std::uint8_t> rows = BandRows(banded, band, &delivered);
        ASSERT_TRUE(delivered) << name;
        EXPECT_FALSE(banded.HasBitmap());
        EXPECT_EQ(rows, testing::PixelBytes(expected)) << name << ", bands of " << band;
        EXPECT_EQ(banded.DecodeWarnings(), whole.DecodeWarnings()) << name;
        EXPECT_EQ(banded.FirstDecodeWarning(), whole.FirstDecodeWarning()) << name;
      }
    }
  }
}

TEST(JpegBands, OneRowAndOddWidthPictures) {
  for (auto [width, height] : {std::pair{37, 1}, {1, 1}, {1, 19}, {333, 17}}) {
    TJPEGImage source;
    source.Assign(testing::Random24(width, height, static_cast<unsigned>(width + height)));
    source.Compress();
    TJPEGImage whole, banded;
    TReadOnlyMemoryStream a(source.CompressedData()), b(source.CompressedData());
    whole.LoadFromStream(a);
    banded.LoadFromStream(b);
    TBitmap expected;
    whole.AssignTo(expected);
    EXPECT_EQ(BandRows(banded, 8), testing::PixelBytes(expected)) << width << "x" << height;
  }
}

TEST(JpegBands, LeftToTheWholeDecodeWhenTheRowsWouldNotBeColour) {
  auto refuses = [](TJPEGImage &jpeg) {
    bool called = false;
    bool delivered =
        jpeg.DecodeInBands(8, [&](const std::uint8_t *, std::ptrdiff_t, int) { called = true; });
    return !delivered && !called;
  };
  TJPEGImage grey;
  grey.LoadFromFile(Sample("libjpeg-turbo/testimggray.jpg"));
  EXPECT_TRUE(refuses(grey));  // greyscale files decode to a 236-grey palette
  TJPEGImage cmyk;
  cmyk.LoadFromFile(Sample("pillow/pil_sample_cmyk.jpg"));
  EXPECT_TRUE(refuses(cmyk));
  TJPEGImage eight;
  eight.LoadFromFile(Sample("libjpeg-turbo/testorig.jpg"));
  eight.SetPixelFormat(TJPEGPixelFormat::jf8Bit);
  EXPECT_TRUE(refuses(eight));
  TJPEGImage grey_output;
  grey_output.LoadFromFile(Sample("libjpeg-turbo/testorig.jpg"));
  grey_output.SetGrayscaleOutput(true);
  EXPECT_TRUE(refuses(grey_output));
  TJPEGImage decoded;
  decoded.LoadFromFile(Sample("libjpeg-turbo/testorig.jpg"));
  decoded.Bitmap();
  EXPECT_TRUE(refuses(decoded));
  TJPEGImage empty;
  EXPECT_TRUE(refuses(empty));
}

TEST(JpegBands, FailuresOfTheSinkAndOfTheFileReachTheCaller) {
  TJPEGImage jpeg;
  jpeg.LoadFromFile(Sample("libjpeg-turbo/testorig.jpg"));
  int calls = 0;
  EXPECT_THROW(jpeg.DecodeInBands(8,
                                  [&](const std::uint8_t *, std::ptrdiff_t, int) {
                                    if (++calls == 2) throw EAbort();
                                  }),
               EAbort);
  EXPECT_EQ(calls, 2);
  TBitmap image;
  jpeg.AssignTo(image);  // the image still decodes afterwards
  EXPECT_EQ(image.Width(), 227);
}

// Damaged copies give, in bands, the rows or the library error of the whole decode.
TEST(JpegBands, DamagedFilesGiveTheRowsOrTheErrorOfTheWholeDecode) {
  std::mt19937 random(11);
  const std::vector<std::uint8_t> original = ReadWholeFile(Sample("libjpeg-turbo/testorig.jpg"));
  constexpr int kNotInBands = -3;
  int failures = 0, compared = 0;
  for (int round = 0; round < 60; ++round) {
    std::vector<std::uint8_t> bytes = original;
    int flips = 1 + static_cast<int>(random() % 8);
    for (int i = 0; i < flips; ++i)
      bytes[random() % bytes.size()] = static_cast<std::uint8_t>(random());
    if (round % 5 == 0) bytes.resize(random() % bytes.size());
    auto outcome = [&](bool bands) -> std::pair<int, std::vector<std::uint8_t>> {
      TJPEGImage jpeg;
      try {
        TReadOnlyMemoryStream in(bytes);
        jpeg.LoadFromStream(in);
        if (bands) {
          bool delivered = false;
          std::vector<std::uint8_t> rows = BandRows(jpeg, 16, &delivered);
          if (!delivered) return {kNotInBands, {}};
          return {0, rows};
        }
        TBitmap image;
        jpeg.AssignTo(image);
        return {0, testing::PixelBytes(image)};
      } catch (const EJPEG &e) {
        return {e.MessageCode(), {}};
      } catch (const EOutOfMemory &) {
        return {-2, {}};
      }
    };
    auto banded = outcome(true);
    if (banded.first == kNotInBands) continue;  // the damage made it grey or CMYK
    auto whole = outcome(false);
    EXPECT_EQ(banded.first, whole.first) << "round " << round;
    EXPECT_TRUE(banded.second == whole.second) << "round " << round;
    ++compared;
    if (whole.first != 0) ++failures;
  }
  EXPECT_GT(compared, 40);
  EXPECT_GT(failures, 0);  // the damage did reach the library's checks
}

}  // namespace
}  // namespace qv
