// Tests of the plug-in host: which files load, load order, decoding, failures and lying blocks.
#include "codecs/plugin_host/spi_lib32.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "codecs/plugin_host/spi_test_blocks.h"
#include "imaging/bitmap.h"
#include "runtime/exceptions.h"
#include "runtime/paths.h"
#include "runtime/stream.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

using testing::BlocksFile;
using testing::DibLayout;
using testing::TempDir;

const std::string kTestPlugins = QV_SPI_TEST_PLUGIN_DIR;

// Copies test plug-in source_name (without ".spi") into folder as target_name.
void Install(const TempDir &folder, const std::string &source_name,
             const std::string &target_name) {
  std::filesystem::copy_file(kTestPlugins + source_name + ".spi", folder / target_name);
}

void WriteFile(const std::string &path, const std::vector<std::uint8_t> &bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char *>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> Text(const std::string &text) { return {text.begin(), text.end()}; }

// Colour of pixel (x, y) of a 24-bit image as 0xRRGGBB.
std::uint32_t Rgb24(const TBitmap &image, int x, int y) {
  const std::uint8_t *p = image.ScanLine(y) + 3 * x;
  return static_cast<std::uint32_t>(p[2]) << 16 | p[1] << 8 | p[0];
}

// Decodes bytes through the host, into a 24-bit image.
TBitmap Decode(TSpiLib32 &host, const std::vector<std::uint8_t> &bytes) {
  TBitmap image;
  image.SetPixelFormat(TPixelFormat::pf24bit);
  host.LoadFromStream(TMemoryStream(bytes), image);
  return image;
}

TEST(SpiLib32, AFolderWithoutPluginsLeavesEverythingEmpty) {
  TempDir folder;
  WriteFile(folder / "picture.gif", Text("GIF89a"));
  TSpiLib32 host;
  host.LoadPlugins(folder.Path());
  EXPECT_EQ(host.PFilter(), "");
  EXPECT_EQ(host.AFilter(), "");
  EXPECT_TRUE(host.PicPlugInList().empty());
  EXPECT_TRUE(host.ArcPlugInList().empty());
  TBitmap image;
  host.LoadFromFile(folder / "picture.gif", image);
  EXPECT_TRUE(image.Empty());
}

TEST(SpiLib32, AMissingFolderLoadsNothing) {
  TSpiLib32 host;
  host.LoadPlugins("/nonexistent-quenvale-folder/");
  host.LoadPlugins("");
  EXPECT_TRUE(host.PicPlugInList().empty());
}

struct LoadCase {
  std::string name;
  std::string source;  // test plug-in, or "" for a text file, "/" for a folder
  std::string file_name;
  bool taken;
};

class SpiLib32Load : public ::testing::TestWithParam<LoadCase> {};

TEST_P(SpiLib32Load, TakesOnlyCompletePicturePlugins) {
  const LoadCase &c = GetParam();
  TempDir folder;
  if (c.source.empty()) {
    WriteFile(folder / c.file_name, Text("this is not a shared object\n"));
  } else if (c.source == "/") {
    std::filesystem::create_directory(folder / c.file_name);
  } else {
    Install(folder, c.source, c.file_name);
  }
  TSpiLib32 host;
  host.LoadPlugins(folder.Path());
  EXPECT_EQ(host.PicPlugInList().size(), c.taken ? 1u : 0u);
  EXPECT_EQ(host.PFilter(), c.taken ? "*.red;" : "");
  EXPECT_TRUE(host.ArcPlugInList().empty());
  TBitmap image = Decode(host, Text("anything"));
  EXPECT_EQ(image.Empty(), !c.taken);
}

const LoadCase kLoadCases[] = {
    {"Plugin", "red", "red.spi", true},
    {"UpperCaseExtension", "red", "RED.SPI", true},
    {"MixedCaseExtension", "red", "Red.Spi", true},
    {"NotAPluginExtension", "red", "red.spix", false},
    {"NoExtension", "red", "red", false},
    {"HiddenFile", "red", ".red.spi", false},
    {"TextFile", "", "text.spi", false},
    {"Folder", "/", "folder.spi", false},
    {"SharedObjectWithoutFunctions", "no_functions", "empty.spi", false},
    {"LowerCaseVersion", "lower_version", "lower.spi", false},
    {"ArchiveVersion", "archive", "archive.spi", false},
    {"VersionWithTrailingSpace", "long_version", "long.spi", false},
    {"WithoutIsSupported", "no_is_supported", "partial.spi", false},
    {"WithoutGetPicture", "no_get_picture", "partial.spi", false},
};

INSTANTIATE_TEST_SUITE_P(Files, SpiLib32Load, ::testing::ValuesIn(kLoadCases),
                         [](const auto &test) { return test.param.name; });

TEST(SpiLib32, ListsPluginsByFileNameAndTheFirstAcceptingOneDecodes) {
  for (bool red_first : {true, false}) {
    TempDir folder;
    Install(folder, "red", red_first ? "a.spi" : "b.spi");
    Install(folder, "blue", red_first ? "b.spi" : "a.spi");
    Install(folder, "archive", "0.spi");  // not listed, and does not shift the order
    TSpiLib32 host;
    host.LoadPlugins(folder.Path());
    std::vector<std::string> expected_names = red_first ? std::vector<std::string>{"red", "blue"}
                                                        : std::vector<std::string>{"blue", "red"};
    EXPECT_EQ(host.PicPlugInList(), expected_names);
    EXPECT_EQ(host.PFilter(), red_first ? "*.red;*.blue;" : "*.blue;*.red;");
    TBitmap image = Decode(host, Text("x"));
    ASSERT_EQ(image.Width(), 1);
    EXPECT_EQ(Rgb24(image, 0, 0), red_first ? 0xFF0000u : 0x0000FFu);
  }
}

TEST(SpiLib32, FoldersAddUpInCallOrder) {
  TempDir first, second;
  Install(first, "blue", "z.spi");
  Install(second, "red", "a.spi");
  TSpiLib32 host;
  host.LoadPlugins(first.Path());
  host.LoadPlugins(second.Path().substr(0, second.Path().size() - 1));  // no trailing "/"
  EXPECT_EQ(host.PicPlugInList(), (std::vector<std::string>{"blue", "red"}));
  EXPECT_EQ(Rgb24(Decode(host, Text("x")), 0, 0), 0x0000FFu);
}

TEST(SpiLib32, APluginFileOfAnEarlierFolderHidesTheSameNameInALaterOne) {
  TempDir own, installed;
  Install(own, "red", "ifgif.spi");
  Install(installed, "blue", "ifgif.spi");
  Install(installed, "fail", "other.spi");
  TSpiLib32 host;
  host.LoadPlugins(own.Path());
  host.LoadPlugins(installed.Path());
  EXPECT_EQ(host.PicPlugInList(), (std::vector<std::string>{"red", "failing"}));
}

TEST(SpiLib32, AnAcceptingPluginThatFailsIsTheSilentAbort) {
  TempDir folder;
  Install(folder, "fail", "a.spi");
  Install(folder, "red", "b.spi");  // never asked: the failing plug-in accepted first
  WriteFile(folder / "scan", Text("data"));
  TSpiLib32 host;
  host.LoadPlugins(folder.Path());
  TBitmap image;
  image.Allocate(2, 2, TPixelFormat::pf24bit);
  EXPECT_THROW(host.LoadFromFile(folder / "scan", image), EAbort);
  EXPECT_EQ(image.Width(), 2);
}

TEST(SpiLib32, DecodesFileBytesAndKeepsTheImageFormat) {
  TempDir folder;
  Install(folder, "blocks", "blocks.spi");
  DibLayout layout{
      .width = 2, .height = -1, .bits = 8, .colors_used = 2, .colors = {0x123456, 0xABCDEF}};
  WriteFile(folder / "picture.qvtb", BlocksFile(layout.Info(), {1, 0, 0, 0}));
  TSpiLib32 host;
  host.LoadPlugins(folder.Path());
  TBitmap image;
  image.SetPixelFormat(TPixelFormat::pf24bit);
  host.LoadFromFile(folder / "picture.qvtb", image);
  ASSERT_EQ(image.Width(), 2);
  EXPECT_EQ(image.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(Rgb24(image, 0, 0), 0xABCDEFu);
  EXPECT_EQ(Rgb24(image, 1, 0), 0x123456u);
  // Files no plug-in accepts leave the image as it was.
  WriteFile(folder / "other.qvtb", Text("QVTX"));
  host.LoadFromFile(folder / "other.qvtb", image);
  EXPECT_EQ(Rgb24(image, 0, 0), 0xABCDEFu);
}

TEST(SpiLib32, AMissingFileIsTheOpenError) {
  TSpiLib32 host;
  TBitmap image;
  EXPECT_THROW(host.LoadFromFile("/nonexistent-quenvale-file.gif", image), EFOpenError);
}

struct BadResultCase {
  std::string name;
  std::vector<std::uint8_t> info;
  std::vector<std::uint8_t> pixels;
  std::int32_t result;
  std::uint32_t flags;
};

class SpiLib32BadResult : public ::testing::TestWithParam<BadResultCase> {};

TEST_P(SpiLib32BadResult, IsTheSilentAbort) {
  const BadResultCase &c = GetParam();
  TempDir folder;
  Install(folder, "blocks", "blocks.spi");
  TSpiLib32 host;
  host.LoadPlugins(folder.Path());
  TBitmap image;
  EXPECT_THROW(
      host.LoadFromStream(TMemoryStream(BlocksFile(c.info, c.pixels, c.result, c.flags)), image),
      EAbort);
  EXPECT_TRUE(image.Empty());
}

const DibLayout kOnePixel{.width = 1, .height = 1, .bits = 24};
const BadResultCase kBadResults[] = {
    {"ErrorCodeWithGoodBlocks", kOnePixel.Info(), {1, 2, 3, 0}, 3, 0},
    {"NoInfoHandle", kOnePixel.Info(), {1, 2, 3, 0}, 0, 1},
    {"NoPixelHandle", kOnePixel.Info(), {1, 2, 3, 0}, 0, 2},
    {"NoHandles", kOnePixel.Info(), {1, 2, 3, 0}, 0, 3},
    {"EmptyInfoBlock", {}, {1, 2, 3, 0}, 0, 0},
    // One lying block stands for the rest, which the block copy's own tests list.
    {"PixelBlockTooShort", DibLayout{.width = 4, .height = 4, .bits = 24}.Info(),
     std::vector<std::uint8_t>(47, 0), 0, 0},
};

INSTANTIATE_TEST_SUITE_P(Results, SpiLib32BadResult, ::testing::ValuesIn(kBadResults),
                         [](const auto &test) { return test.param.name; });

TEST(SpiLib32, IsSupportedSeesZerosAfterAShortFile) {
  TempDir folder;
  Install(folder, "peek", "peek.spi");
  TSpiLib32 host;
  host.LoadPlugins(folder.Path());
  EXPECT_EQ(Rgb24(Decode(host, Text("QVTP")), 0, 0), 0x00FF00u);
  EXPECT_TRUE(Decode(host, Text("QVTP and more")).Empty());
}

TEST(SpiLib32, DefaultFoldersStartWithTheExecutableFolder) {
  std::vector<std::string> folders = DefaultPluginFolders();
  ASSERT_FALSE(folders.empty());
  EXPECT_EQ(folders[0], ExtractFilePath(ExecutableFileName()));
  for (const std::string &folder : folders) EXPECT_EQ(folder.back(), '/');
  EXPECT_LE(folders.size(), 2u);
}

}  // namespace
}  // namespace qv
