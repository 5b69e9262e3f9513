// End to end: quenvale-cli reads files no built-in reader takes through the shipped plug-ins.
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <png.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "codecs/bmp/bmp_reader.h"
#include "imaging/bitmap.h"
#include "runtime/paths.h"
#include "runtime/stream.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

using testing::ProgramResult;
using testing::RunProgram;
using testing::TempDir;
using Pixels = std::vector<std::uint32_t>;  // 0xRRGGBB, top row first

void WriteFile(const std::string &path, const std::string &bytes) {
  std::ofstream(path, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

int WriteToString(GifFileType *gif, const GifByteType *data, int length) {
  static_cast<std::string *>(gif->UserData)
      ->append(reinterpret_cast<const char *>(data), static_cast<std::size_t>(length));
  return length;
}

// A 3 x 2 GIF with a four-colour table.
std::string MakeGif() {
  std::string out;
  int error = 0;
  GifFileType *gif = EGifOpen(&out, WriteToString, &error);
  GifColorType colors[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};
  ColorMapObject *map = GifMakeMapObject(4, colors);
  EGifPutScreenDesc(gif, 3, 2, 8, 0, map);
  EGifPutImageDesc(gif, 0, 0, 3, 2, false, nullptr);
  GifPixelType rows[2][3] = {{0, 1, 2}, {3, 2, 1}};
  for (auto &row : rows) EGifPutLine(gif, row, 3);
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);
  return out;
}

// The pixels of a BMP written by the program.
Pixels ReadBmpPixels(const std::string &path, int &width, int &height) {
  TFileStream stream(path);
  TBitmap image;
  ReadBitmap(image, stream);
  image.SetPixelFormat(TPixelFormat::pf24bit);
  width = image.Width();
  height = image.Height();
  Pixels pixels;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const std::uint8_t *p = image.ScanLine(y) + 3 * x;
      pixels.push_back(static_cast<std::uint32_t>(p[2]) << 16 | p[1] << 8 | p[0]);
    }
  return pixels;
}

// The pixels of a PNG written by the program, read back with libpng.
Pixels ReadPngPixels(const std::string &path, int &width, int &height) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  EXPECT_TRUE(png_image_begin_read_from_file(&png, path.c_str())) << path;
  png.format = PNG_FORMAT_RGB;
  std::vector<png_byte> rgb(PNG_IMAGE_SIZE(png));
  EXPECT_TRUE(png_image_finish_read(&png, nullptr, rgb.data(), 0, nullptr)) << png.message;
  width = static_cast<int>(png.width);
  height = static_cast<int>(png.height);
  png_image_free(&png);
  Pixels pixels;
  for (std::size_t i = 0; i + 2 < rgb.size(); i += 3)
    pixels.push_back(static_cast<std::uint32_t>(rgb[i]) << 16 | rgb[i + 1] << 8 | rgb[i + 2]);
  return pixels;
}

Pixels ReadOutput(const std::string &format, const std::string &path, int &width, int &height) {
  return format == "png" ? ReadPngPixels(path, width, height) : ReadBmpPixels(path, width, height);
}

class SpiCliRun : public ::testing::Test {
 protected:
  ProgramResult Convert(const std::string &format, const std::string &file) {
    return RunProgram(QV_CLI_PATH, {"--ini", dir / "test.ini", "--format", format, file},
                      {"DISPLAY="});
  }
  TempDir dir;
};

// Each test once per output format.
class SpiCli : public SpiCliRun, public ::testing::WithParamInterface<std::string> {};

TEST_P(SpiCli, AGifIsConvertedBesideIt) {
  const std::string format = GetParam();
  WriteFile(dir / "colours.gif", MakeGif());
  ProgramResult result = Convert(format, dir / "colours.gif");
  ASSERT_EQ(result.status, 0) << result.err;
  int width = 0, height = 0;
  EXPECT_EQ(ReadOutput(format, dir / ("colours." + format), width, height),
            (Pixels{0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x0000FF, 0x00FF00}));
  EXPECT_EQ(width, 3);
  EXPECT_EQ(height, 2);
}

TEST_P(SpiCli, AnExtensionlessNetpbmFileIsReadByItsPlugin) {
  const std::string format = GetParam();
  WriteFile(dir / "scan", std::string("P6\n2 1\n255\n") + "\x10\x20\x30\xF0\xE0\xD0");
  ProgramResult result = Convert(format, dir / "scan");
  ASSERT_EQ(result.status, 0) << result.err;
  int width = 0, height = 0;
  EXPECT_EQ(ReadOutput(format, dir / ("scan." + format), width, height),
            (Pixels{0x102030, 0xF0E0D0}));
}

INSTANTIATE_TEST_SUITE_P(Formats, SpiCli, ::testing::Values("png", "bmp"),
                         [](const auto &test_info) {
                           const auto &c = test_info.param;
                           return std::string(c);
                         });

TEST_F(SpiCliRun, AFileNoPluginAcceptsIsPassedOverSilently) {
  WriteFile(dir / "notes.txt", "just some text\n");
  ProgramResult result = Convert("bmp", dir / "notes.txt");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_FALSE(FileExists(dir / "notes.bmp"));
}

TEST_F(SpiCliRun, ABrokenFileOfAPluginFormatWritesNothing) {
  WriteFile(dir / "broken.gif", MakeGif().substr(0, 30));
  ProgramResult result = Convert("bmp", dir / "broken.gif");
  EXPECT_FALSE(FileExists(dir / "broken.bmp"));
  EXPECT_EQ(result.err.find("Exception"), std::string::npos) << result.err;
}

}  // namespace
}  // namespace qv
