// End to end: what one input may cost quenvale-cli. Plug-in pictures keep their own depth and
// stay within about 2.2 times the picture at 24 bits plus 64 MiB; a JPEG of absurdly many scans
// is refused; running out of memory gives the program's own message; files converted at once
// wait for a memory budget.
#include <gtest/gtest.h>
#include <tiffio.h>
#include <webp/encode.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <jpeglib.h>

#include "support/child_process.h"
#include "support/file_bytes.h"
#include "support/many_scan_jpeg.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using testing::ProgramResult;
using testing::ReadFile;
using testing::RunProgram;
using testing::TempDir;
using testing::WriteFile;

constexpr char kOutOfMemory[] = "メモリが足りません";
constexpr char kTooManyScans[] = "more than 100 scans";

// The memory a conversion of a width x height picture may take at its peak.
long BoundKib(std::uint64_t width, std::uint64_t height) {
  return static_cast<long>((width * height * 3 * 22 / 10 + (std::uint64_t{64} << 20)) / 1024);
}

// A bits field of a BMP the program wrote (bits per pixel at offset 28).
int BmpBits(const std::string& path) {
  std::string bytes = ReadFile(path);
  if (bytes.size() < 30) return -1;
  return static_cast<unsigned char>(bytes[28]) | static_cast<unsigned char>(bytes[29]) << 8;
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// The peak of a conversion of a width x height picture. The address sanitizer's own memory
// (shadow, freed blocks held back) is no measure of the program's: under it the peak is not
// checked.
void ExpectWithinBound(const ProgramResult& run, std::uint64_t width, std::uint64_t height) {
  if (kSanitized) return;
  EXPECT_LT(run.max_rss_kib, BoundKib(width, height))
      << "peak " << run.max_rss_kib / 1024 << " MiB for " << width << " x " << height;
}

// The program under test; QV_COMPARE_CLI names another build of it (to see the same cases
// against an older program).
std::string CliPath() {
  const char* other = std::getenv("QV_COMPARE_CLI");
  return other != nullptr && *other != '\0' ? other : QV_CLI_PATH;
}

class BoundedCost : public ::testing::Test {
 protected:
  ProgramResult Convert(const std::vector<std::string>& inputs) {
    std::vector<std::string> args = {"--ini", dir / "test.ini", "--out",  dir / "out", "--format",
                                     "bmp",   "--overwrite",    "--quiet"};
    args.insert(args.end(), inputs.begin(), inputs.end());
    return RunProgram(CliPath(), args, {"DISPLAY="});
  }
  TempDir dir;
};

// A netpbm bitmap stays 1 bit and a greymap 8 bits: the plug-in's picture is taken at its own
// depth, not widened to four bytes a pixel.
TEST_F(BoundedCost, PluginPicturesKeepTheirOwnDepth) {
  WriteFile(dir / "bits.pbm", std::string("P4\n10 2\n\xA5\xC0\x5A\x40", 12));
  WriteFile(dir / "grey.pgm", std::string("P5 2 1 255\n\x10\xF0", 13));
  ProgramResult run = Convert({dir / "bits.pbm", dir / "grey.pgm"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(BmpBits(dir / "out/bits.bmp"), 1);
  EXPECT_EQ(BmpBits(dir / "out/grey.bmp"), 8);
}

// 35 bytes of GIF declaring a 65535 x 4096 canvas: the 8-bit canvas is converted within the
// bound (it once took 2.6 GB as a 32-bit picture).
TEST_F(BoundedCost, AHugeGifCanvasStaysWithinTheBound) {
  std::string gif(
      "GIF89a\xFF\xFF\x00\x10\x80\x00\x00"        // screen 65535 x 4096, 2 colours
      "\x00\x00\x00\xFF\xFF\xFF"                  // black, white
      "\x2C\x00\x00\x00\x00\x01\x00\x01\x00\x00"  // a 1 x 1 frame at 0, 0
      "\x02\x02\x44\x01\x00\x3B",                 // its pixel, then the trailer
      35);
  WriteFile(dir / "canvas.gif", gif);
  ProgramResult run = Convert({dir / "canvas.gif"});
  ASSERT_EQ(run.status, 0) << run.err;
  ExpectWithinBound(run, 65535, 4096);
  EXPECT_EQ(BmpBits(dir / "out/canvas.bmp"), 8);
  EXPECT_GT(fs::file_size(dir / "out/canvas.bmp"), 65536u * 4096);
}

// A TIFF and a WebP of 8192 x 4096 read through libtiff's and libwebp's four-byte pixels stay
// within the bound: the plug-ins pack them to three bytes in place, never holding two pictures.
TEST_F(BoundedCost, TiffAndWebPPicturesStayWithinTheBound) {
  constexpr std::uint32_t kWidth = 8192, kHeight = 4096;
  {
    TIFF* tiff = TIFFOpen((dir / "big.tif").c_str(), "w");
    ASSERT_NE(tiff, nullptr);
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, kWidth);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, kHeight);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 64u);
    std::vector<std::uint8_t> row(std::size_t{kWidth} * 3, 0x80);
    for (std::uint32_t y = 0; y < kHeight; ++y)
      ASSERT_EQ(TIFFWriteScanline(tiff, row.data(), y, 0), 1);
    TIFFClose(tiff);
  }
  {
    std::vector<std::uint8_t> rgb(std::size_t{kWidth} * kHeight * 3, 0x40);
    std::uint8_t* out = nullptr;
    std::size_t size = WebPEncodeRGB(rgb.data(), kWidth, kHeight, kWidth * 3, 10, &out);
    ASSERT_GT(size, 0u);
    WriteFile(dir / "big.webp", std::string(reinterpret_cast<char*>(out), size));
    WebPFree(out);
  }
  for (const char* name : {"big.tif", "big.webp"}) {
    SCOPED_TRACE(name);
    ProgramResult run = Convert({dir / name});
    ASSERT_EQ(run.status, 0) << run.err;
    ExpectWithinBound(run, kWidth, kHeight);
    EXPECT_EQ(BmpBits(dir / "out/" + fs::path(name).stem().string() + ".bmp"), 24);
  }
}

