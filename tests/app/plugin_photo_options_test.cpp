// The photo options on pictures read through the plug-ins: an EXIF orientation turns the picture
// only where the file states no orientation of its own, and the EXIF block and ICC profile a
// plug-in hands over go into JPEG and PNG outputs.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/conversion_job.h"
#include "app/fakes.h"
#include "codecs/bmp/bmp_reader.h"
#include "codecs/jpeg/exif_block.h"
#include "codecs/jpeg/jpeg_image.h"
#include "codecs/jpeg/jpeg_metadata.h"
#include "codecs/png/png_object.h"
#include "imaging/bitmap.h"
#include "runtime/stream.h"
#include "support/file_bytes.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

using Bytes = std::vector<std::uint8_t>;

// An EXIF block (TIFF data) with an orientation and the pixel dimensions of a width x height
// picture.
Bytes Exif(int orientation, int width, int height) {
  return {'M',  'M',
          0,    42,
          0,    0,
          0,    8,
          0,    2,  // two entries
          0x01, 0x12,
          0,    3,
          0,    0,
          0,    1,
          0,    static_cast<std::uint8_t>(orientation),
          0,    0,
          0x87, 0x69,
          0,    4,
          0,    0,
          0,    1,
          0,    0,
          0,    38,  // EXIF directory
          0,    0,
          0,    0,  // no next
          0,    2,  // at 38
          0xA0, 0x02,
          0,    4,
          0,    0,
          0,    1,
          0,    0,
          0,    static_cast<std::uint8_t>(width),
          0xA0, 0x03,
          0,    4,
          0,    0,
          0,    1,
          0,    0,
          0,    static_cast<std::uint8_t>(height),
          0,    0,
          0,    0};
}

// A Display P3 profile (not sRGB: a profile kept with the pixels rather than converted away).
Bytes P3Profile() {
  cmsToneCurve* curve = cmsBuildGamma(nullptr, 2.2);
  cmsToneCurve* curves[3] = {curve, curve, curve};
  const cmsCIExyY white = {0.3127, 0.3290, 1};
  const cmsCIExyYTRIPLE primaries = {{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}};
  cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
  cmsFreeToneCurve(curve);
  cmsUInt32Number size = 0;
  cmsSaveProfileToMem(profile, nullptr, &size);
  Bytes bytes(size);
  cmsSaveProfileToMem(profile, bytes.data(), &size);
  cmsCloseProfile(profile);
  return bytes;
}

const Bytes kProfile = P3Profile();

// A host whose plug-ins read every file as a 4 x 2 picture of eight colours, with the metadata
// the test gives.
struct PluginHost : testing::FakeHost {
  TPluginMetadata metadata;
  int metadata_reads = 0;
  void ReadByPlugins(const std::string& file_name, TBitmap& image) override {
    FakeHost::ReadByPlugins(file_name, image);
    image.Allocate(4, 2, TPixelFormat::pf24bit);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 4; ++x) {
        std::uint8_t* p = image.ScanLine(y) + 3 * x;
        p[0] = static_cast<std::uint8_t>(10 * x), p[1] = static_cast<std::uint8_t>(100 * y),
        p[2] = 200;
      }
  }
  void ReadByPluginsWithMetadata(const std::string& file_name, TBitmap& image,
                                 TPluginMetadata& out) override {
    ++metadata_reads;
    ReadByPlugins(file_name, image);
    out = metadata;
  }
};

// The chunk types of a PNG file, in order.
std::string ChunkNames(const std::string& path) {
  TPNGObject png;
  png.LoadFromFile(path);
  std::string names;
  for (std::size_t i = 0; i < png.Chunks().Count(); ++i) names += png.Chunks().Item(i).Name() + " ";
  return names;
}

// Pixel (x, y) of a 24-bit picture as its blue and green bytes, which say where it came from.
std::pair<int, int> Origin(const TBitmap& image, int x, int y) {
  const std::uint8_t* p = image.ScanLine(y) + 3 * x;
  return {p[0] / 10, p[1] / 100};
}

class PluginPhotoOptions : public ::testing::Test {
 protected:
  void SetUp() override {
    settings.output_mode = 1;
    settings.dst_dir = dir / "out";
    settings.over_write = 1;
    testing::WriteFile(dir / "photo.heic", "not read: the host's plug-ins make the picture");
  }
  TBitmap ConvertToBmp() {
    settings.file_format = 0;
    job.ConvertFile(dir / "photo.heic");
    TBitmap out;
    TFileStream in(dir / "out/photo.bmp");
    ReadBitmap(out, in);
    return out;
  }
  testing::TempDir dir;
  testing::FakeSettings settings;
  PluginHost host;
  TConversionJob job{settings, host};
};

