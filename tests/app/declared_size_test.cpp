// Tests of the size a picture file's header declares, read without decoding: it must be the size
// the reader then decodes, for every header the readers take.
#include "app/declared_size.h"

#include <gtest/gtest.h>

#include <fstream>

#include "app/image_io.h"
#include "codecs/jpeg/jpeg_image.h"
#include "codecs/png/png_object.h"
#include "imaging/bitmap.h"
#include "runtime/stream.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

using testing::TempDir;

TBitmap Picture(int width, int height) {
  TBitmap image;
  image.Allocate(width, height, TPixelFormat::pf24bit);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width * 3; ++x) image.ScanLine(y)[x] = static_cast<std::uint8_t>(x ^ y);
  return image;
}

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Write(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

TEST(DeclaredSize, IsTheSizeTheReaderDecodes) {
  TempDir dir;
  const TBitmap picture = Picture(37, 21);
  {
    TSafeFileStream out(dir / "a.bmp");
    WriteBmp(picture, out);
    out.Commit();
  }
  {
    TSafeFileStream out(dir / "a.png");
    WritePng(picture, out, 6);
    out.Commit();
  }
  TJPEGImage jpeg;
  jpeg.Assign(picture);
  jpeg.SaveToFile(dir / "a.jpg");
  // A JPEG whose frame header comes after segments longer than any first read: a 60 KiB
  // application segment twice.
  std::string plain = Bytes(dir / "a.jpg");
  std::string segment = std::string("\xFF\xE3\xF0\x00", 4) + std::string(0xF000 - 2, 'x');
  Write(dir / "long.jpg", plain.substr(0, 2) + segment + segment + plain.substr(2));
  // A top-down BMP (negative height) and an OS/2 one (a 12-byte core header).
  std::string bmp = Bytes(dir / "a.bmp");
  std::string top_down = bmp;
  top_down[22] = static_cast<char>(-21), top_down[23] = top_down[24] = top_down[25] = '\xFF';
  Write(dir / "top.bmp", top_down);
  std::string core = bmp.substr(0, 14) + std::string("\x0C\0\0\0\x25\0\x15\0\x01\0\x18\0", 12);
  core[10] = 26, core[11] = core[12] = core[13] = '\0';  // the pixels follow the shorter header
  Write(dir / "core.bmp", core + bmp.substr(54));

  for (const auto& [name, reader] :
       std::vector<std::pair<std::string, TReader>>{{"a.bmp", TReader::kBmp},
                                                    {"top.bmp", TReader::kBmp},
                                                    {"core.bmp", TReader::kBmp},
                                                    {"a.png", TReader::kPng},
                                                    {"a.jpg", TReader::kJpeg},
                                                    {"long.jpg", TReader::kJpeg}}) {
    EXPECT_EQ(DeclaredSize(dir / name, reader), std::make_pair(37, 21)) << name;
    TBitmap decoded;
    if (reader == TReader::kJpeg)
      ReadJpegFile(dir / name, decoded);
    else if (reader == TReader::kPng)
      ReadPngFile(dir / name, decoded);
    else
      ReadBmpFile(dir / name, decoded);
    EXPECT_EQ(std::make_pair(decoded.Width(), std::abs(decoded.Height())), std::make_pair(37, 21))
        << name;
  }

  // Nothing for another format, a cut header, a file that is not there, and the plug-ins.
  EXPECT_EQ(DeclaredSize(dir / "a.png", TReader::kBmp), std::nullopt);
  EXPECT_EQ(DeclaredSize(dir / "a.bmp", TReader::kJpeg), std::nullopt);
  Write(dir / "cut.jpg", plain.substr(0, plain.find("\xFF\xC0") + 5));
  EXPECT_EQ(DeclaredSize(dir / "cut.jpg", TReader::kJpeg), std::nullopt);
  Write(dir / "cut.png", Bytes(dir / "a.png").substr(0, 20));
  EXPECT_EQ(DeclaredSize(dir / "cut.png", TReader::kPng), std::nullopt);
  EXPECT_EQ(DeclaredSize(dir / "missing.bmp", TReader::kBmp), std::nullopt);
  EXPECT_EQ(DeclaredSize(dir / "a.bmp", TReader::kPlugins), std::nullopt);
}

}  // namespace
}  // namespace qv
