// WebP and AVIF outputs end to end: quenvale-cli on pictures Pillow writes in every input
// format, the files decoded by dwebp and avifdec and compared with the same resize written as
// BMP; the format's size limit as the user meets it.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/temp_dir.h"
#include "support/test_names.h"

namespace qv {
namespace {

using testing::ProgramResult;
using testing::RunProgram;
using testing::TempDir;

class WebFormatsCli : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {QV_PYTHON3, "/usr/bin/dwebp", "/usr/bin/cwebp", "/usr/bin/avifdec"})
      if (!std::filesystem::exists(tool)) GTEST_SKIP() << tool << " is missing (scripts/setup.sh)";
    ProgramResult made = RunProgram(QV_PYTHON3, {QV_PHOTO_TOOL, "make-inputs", dir.Path()});
    ASSERT_EQ(made.status, 0) << made.err;
  }
  ProgramResult Cli(std::vector<std::string> args) {
    args.insert(args.begin(), {"--ini", dir / "test.ini", "--quiet", "--overwrite"});
    return RunProgram(QV_CLI_PATH, args, {"DISPLAY="});
  }
  // The largest and the mean channel difference of two pictures ({999, 999} when their sizes
  // differ or a picture cannot be read).
  std::pair<int, double> Difference(const std::string& a, const std::string& b) {
    ProgramResult result = RunProgram(QV_PYTHON3, {QV_PHOTO_TOOL, "compare", a, b});
    std::smatch match;
    if (!std::regex_search(result.out, match,
                           std::regex("^(\\d+x\\d+) VS (\\d+x\\d+) max (\\d+) mean ([0-9.]+)")) ||
        match[1] != match[2])
      return {999, 999};
    return {std::stoi(match[3]), std::stod(match[4])};
  }

  TempDir dir;
};

// Each input format: read by its reader (BMP, PNG, JPEG built in; GIF, TIFF, PPM by the
// plug-ins), resized, written as WebP (lossless and lossy) and AVIF, decoded by the formats'
// own tools: lossless WebP is the resized picture exactly, the lossy files stay within their loss.
class WebFormatsFromEveryInput : public WebFormatsCli,
                                 public ::testing::WithParamInterface<const char*> {};

TEST_P(WebFormatsFromEveryInput, DecodeToTheResizedPicture) {
  const std::string input = dir / (std::string("in.") + GetParam());
  const std::vector<std::string> resize = {"--size", "48x30", "--resample", "lanczos3"};
  auto convert = [&](const std::string& folder, std::vector<std::string> options) {
    options.insert(options.end(), resize.begin(), resize.end());
    options.insert(options.end(), {"--out", dir / folder, input});
    ProgramResult result = Cli(options);
    EXPECT_EQ(result.status, 0) << result.err;
  };
  convert("png", {"--format", "png"});
  const std::string reference = dir / "png/in.png";

  convert("lossless", {"--format", "webp", "--webp-lossless"});
  ASSERT_EQ(RunProgram("/usr/bin/dwebp",
                       {"-quiet", dir / "lossless/in.webp", "-ppm", "-o", dir / "lossless/in.ppm"})
                .status,
            0);
  EXPECT_EQ(Difference(reference, dir / "lossless/in.ppm").first, 0);

  // Lossy: the picture cwebp makes of the same pixels at the same quality, within the format's
  // loss of the resized picture (colour at half resolution blurs these hard-edged blocks).
  convert("lossy", {"--format", "webp", "--webp-quality", "90"});
  ASSERT_EQ(RunProgram("/usr/bin/cwebp",
                       {"-quiet", "-q", "90", reference, "-o", dir / "lossy/cwebp.webp"})
                .status,
            0);
  for (const std::string name : {"lossy/in", "lossy/cwebp"})
    ASSERT_EQ(RunProgram("/usr/bin/dwebp",
                         {"-quiet", dir / (name + ".webp"), "-ppm", "-o", dir / (name + ".ppm")})
                  .status,
              0);
  EXPECT_EQ(Difference(dir / "lossy/cwebp.ppm", dir / "lossy/in.ppm").first, 0);
  EXPECT_LT(Difference(reference, dir / "lossy/in.ppm").second, 10.0);

  convert("avif", {"--format", "avif", "--avif-quality", "90", "--avif-speed", "8"});
  ASSERT_EQ(RunProgram("/usr/bin/avifdec", {dir / "avif/in.avif", dir / "avif/in.png"}).status, 0);
  EXPECT_LT(Difference(reference, dir / "avif/in.png").second, 4.0);
}

INSTANTIATE_TEST_SUITE_P(Inputs, WebFormatsFromEveryInput,
                         ::testing::Values("bmp", "png", "jpg", "gif", "tif", "ppm"),
                         [](const auto& test_info) { return testing::NameOf(test_info.param); });

TEST_F(WebFormatsCli, APictureOverTheLimitFailsNamingFileAndLimitAndLeavesNothing) {
  struct Case {
    const char* format;
    const char* input;
    const char* limit;
  };
  for (const Case& c : {Case{"webp", "wide16384.bmp", "16383 x 16383"},
                        Case{"avif", "wide65537.bmp", "65536 x 65536"}}) {
    const std::string out = dir / (std::string("out_") + c.format);
    std::filesystem::create_directories(out);
    ProgramResult result = Cli({"--format", c.format, "--out", out, dir / c.input});
    EXPECT_EQ(result.status, 1) << c.format;
    EXPECT_NE(result.err.find(c.input), std::string::npos) << result.err;
    EXPECT_NE(result.err.find(c.limit), std::string::npos) << result.err;
    EXPECT_TRUE(std::filesystem::is_empty(out)) << c.format;
  }
}

}  // namespace
}  // namespace qv
