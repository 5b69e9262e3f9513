// Today's photo formats end to end: a camera's JPEG (made by Pillow) turned into HEIC, AVIF and
// JPEG XL by Debian's heif-enc, avifenc and cjxl, converted by quenvale-cli through the shipped
// plug-ins, and the results read back with exiftool, Pillow and poppler's pdfimages.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "runtime/stream.h"
#include "support/child_process.h"
#include "support/file_bytes.h"
#include "support/heif_builder.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

using testing::ProgramResult;
using testing::RunProgram;

bool HaveTool(const std::string& name) {
  return RunProgram("/bin/sh", {"-c", "command -v " + name}).status == 0;
}

class PhotoFormatsCli : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"heif-enc", "avifenc", "cjxl", "exiftool", "pdfimages"})
      if (!HaveTool(tool)) GTEST_SKIP() << tool << " is missing (scripts/setup.sh)";
    if (!std::filesystem::exists(QV_PYTHON3)) GTEST_SKIP() << QV_PYTHON3 << " is missing";
    ASSERT_EQ(RunProgram(QV_PYTHON3, {QV_PHOTO_TOOL, "make-camera-photo", dir.Path()}).status, 0);
    // HEIC: heif-enc keeps the pixels as stored and the EXIF block as it is (orientation 6).
    // AVIF and JPEG XL: avifenc and cjxl state the orientation in the file itself.
    // Each file has a name of its own, so that their outputs of one drop do not meet.
    Run({"heif-enc", "-q", "92", dir / "camera.jpg", "-o", dir / "heic.heic"});
    Run({"avifenc", "-s", "10", "--min", "0", "--max", "8", dir / "camera.jpg", dir / "avif.avif"});
    Run({"cjxl", dir / "camera.jpg", dir / "jxl.jxl"});
  }
  void Run(const std::vector<std::string>& command) {
    ProgramResult run = RunProgram("/usr/bin/env", command);
    ASSERT_EQ(run.status, 0) << command[0] << ": " << run.err;
  }
  ProgramResult Cli(std::vector<std::string> args) {
    args.insert(args.begin(), {"--ini", dir / "test.ini", "--quiet", "--overwrite"});
    return RunProgram(QV_CLI_PATH, args, {"DISPLAY="});
  }
  std::string Exif(const std::string& path, const std::string& tag) {
    ProgramResult result = RunProgram("/usr/bin/env", {"exiftool", "-s3", "-n", "-" + tag, path});
    return result.out.substr(0, result.out.find('\n'));
  }
  // Pillow's comparison of a picture with the upright camera picture, at the centres of the
  // 8 x 8 blocks: "WxH VS WxH max N".
  std::string CompareWithUpright(const std::string& path) {
    ProgramResult result =
        RunProgram(QV_PYTHON3, {QV_PHOTO_TOOL, "compare-blocks", path, dir / "camera-upright.png"});
    return result.out.substr(0, result.out.find('\n'));
  }
  testing::TempDir dir;
};

// The camera's data travels into a JPEG: time, camera, position, profile; the orientation reads
// 1 where the picture was turned (by the file itself, for AVIF and JPEG XL) and 6 where it was
// not (the HEIC, without --auto-orient), and the pixel dimensions are the output's.
TEST_F(PhotoFormatsCli, KeepMetadataCarriesTheCameraDataIntoJpeg) {
  for (const char* format : {"heic", "avif", "jxl"}) {
    SCOPED_TRACE(format);
    const std::string input = dir / (std::string(format) + "." + format);
    const std::string output = dir / ("out-" + std::string(format) + "/" + format + ".jpg");
    ProgramResult run = Cli({"--format", "jpeg", "--keep-metadata", "--out",
                             dir / ("out-" + std::string(format)), input});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Exif(output, "DateTimeOriginal"), "2024:05:06 07:08:09");
    EXPECT_EQ(Exif(output, "Make"), "QuenvaleTestCam");
    EXPECT_EQ(Exif(output, "Model"), "Model 7");
    EXPECT_EQ(Exif(output, "GPSLatitude"), "48.5");
    EXPECT_EQ(Exif(output, "GPSLongitude"), "9.25");
    const bool turned_by_file = std::string(format) != "heic";
    EXPECT_EQ(Exif(output, "Orientation"), turned_by_file ? "1" : "6");
    EXPECT_EQ(Exif(output, "ExifImageWidth"), turned_by_file ? "128" : "96");
    EXPECT_EQ(Exif(output, "ImageWidth"), turned_by_file ? "128" : "96");
    if (std::string(format) != "jxl") {  // libjxl knows the profile as plain sRGB: none is needed
      EXPECT_EQ(Exif(output, "ProfileDescription"), "sRGB built-in");
    }
  }
  // With --auto-orient the HEIC is turned by its EXIF orientation, which then reads 1.
  ASSERT_EQ(Cli({"--format", "jpeg", "--keep-metadata", "--auto-orient", "--out", dir / "turned",
                 dir / "heic.heic"})
                .status,
            0);
  EXPECT_EQ(Exif(dir / "turned/heic.jpg", "Orientation"), "1");
  EXPECT_EQ(Exif(dir / "turned/heic.jpg", "ExifImageWidth"), "128");
}

