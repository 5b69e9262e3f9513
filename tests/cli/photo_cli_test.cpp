// The photo options end to end: quenvale-cli on JPEGs made by Pillow at test time, results read
// back with Pillow, exiftool, qpdf and pdftoppm.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>

#include "support/child_process.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

using testing::ProgramResult;
using testing::RunProgram;
using testing::TempDir;

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class PhotoCli : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {QV_PYTHON3, "/usr/bin/exiftool", "/usr/bin/qpdf", "/usr/bin/pdftoppm"})
      if (!std::filesystem::exists(tool)) GTEST_SKIP() << tool << " is missing (scripts/setup.sh)";
    ProgramResult made = Tool({"make-orientations", dir.Path()});
    ASSERT_EQ(made.status, 0) << made.err;
  }

  ProgramResult Tool(std::vector<std::string> args) {
    args.insert(args.begin(), QV_PHOTO_TOOL);
    return RunProgram(QV_PYTHON3, args);
  }
  std::string ToolOut(std::vector<std::string> args) {
    ProgramResult result = Tool(std::move(args));
    EXPECT_EQ(result.status, 0) << result.err;
    return result.out.substr(0, result.out.find_last_not_of('\n') + 1);
  }
  ProgramResult Cli(std::vector<std::string> args) {
    args.insert(args.begin(), {"--ini", dir / "test.ini", "--quiet"});
    return RunProgram(QV_CLI_PATH, args, {"DISPLAY="});
  }
  // The largest channel difference of two pictures of one size, or 999 when the sizes differ.
  int MaxDifference(const std::string& a, const std::string& b, bool blocks = false) {
    std::string line = ToolOut({blocks ? "compare-blocks" : "compare", a, b});
    std::smatch match;
    if (!std::regex_search(line, match, std::regex("^(\\d+x\\d+) VS (\\d+x\\d+) max (\\d+)")))
      return 1000;
    return match[1] == match[2] ? std::stoi(match[3]) : 999;
  }
  std::string Exif(const std::string& path, const std::string& tag) {
    ProgramResult result = RunProgram("/usr/bin/exiftool", {"-s3", "-n", "-" + tag, path});
    return result.out.substr(0, result.out.find('\n'));
  }
  // The input stored with an orientation, and Pillow's upright picture of it.
  std::string O(int orientation) { return dir / ("o" + std::to_string(orientation) + ".jpg"); }
  std::string Upright(int orientation) {
    return dir / ("upright" + std::to_string(orientation) + ".png");
  }

  TempDir dir;
};

TEST_F(PhotoCli, AutoOrientTurnsEveryOrientationUprightAsPillowDoes) {
  std::vector<std::string> args = {"--format", "png", "--auto-orient", "--out", dir / "png"};
  for (int o = 1; o <= 8; ++o) args.push_back(O(o));
  ASSERT_EQ(Cli(args).status, 0);
  for (int o = 1; o <= 8; ++o)
    EXPECT_LE(MaxDifference(dir / ("png/o" + std::to_string(o) + ".png"), Upright(o)), 2)
        << "orientation " << o;

  // JPEG to JPEG: upright too (re-encoded, so within the compression's error).
  args[1] = "jpeg";
  args[4] = dir / "jpeg";
  ASSERT_EQ(Cli(args).status, 0);
  for (int o = 1; o <= 8; ++o)
    EXPECT_LE(MaxDifference(dir / ("jpeg/o" + std::to_string(o) + ".jpg"), Upright(o), true), 40)
        << "orientation " << o;
}