// A flat PNG of width x height (8-bit RGB), its identical rows deflated as they are made.
std::string FlatPng(std::uint32_t width, std::uint32_t height) {
  auto chunk = [](std::string& out, const char* type, const std::string& data) {
    auto put32 = [&out](std::uint32_t v) {
      for (int shift : {24, 16, 8, 0}) out += static_cast<char>(v >> shift);
    };
    put32(static_cast<std::uint32_t>(data.size()));
    std::string body = std::string(type, 4) + data;
    out += body;
    put32(static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
  };
  std::string header;
  for (std::uint32_t v : {width, height})
    for (int shift : {24, 16, 8, 0}) header += static_cast<char>(v >> shift);
  header += std::string("\x08\x02\x00\x00\x00", 5);
  std::string row(1, '\0');  // filter none, then one colour that is no grey
  for (std::uint32_t x = 0; x < width; ++x) row += "\x30\x60\x90";
  z_stream stream{};
  deflateInit(&stream, 6);
  std::string compressed;
  std::vector<unsigned char> buffer(1 << 16);
  for (std::uint32_t y = 0; y <= height; ++y) {
    const bool last = y == height;
    stream.next_in = reinterpret_cast<Bytef*>(last ? nullptr : row.data());
    stream.avail_in = last ? 0 : static_cast<uInt>(row.size());
    do {
      stream.next_out = buffer.data();
      stream.avail_out = static_cast<uInt>(buffer.size());
      deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
      compressed.append(reinterpret_cast<char*>(buffer.data()), buffer.size() - stream.avail_out);
    } while (stream.avail_out == 0);
  }
  deflateEnd(&stream);
  std::string png = "\x89PNG\r\n\x1a\n";
  chunk(png, "IHDR", header);
  chunk(png, "IDAT", compressed);
  chunk(png, "IEND", "");
  return png;
}

bool HaveTool(const char* name) {
  return RunProgram("/bin/sh", {"-c", std::string("command -v ") + name}).status == 0;
}

// HEIC, AVIF and JPEG XL pictures of 8192 x 4096, made by the formats' own encoders, stay within
// the bound: each plug-in holds the decoder's planes and one 24-bit picture at most.
TEST_F(BoundedCost, PhotoFormatsStayWithinTheBound) {
  constexpr std::uint32_t kWidth = 8192, kHeight = 4096;
  WriteFile(dir / "flat.png", FlatPng(kWidth, kHeight));
  const std::vector<std::pair<std::string, std::vector<std::string>>> encoders = {
      {"big.heic",
       {"heif-enc", "-q", "50", "-p", "preset=ultrafast", dir / "flat.png", "-o",
        dir / "big.heic"}},
      {"big.avif", {"avifenc", "-s", "10", dir / "flat.png", dir / "big.avif"}},
      {"big.jxl", {"cjxl", dir / "flat.png", dir / "big.jxl", "-e", "1"}},
  };
  int converted = 0;
  for (const auto& [name, command] : encoders) {
    SCOPED_TRACE(name);
    if (!HaveTool(command[0].c_str())) continue;
    ProgramResult made = RunProgram("/usr/bin/env", command);
    ASSERT_EQ(made.status, 0) << made.err;
    ProgramResult run = Convert({dir / name});
    ASSERT_EQ(run.status, 0) << run.err;
    ExpectWithinBound(run, kWidth, kHeight);
    EXPECT_EQ(BmpBits(dir / "out/" + fs::path(name).stem().string() + ".bmp"), 24);
    ++converted;
  }
  if (converted == 0) GTEST_SKIP() << "none of heif-enc, avifenc and cjxl is installed";
}

// 639 bytes of HEIC (found by fuzz_heif) whose 14 x 10 grid has an overlay as its tile, the
// overlay's canvas claiming 8432 x 30939: libheif would allocate the canvas (774 MB); the plug-in
// lets no item of a picture be larger than the picture (or 4096) on a side, so it is refused at
// once, with libheif's reason.
TEST_F(BoundedCost, AHeicWhoseTileClaimsAHugeCanvasIsRefused) {
  ProgramResult run =
      Convert({std::string(QV_PLUGIN_DATA_DIR) + "/heif-overlay-canvas-claim.heic"});
  if (run.status == 0) GTEST_SKIP() << "no HEIF plug-in in this build: the file was passed over";
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_NE(run.err.find("HEIF: "), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("8432x30939"), std::string::npos) << run.err;
  ExpectWithinBound(run, 14, 10);
}

// A progressive JPEG may have up to 100 scans; one with more is refused with its own message,
// naming the file, and nothing is written.
TEST_F(BoundedCost, AJpegOfTooManyScansIsRefused) {
  WriteFile(dir / "hundred.jpg", [] {
    std::vector<std::uint8_t> bytes = testing::MakeManyScanJpeg(16, 16, 100);
    return std::string(bytes.begin(), bytes.end());
  }());
  ProgramResult fine = Convert({dir / "hundred.jpg"});
  EXPECT_EQ(fine.status, 0) << fine.err;
  EXPECT_TRUE(fs::exists(dir / "out/hundred.bmp"));

  for (int scans : {101, testing::kMostPossibleScans}) {
    SCOPED_TRACE(scans);
    std::string input = dir / ("scans" + std::to_string(scans) + ".jpg");
    std::vector<std::uint8_t> bytes = testing::MakeManyScanJpeg(16, 16, scans);
    WriteFile(input, std::string(bytes.begin(), bytes.end()));
    ProgramResult run = Convert({input});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind(input + ": ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(kTooManyScans), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(dir / ("out/scans" + std::to_string(scans) + ".bmp")));
  }
}

// A 3000 x 2000 JPEG of faint noise: a few megabytes to store, 18 MB of pixels to convert.
std::string NoisePhoto(unsigned seed) {
  jpeg_compress_struct compress{};
  jpeg_error_mgr errors{};
  compress.err = jpeg_std_error(&errors);
  jpeg_create_compress(&compress);
  unsigned char* bytes = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&compress, &bytes, &size);
  compress.image_width = 3000;
  compress.image_height = 2000;
  compress.input_components = 3;
  compress.in_color_space = JCS_RGB;
  jpeg_set_defaults(&compress);
  jpeg_start_compress(&compress, TRUE);
  std::vector<unsigned char> row(3000 * 3);
  std::mt19937 random(seed);
  while (compress.next_scanline < compress.image_height) {
    for (unsigned char& sample : row) sample = static_cast<unsigned char>(100 + random() % 24);
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&compress, rows, 1);
  }
  jpeg_finish_compress(&compress);
  std::string photo(reinterpret_cast<char*>(bytes), size);
  std::free(bytes);
  jpeg_destroy_compress(&compress);
  return photo;
}