// Orientation 6 turns a quarter clockwise: the stored bottom-left pixel comes to the top-left.
TEST_F(PluginPhotoOptions, AnExifOrientationTurnsOnlyWhereTheFileStatesNone) {
  host.metadata.exif = Exif(6, 4, 2);
  settings.color_profile = 2;  // profiles ignored: nothing asks for metadata
  TBitmap plain = ConvertToBmp();
  EXPECT_EQ(plain.Width(), 4);
  EXPECT_EQ(host.metadata_reads, 0) << "no photo option asks for metadata";

  settings.auto_orient = true;
  TBitmap turned = ConvertToBmp();
  ASSERT_EQ(turned.Width(), 2);
  ASSERT_EQ(turned.Height(), 4);
  EXPECT_EQ(Origin(turned, 0, 0), std::make_pair(0, 1));
  EXPECT_EQ(Origin(turned, 1, 3), std::make_pair(3, 0));

  // The file's own orientation turned it already (HEIF's rotation, JPEG XL's field): EXIF's,
  // saying the same, must not turn it again.
  host.metadata.orientation = 6;
  TBitmap once = ConvertToBmp();
  EXPECT_EQ(once.Width(), 4);
  EXPECT_EQ(Origin(once, 1, 0), std::make_pair(1, 0));
  EXPECT_EQ(host.metadata_reads, 2);
}

// The EXIF block reads upright (orientation 1) wherever the pixels were turned, by the job or by
// the file, and keeps its orientation where they were not; its dimensions are the output's.
TEST_F(PluginPhotoOptions, KeptMetadataTellsTheOutputsOrientationAndSize) {
  settings.keep_metadata = true;
  settings.file_format = 1;  // JPEG
  host.metadata.exif = Exif(6, 4, 2);
  host.metadata.icc_profile = kProfile;
  struct Case {
    bool auto_orient;
    int file_orientation;
    int orientation, width, height;
  };
  for (const Case& c : {Case{false, 0, 6, 4, 2}, Case{true, 0, 1, 2, 4}, Case{false, 6, 1, 4, 2},
                        Case{true, 6, 1, 4, 2}}) {
    SCOPED_TRACE(std::to_string(c.auto_orient) + " " + std::to_string(c.file_orientation));
    settings.auto_orient = c.auto_orient;
    host.metadata.orientation = c.file_orientation;
    job.ConvertFile(dir / "photo.heic");
    TJPEGImage jpeg;
    jpeg.LoadFromFile(dir / "out/photo.jpg");
    EXPECT_EQ(jpeg.Width(), c.width);
    TJpegMetadata kept = ReadJpegMetadata(jpeg.CompressedData());
    EXPECT_EQ(ExifOrientation(kept.exif), c.orientation);
    EXPECT_EQ(kept.icc_profile, kProfile);
    // The pixel dimensions now say the output's size.
    EXPECT_EQ(EditExif(kept.exif, {.width = c.width, .height = c.height}).block, kept.exif);
  }

  // Into a PNG: the EXIF block and the profile as its chunks.
  settings.file_format = 2;
  settings.auto_orient = false;
  host.metadata.orientation = 0;
  job.ConvertFile(dir / "photo.heic");
  EXPECT_NE(ChunkNames(dir / "out/photo.png").find("iCCP"), std::string::npos);
  EXPECT_NE(ChunkNames(dir / "out/photo.png").find("eXIf"), std::string::npos);

  // Without the option, or without metadata, nothing is added.
  settings.keep_metadata = false;
  job.ConvertFile(dir / "photo.heic");
  EXPECT_EQ(ChunkNames(dir / "out/photo.png"), "IHDR IDAT IEND ");
  settings.keep_metadata = true;
  host.metadata = TPluginMetadata();
  job.ConvertFile(dir / "photo.heic");
  EXPECT_EQ(ChunkNames(dir / "out/photo.png"), "IHDR IDAT IEND ");
}

// A plug-in's picture tagged with a profile other than sRGB comes out in sRGB's numbers by
// default, as a JPEG's does; ignoring profiles leaves its numbers as they are.
TEST_F(PluginPhotoOptions, ProfilesOfPluginPicturesAreConvertedToSrgb) {
  const TBitmap untagged = ConvertToBmp();
  host.metadata.icc_profile = kProfile;
  const TBitmap converted = ConvertToBmp();
  EXPECT_EQ(host.metadata_reads, 2);
  ASSERT_EQ(converted.Width(), untagged.Width());
  const std::uint8_t* before = untagged.ScanLine(0);
  const std::uint8_t* after = converted.ScanLine(0);
  EXPECT_NE(std::vector<std::uint8_t>(before, before + 12),
            std::vector<std::uint8_t>(after, after + 12));
  settings.color_profile = 2;
  const TBitmap ignored = ConvertToBmp();
  EXPECT_EQ(std::vector<std::uint8_t>(ignored.ScanLine(0), ignored.ScanLine(0) + 12),
            std::vector<std::uint8_t>(before, before + 12));
}

}  // namespace
}  // namespace qv
