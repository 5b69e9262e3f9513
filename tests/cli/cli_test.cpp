// End-to-end tests of quenvale-cli on real files in a temporary folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/run_program.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

using testing::ProgramResult;
using testing::RunProgram;
using testing::TempDir;

// A W x H 24-bit BMP file, bottom-up, every pixel the same grey.
void WriteBmp(const std::string& path, int width, int height, unsigned char grey = 0x80) {
  int row = (width * 3 + 3) & ~3;
  int size = 54 + row * height;
  std::vector<unsigned char> bytes(static_cast<std::size_t>(size), grey);
  auto put32 = [&](int at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<unsigned char>(v >> (8 * i));
  };
  std::fill(bytes.begin(), bytes.begin() + 54, 0);
  bytes[0] = 'B', bytes[1] = 'M';
  put32(2, static_cast<std::uint32_t>(size));
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<std::uint32_t>(width));
  put32(22, static_cast<std::uint32_t>(height));
  bytes[26] = 1, bytes[28] = 24;
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<char*>(bytes.data()), size);
}

// Width and height from a BMP file's info header.
std::pair<int, int> BmpSize(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  unsigned char header[26] = {};
  in.read(reinterpret_cast<char*>(header), sizeof header);
  auto get32 = [&](int at) {
    return static_cast<int>(header[at] | header[at + 1] << 8 | header[at + 2] << 16 |
                            header[at + 3] << 24);
  };
  return {get32(18), get32(22)};
}

class Cli : public ::testing::Test {
 protected:
  ProgramResult Run(std::vector<std::string> args, std::vector<std::string> env = {}) {
    args.insert(args.begin(), {"--ini", dir / "test.ini"});
    env.push_back("DISPLAY=");
    return RunProgram(QV_CLI_PATH, args, env);
  }
  TempDir dir;
};

TEST_F(Cli, UsageErrorsExitTwoWithUsage) {
  for (const auto& args :
       std::vector<std::vector<std::string>>{{"--bogus", "x.bmp"},
                                             {},
                                             {"--set", "NoSuchKey=1", "x.bmp"},
                                             {"--set", "TargetRes=abc", "x.bmp"},
                                             {"--set", "novalue", "x.bmp"},
                                             {"--format", "tiff", "x.bmp"},
                                             {"--quality", "101", "x.bmp"},
                                             {"--format", "pdf", "x.bmp"},  // no --pdf
                                             {"--quality"}}) {
    ProgramResult result = Run(args);
    EXPECT_EQ(result.status, 2) << ::testing::PrintToString(args) << result.err;
    EXPECT_NE(result.err.find("usage: quenvale-cli"), std::string::npos);
  }
  EXPECT_EQ(Run({"--help"}).status, 0);
  EXPECT_NE(Run({"--version"}).out.find("quenvale-cli "), std::string::npos);
}