// Eight photos converted eight at a time: with a memory budget that holds one of them, each
// waits for the one before, and the peak is a fraction of what it is when they all fit.
TEST_F(BoundedCost, AMemoryBudgetMakesFilesWait) {
  if (kSanitized) GTEST_SKIP() << "the sanitizer's own memory is no measure of the program's";
  std::vector<std::string> inputs;
  for (unsigned i = 0; i < 8; ++i) {
    inputs.push_back(dir / ("photo" + std::to_string(i) + ".jpg"));
    WriteFile(inputs.back(), NoisePhoto(i));
  }
  auto convert = [&](const std::string& budget) {
    std::vector<std::string> args = {"--ini", dir / "test.ini", "--out",   dir / "out", "--format",
                                     "jpeg",  "--overwrite",    "--quiet", "-j",        "8"};
    args.insert(args.end(), inputs.begin(), inputs.end());
    return RunProgram(CliPath(), args, {"DISPLAY=", "QV_MEMORY_BUDGET=" + budget});
  };
  // Each photo is reckoned at 2.2 times 18 MB: two do not fit 60 MiB, eight fit 1 GiB.
  ProgramResult all = convert("1G");
  ASSERT_EQ(all.status, 0) << all.err;
  ProgramResult one = convert("60M");
  ASSERT_EQ(one.status, 0) << one.err;
  EXPECT_LT(one.max_rss_kib * 2, all.max_rss_kib)
      << "one at a time " << one.max_rss_kib / 1024 << " MiB, all at once "
      << all.max_rss_kib / 1024 << " MiB";
}

}  // namespace
}  // namespace qv