// --auto-orient turns every picture upright exactly once: the HEIC by its EXIF orientation; the
// AVIF, the JPEG XL and a HEIC whose rotation property and EXIF orientation agree by the file's
// own orientation only.
TEST_F(PhotoFormatsCli, AutoOrientTurnsEachPictureOnce) {
  testing::THeifLayout layout;
  layout.tiles.push_back(testing::ReadCodedPrimary(ReadWholeFile(dir / "heic.heic")));
  layout.transforms = {testing::RotationBox(3)};  // three quarters anticlockwise: EXIF's 6
  layout.exif = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0,
                 3,   0,   0, 0,  1, 0, 6, 0, 0, 0, 0,    0,    0};
  const testing::TBytes agreeing = testing::BuildHeif(layout);
  testing::WriteFile(
      dir / "agreeing.heic",
      std::string_view(reinterpret_cast<const char*>(agreeing.data()), agreeing.size()));

  const std::vector<std::string> inputs = {dir / "heic.heic", dir / "avif.avif", dir / "jxl.jxl",
                                           dir / "agreeing.heic"};
  std::vector<std::string> args = {"--format", "png", "--auto-orient", "--out", dir / "upright"};
  args.insert(args.end(), inputs.begin(), inputs.end());
  ASSERT_EQ(Cli(args).status, 0);
  args[2] = "--fit";  // an option that changes nothing here, in place of --auto-orient
  args[4] = dir / "as-stored";
  ASSERT_EQ(Cli(args).status, 0);
  std::smatch match;
  const std::regex result("^(\\d+x\\d+) VS (\\d+x\\d+) max (\\d+)");
  for (const std::string name : {"heic.heic", "avif.avif", "jxl.jxl", "agreeing.heic"}) {
    SCOPED_TRACE(name);
    const std::string png = std::filesystem::path(name).stem().string() + ".png";
    std::string line = CompareWithUpright(dir / ("upright/" + png));
    ASSERT_TRUE(std::regex_search(line, match, result)) << line;
    EXPECT_EQ(match[1], match[2]) << line;
    EXPECT_LE(std::stoi(match[3]), 12) << line;  // the encoders' error at the blocks' centres
    // Without the option only the HEIC whose orientation is EXIF's alone stays as stored.
    line = CompareWithUpright(dir / ("as-stored/" + png));
    ASSERT_TRUE(std::regex_search(line, match, result)) << line;
    EXPECT_EQ(match[1] == match[2], name != "heic.heic") << line;
  }
}

// A HEIC page of a PDF is compressed anew as a JPEG of the picture's size at the JPEG quality.
TEST_F(PhotoFormatsCli, APdfPageIsCompressedAtTheJpegQuality) {
  std::uintmax_t sizes[2];
  for (int quality : {20, 95}) {
    const std::string pdf = dir / ("q" + std::to_string(quality) + ".pdf");
    ProgramResult run = Cli(
        {"--format", "pdf", "--pdf", pdf, "--quality", std::to_string(quality), dir / "heic.heic"});
    ASSERT_EQ(run.status, 0) << run.err;
    ProgramResult images = RunProgram("/usr/bin/env", {"pdfimages", "-list", pdf});
    EXPECT_TRUE(std::regex_search(images.out, std::regex("image +96 +128 +rgb +3 +8 +jpeg")))
        << images.out;
    sizes[quality == 20 ? 0 : 1] = std::filesystem::file_size(pdf);
  }
  EXPECT_LT(sizes[0], sizes[1]);
}

// A damaged picture fails with a message naming the file and the library's reason.
TEST_F(PhotoFormatsCli, ADamagedPictureFailsWithTheLibrarysReason) {
  std::string heic = testing::ReadFile(dir / "heic.heic");
  testing::WriteFile(dir / "cut.heic", heic.substr(0, heic.size() / 2));
  ProgramResult run = Cli({"--format", "png", dir / "cut.heic"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.rfind(dir / "cut.heic: ", 0), 0u) << run.err;
  EXPECT_NE(run.err.find("HEIF: "), std::string::npos) << run.err;
  EXPECT_FALSE(std::filesystem::exists(dir / "cut.png"));
}

}  // namespace
}  // namespace qv
