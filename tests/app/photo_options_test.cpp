// The conversion job's photo options on real files: fit inside the target size, custom sizes.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/conversion_job.h"
#include "app/fakes.h"
#include "codecs/bmp/bmp_reader.h"
#include "codecs/bmp/bmp_writer.h"
#include "imaging/bitmap.h"
#include "runtime/stream.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

using testing::FakeHost;
using testing::TempDir;

using PhotoSettings = testing::FakeSettings;

TBitmap Grey(int width, int height) {
  TBitmap image;
  image.Allocate(width, height, TPixelFormat::pf24bit);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width * 3; ++x) image.ScanLine(y)[x] = static_cast<std::uint8_t>(x + y);
  return image;
}

void SaveBmp(const TBitmap& image, const std::string& path) {
  TSafeFileStream out(path);
  WriteBitmap(image, out);
  out.Commit();
}

TBitmap LoadBmp(const std::string& path) {
  TBitmap image;
  TFileStream in(path);
  ReadBitmap(image, in);
  return image;
}

class PhotoSizeTest : public ::testing::Test {
 protected:
  // Converts a width x height BMP to BMP in out/ and returns the written size.
  std::pair<int, int> Convert(int width, int height) {
    SaveBmp(Grey(width, height), dir / "in.bmp");
    std::filesystem::remove(dir / "out/in.bmp");
    job.ConvertFile(dir / "in.bmp");
    TBitmap out = LoadBmp(dir / "out/in.bmp");
    return {out.Width(), out.Height()};
  }

  void SetUp() override {
    settings.output_mode = 1;
    settings.dst_dir = dir / "out";
    settings.resample_mode = 2;  // Mitchell
  }

  TempDir dir;
  PhotoSettings settings;
  FakeHost host;
  TConversionJob job{settings, host};
};

using Size = std::pair<int, int>;

TEST_F(PhotoSizeTest, FitKeepsTheShapeAndNeverEnlarges) {
  settings.target_res = 3;  // 640 x 480
  settings.keep_aspect = true;
  EXPECT_EQ(Convert(1000, 1000), Size(480, 480));
  EXPECT_EQ(Convert(900, 1200), Size(360, 480));  // portrait
  EXPECT_EQ(Convert(1280, 720), Size(640, 360));  // landscape
  EXPECT_EQ(Convert(320, 200), Size(320, 200));   // inside the box: not enlarged
  EXPECT_EQ(Convert(2000, 1), Size(640, 1));
  // The display size is a box too (320 x 200 from the fake host).
  settings.target_res = 1;
  EXPECT_EQ(Convert(400, 400), Size(200, 200));
  // Without a target size nothing is resized, fit or not.
  settings.target_res = 0;
  EXPECT_EQ(Convert(1000, 1000), Size(1000, 1000));
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(PhotoSizeTest, AnImageInsideTheBoxKeepsItsPixelsExactly) {
  settings.target_res = 9;  // 1600 x 1200
  settings.keep_aspect = true;
  TBitmap source = Grey(37, 11);
  SaveBmp(source, dir / "in.bmp");
  job.ConvertFile(dir / "in.bmp");
  TBitmap out = LoadBmp(dir / "out/in.bmp");
  ASSERT_EQ(out.Width(), 37);
  for (int y = 0; y < 11; ++y)
    EXPECT_TRUE(std::equal(source.ScanLine(y), source.ScanLine(y) + 37 * 3, out.ScanLine(y)));
}

TEST_F(PhotoSizeTest, CustomSizeReplacesTheListedOneAndStretchesWithoutFit) {
  settings.target_res = 3;
  settings.custom_size = true;
  settings.custom_width = 33;
  settings.custom_height = 1;
  EXPECT_EQ(Convert(10, 10), Size(33, 1));  // enlarged and stretched, as a listed size is
  settings.target_res = 0;                  // a custom size needs no listed one
  settings.custom_width = 1;
  EXPECT_EQ(Convert(10, 10), Size(1, 1));
  settings.keep_aspect = true;
  settings.custom_width = 50;
  settings.custom_height = 20;
  EXPECT_EQ(Convert(100, 100), Size(20, 20));
  EXPECT_EQ(Convert(10, 10), Size(10, 10));
  // Values outside the field's range are clamped to 1..65535.
  settings.keep_aspect = false;
  settings.custom_width = 0;
  settings.custom_height = -7;
  EXPECT_EQ(Convert(10, 10), Size(1, 1));
  // Switched off, the custom size is ignored.
  settings.custom_size = false;
  settings.target_res = 2;
  EXPECT_EQ(Convert(10, 10), Size(96, 96));
}

}  // namespace
}  // namespace qv