TEST_F(PhotoCli, WithoutTheOptionOrAUsableTagNothingTurns) {
  // Off: the pixels stay as stored (orientation 6 keeps its 24 x 40 stored size).
  ASSERT_EQ(Cli({"--format", "png", "--out", dir / "off", O(6)}).status, 0);
  EXPECT_EQ(ToolOut({"compare", dir / "off/o6.png", O(6)}).substr(0, 5), "24x40");
  // On, with no EXIF block, an orientation out of range, a damaged block: unchanged.
  ASSERT_EQ(Cli({"--format", "png", "--auto-orient", "--out", dir / "on", dir / "none.jpg", O(9),
                 dir / "damaged.jpg"})
                .status,
            0);
  for (const char* name : {"none", "o9", "damaged"})
    EXPECT_LE(MaxDifference(dir / ("on/" + std::string(name) + ".png"), dir / "upright.png", true),
              40)
        << name;
}

TEST_F(PhotoCli, PdfPagesOfUnchangedJpegsTurnAndMirrorImagesAreReencodedUpright) {
  std::vector<std::string> args = {"--format", "pdf", "--pdf", dir / "album.pdf", "--auto-orient"};
  for (int o = 1; o <= 8; ++o) args.push_back(O(o));
  ProgramResult converted = Cli(args);
  ASSERT_EQ(converted.status, 0) << converted.err;
  ASSERT_EQ(RunProgram("/usr/bin/qpdf", {"--check", dir / "album.pdf"}).status, 0);

  // Each page's /Rotate and /MediaBox, read through qpdf's JSON.
  // 1: as stored; 3, 6, 8: the stored bytes in their stored size, turned by the page; 2, 4, 5,
  // 7: mirror images, re-encoded upright (40 x 24) without a turn.
  EXPECT_EQ(ToolOut({"pdf-pages", dir / "album.pdf"}) + "\n",
            "0 40 24\n0 40 24\n180 40 24\n0 40 24\n0 40 24\n90 24 40\n0 40 24\n270 24 40\n");
  // The turned pages embed the files byte for byte.
  std::string pdf = FileBytes(dir / "album.pdf");
  for (int o : {1, 3, 6, 8}) {
    std::string jpeg = FileBytes(O(o));
    EXPECT_NE(std::search(pdf.begin(), pdf.end(), jpeg.begin(), jpeg.end()), pdf.end()) << o;
  }
  // Rendered, every page shows the upright picture.
  ASSERT_EQ(
      RunProgram("/usr/bin/pdftoppm", {"-r", "72", "-png", dir / "album.pdf", dir / "page"}).status,
      0);
  for (int o = 1; o <= 8; ++o)
    EXPECT_LE(MaxDifference(dir / ("page-" + std::to_string(o) + ".png"), Upright(o), true), 40)
        << "page " << o;
}

TEST_F(PhotoCli, KeptMetadataTellsTheNewSizeAndTheUprightOrientation) {
  ASSERT_EQ(Tool({"make-metadata", dir / "meta.jpg"}).status, 0);
  // Stored 24 x 40 with orientation 6: upright 40 x 24, fitted into 20 x 20 gives 20 x 12.
  ASSERT_EQ(Cli({"--format", "jpeg", "--keep-metadata", "--auto-orient", "--size", "20x20", "--fit",
                 "--out", dir / "turned", dir / "meta.jpg"})
                .status,
            0);
  const std::string turned = dir / "turned/meta.jpg";
  EXPECT_EQ(Exif(turned, "Orientation"), "1");
  EXPECT_EQ(Exif(turned, "ExifImageWidth"), "20");
  EXPECT_EQ(Exif(turned, "ExifImageHeight"), "12");
  EXPECT_EQ(Exif(turned, "ImageWidth"), "20");
  EXPECT_EQ(Exif(turned, "Make"), "QuenvaleTestCam");
  EXPECT_EQ(Exif(turned, "ProfileDescription"), "sRGB built-in");
  EXPECT_EQ(ToolOut({"compare", turned, turned}).substr(0, 5), "20x12");

  // Not turned: the orientation stays for the viewer to apply, the size follows the resize.
  ASSERT_EQ(Cli({"--format", "jpeg", "--keep-metadata", "--size", "12x20", "--out", dir / "kept",
                 dir / "meta.jpg"})
                .status,
            0);
  EXPECT_EQ(Exif(dir / "kept/meta.jpg", "Orientation"), "6");
  EXPECT_EQ(Exif(dir / "kept/meta.jpg", "ExifImageWidth"), "12");

  // JPEG to PNG: the profile as iCCP and the EXIF block as eXIf, both before the image data.
  ASSERT_EQ(Cli({"--format", "png", "--keep-metadata", "--auto-orient", "--out", dir / "png",
                 dir / "meta.jpg"})
                .status,
            0);
  EXPECT_EQ(ToolOut({"png-chunks", dir / "png/meta.png"}), "IHDR iCCP eXIf IDAT IEND");
  EXPECT_EQ(ToolOut({"png-exif", dir / "png/meta.png"}),
            "orientation 1 size 40x24 make QuenvaleTestCam");
  EXPECT_EQ(ToolOut({"png-icc-matches", dir / "png/meta.png", dir / "meta.jpg"}), "same");
  EXPECT_EQ(RunProgram("/usr/bin/pngcheck", {"-q", dir / "png/meta.png"}).status, 0);
}