TEST_F(Cli, ConvertsTheNamesAsOneDropQuietlyOnSuccess) {
  WriteBmp(dir / "a.bmp", 3, 2);
  WriteBmp(dir / "b.bmp", 5, 1);
  std::filesystem::create_directory(dir / "folder");
  ProgramResult result = Run({"--out", dir / "out", "--format", "bmp", dir / "a.bmp",
                              dir / "folder", dir / "missing.bmp", dir / "b.bmp"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(BmpSize(dir / "out/a.bmp"), std::make_pair(3, 2));
  EXPECT_EQ(BmpSize(dir / "out/b.bmp"), std::make_pair(5, 1));
}

TEST_F(Cli, DesktopSizeComesFromTheOptionOrFailsClearly) {
  WriteBmp(dir / "a.bmp", 3, 2);
  ProgramResult sized = Run({"--out", dir / "out", "--size", "desktop", "--desktop-size", "40x30",
                             "--set", "ResampleMode=-1", dir / "a.bmp"});
  EXPECT_EQ(sized.status, 0) << sized.err;
  EXPECT_EQ(BmpSize(dir / "out/a.bmp"), std::make_pair(40, 30));

  ProgramResult unknown = Run({"--out", dir / "out2", "--size", "desktop", dir / "a.bmp"});
  EXPECT_EQ(unknown.status, 1);
  EXPECT_NE(unknown.err.find("--desktop-size"), std::string::npos) << unknown.err;
  EXPECT_FALSE(std::filesystem::exists(dir / "out2/a.bmp"));
}

TEST_F(Cli, AFailureNamesTheFileShowsTheMessageAndEndsTheDrop) {
  WriteBmp(dir / "a.bmp", 2, 2);
  std::ofstream(dir / "bad.bmp") << "XXXX not a bitmap";
  WriteBmp(dir / "c.bmp", 2, 2);
  ProgramResult result = Run({"--out", dir / "out", dir / "a.bmp", dir / "bad.bmp", dir / "c.bmp"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, dir / "bad.bmp" + ": ビットマップイメージが不正です.\n");
  EXPECT_TRUE(std::filesystem::exists(dir / "out/a.bmp"));
  EXPECT_FALSE(std::filesystem::exists(dir / "out/bad.bmp"));
  EXPECT_FALSE(std::filesystem::exists(dir / "out/c.bmp"));
}

TEST_F(Cli, JobsConvertSeveralFilesAtOnceAndReportTheFirstFailureInListOrder) {
  std::vector<std::string> files;
  for (int i = 0; i < 6; ++i) {
    files.push_back(dir / ("f" + std::to_string(i) + ".bmp"));
    WriteBmp(files.back(), 300, 200 + i);
  }
  for (const std::string& jobs : {"-j2", "--jobs=0", "-j 3"}) {
    std::string out = dir / ("out" + jobs.substr(jobs.size() - 1));
    std::vector<std::string> args = {"--out", out, "--format", "png"};
    if (jobs == "-j 3")
      args.insert(args.end(), {"-j", "3"});
    else
      args.push_back(jobs);
    args.insert(args.end(), files.begin(), files.end());
    ProgramResult result = Run(args);
    EXPECT_EQ(result.status, 0) << jobs << result.err;
    for (int i = 0; i < 6; ++i)
      EXPECT_TRUE(std::filesystem::exists(out + "/f" + std::to_string(i) + ".png")) << jobs;
  }
  // f2 fails first in list order; f4 fails too, sooner, being tiny.
  std::ofstream(files[2]) << std::string(100000, 'x');
  std::ofstream(files[4]) << "XXXX";
  ProgramResult failed = Run({"--out", dir / "bad", "--format", "png", "-j", "2", files[0],
                              files[1], files[2], files[3], files[4], files[5]});
  EXPECT_EQ(failed.status, 1);
  EXPECT_EQ(failed.err, files[2] + ": ビットマップイメージが不正です.\n");
  EXPECT_TRUE(std::filesystem::exists(dir / "bad/f0.png"));
  EXPECT_TRUE(std::filesystem::exists(dir / "bad/f1.png"));
  EXPECT_FALSE(std::filesystem::exists(dir / "bad/f2.png"));

  for (const char* bad : {"-j", "-jx", "--jobs=-1", "--jobs=two"})
    EXPECT_EQ(Run({bad, files[0]}).status, 2) << bad;
}

TEST_F(Cli, ExistingOutputsArePassedOverUnlessOverwriting) {
  WriteBmp(dir / "a.bmp", 2, 2);
  std::filesystem::create_directory(dir / "out");
  std::ofstream(dir / "out/a.bmp") << "old";
  EXPECT_EQ(Run({"--out", dir / "out", dir / "a.bmp"}).status, 0);
  EXPECT_EQ(std::filesystem::file_size(dir / "out/a.bmp"), 3u);
  EXPECT_EQ(Run({"--out", dir / "out", "--overwrite", dir / "a.bmp"}).status, 0);
  EXPECT_EQ(BmpSize(dir / "out/a.bmp"), std::make_pair(2, 2));
}

TEST_F(Cli, ShowSettingsPrintsTheEffectiveSettingsAndConvertsNothing) {
  WriteBmp(dir / "a.bmp", 2, 2);
  ProgramResult result = Run({"--section", "tester", "--format", "png", "--set", "JPEGQL=70",
                              "--show-settings", dir / "a.bmp"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out.rfind("# ini: " + dir / "test.ini" + "\n# section: tester\n", 0), 0u)
      << result.out;
  EXPECT_NE(result.out.find("\nFileFormat=2\n"), std::string::npos);
  EXPECT_NE(result.out.find("\nJPEGQL=70\n"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir / "a.png"));
}

TEST_F(Cli, AnySizeAndFitInsideIt) {
  WriteBmp(dir / "a.bmp", 300, 100);
  auto convert = [&](std::vector<std::string> options) {
    std::filesystem::remove(dir / "out/a.bmp");
    options.insert(options.begin(), {"--out", dir / "out"});
    options.push_back(dir / "a.bmp");
    ProgramResult result = Run(options);
    EXPECT_EQ(result.status, 0) << result.err;
    return BmpSize(dir / "out/a.bmp");
  };
  EXPECT_EQ(convert({"--size", "7x65535"}), std::make_pair(7, 65535));
  EXPECT_EQ(convert({"--size", "1x1"}), std::make_pair(1, 1));
  EXPECT_EQ(convert({"--size", "150x150", "--fit"}), std::make_pair(150, 50));
  EXPECT_EQ(convert({"--size", "640x480", "--fit"}), std::make_pair(300, 100));  // not enlarged
  EXPECT_EQ(convert({"--size", "96x96"}), std::make_pair(96, 96));               // a listed size
  // A named size after a custom one replaces it.
  EXPECT_EQ(convert({"--size", "1x1", "--size", "none"}), std::make_pair(300, 100));
  for (const char* bad : {"0x5", "5x0", "65536x1", "x5", "5x", "5*5", "-5x5", "5x5x5"}) {
    ProgramResult result = Run({"--size", bad, dir / "a.bmp"});
    EXPECT_EQ(result.status, 2) << bad;
    EXPECT_NE(result.err.find("WIDTHxHEIGHT"), std::string::npos) << result.err;
  }
  EXPECT_EQ(Run({"--fit=1", dir / "a.bmp"}).status, 2);
  // Stored, a custom size and fit show among the settings; by default they do not.
  EXPECT_EQ(Run({"--show-settings"}).out.find("Custom"), std::string::npos);
  ProgramResult shown = Run({"--size", "20x10", "--fit", "--show-settings"});
  EXPECT_NE(shown.out.find("\nKeepAspect=1\nCustomSize=1\nCustomWidth=20\nCustomHeight=10\n"),
            std::string::npos)
      << shown.out;
  std::string help = Run({"--help"}).out;
  EXPECT_NE(help.find("--fit"), std::string::npos);
  EXPECT_NE(help.find("WIDTHxHEIGHT"), std::string::npos);
}

}  // namespace
}  // namespace qv