TEST_F(PhotoCli, WebPAndAvifKeepTheMetadataAsJpegDoes) {
  ASSERT_EQ(Tool({"make-metadata", dir / "meta.jpg"}).status, 0);
  for (const std::string format : {"webp", "avif"}) {
    ASSERT_EQ(Cli({"--format", format, "--keep-metadata", "--auto-orient", "--size", "20x20",
                   "--fit", "--out", dir / "turned", dir / "meta.jpg"})
                  .status,
              0);
    const std::string turned = dir / ("turned/meta." + format);
    EXPECT_EQ(Exif(turned, "Orientation"), "1") << format;
    EXPECT_EQ(Exif(turned, "ExifImageWidth"), "20") << format;
    EXPECT_EQ(Exif(turned, "ExifImageHeight"), "12") << format;
    EXPECT_EQ(Exif(turned, "ImageSize"), "20 12") << format;
    EXPECT_EQ(Exif(turned, "Make"), "QuenvaleTestCam") << format;
    EXPECT_EQ(Exif(turned, "ProfileDescription"), "sRGB built-in") << format;
    // Not turned: the orientation stays for the viewer to apply.
    ASSERT_EQ(Cli({"--format", format, "--keep-metadata", "--out", dir / "kept", dir / "meta.jpg"})
                  .status,
              0);
    EXPECT_EQ(Exif(dir / ("kept/meta." + format), "Orientation"), "6") << format;
    // Without the option nothing is kept.
    ASSERT_EQ(Cli({"--format", format, "--out", dir / "plain", dir / "meta.jpg"}).status, 0);
    EXPECT_EQ(Exif(dir / ("plain/meta." + format), "Make"), "") << format;
    EXPECT_EQ(Exif(dir / ("plain/meta." + format), "ProfileDescription"), "") << format;
  }
}

TEST_F(PhotoCli, WithoutTheOptionOrFromOtherFormatsNothingIsKept) {
  ASSERT_EQ(Tool({"make-metadata", dir / "meta.jpg"}).status, 0);
  ASSERT_EQ(Cli({"--format", "jpeg", "--out", dir / "plain", dir / "meta.jpg"}).status, 0);
  EXPECT_EQ(Exif(dir / "plain/meta.jpg", "Make"), "");
  EXPECT_EQ(Exif(dir / "plain/meta.jpg", "ProfileDescription"), "");
  ASSERT_EQ(Cli({"--format", "png", "--out", dir / "plain", dir / "meta.jpg"}).status, 0);
  EXPECT_EQ(ToolOut({"png-chunks", dir / "plain/meta.png"}), "IHDR IDAT IEND");
  // A PNG input has no JPEG metadata to give, whatever the option says.
  ASSERT_EQ(
      Cli({"--format", "jpeg", "--keep-metadata", "--out", dir / "again", dir / "plain/meta.png"})
          .status,
      0);
  EXPECT_EQ(Exif(dir / "again/meta.jpg", "Make"), "");
}

}  // namespace
}  // namespace qv
