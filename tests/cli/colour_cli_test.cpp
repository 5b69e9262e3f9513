// Colour profiles and kept metadata end to end: quenvale-cli on pictures made at test time, the
// results checked against LittleCMS (Pillow's ImageCms, transicc), qpdf, exiftool and pngcheck.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

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

// Display P3 (its primaries and D65 white, sRGB's curve), made by LittleCMS.
void WriteDisplayP3(const std::string& path) {
  const cmsFloat64Number curve_parameters[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
  cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, curve_parameters);
  cmsToneCurve* curves[3] = {curve, curve, curve};
  const cmsCIExyY white = {0.3127, 0.3290, 1};
  const cmsCIExyYTRIPLE primaries = {{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}};
  cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
  cmsSaveProfileToFile(profile, path.c_str());
  cmsCloseProfile(profile);
  cmsFreeToneCurve(curve);
}

// The program and the test tools on pictures in a temporary folder.
class ToolCli : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool :
         {QV_PYTHON3, "/usr/bin/transicc", "/usr/bin/qpdf", "/usr/bin/exiftool",
          "/usr/bin/pngcheck", "/usr/share/color/icc/ghostscript/a98.icc",
          "/usr/share/color/icc/colord/ProPhotoRGB.icc", "/usr/share/color/icc/Gray.icc"})
      if (!std::filesystem::exists(tool)) GTEST_SKIP() << tool << " is missing (scripts/setup.sh)";
  }

  ProgramResult Tool(std::vector<std::string> args) {
    args.insert(args.begin(), QV_COLOUR_TOOL);
    return RunProgram(QV_PYTHON3, args);
  }
  std::string ToolOut(std::vector<std::string> args) {
    ProgramResult result = Tool(std::move(args));
    EXPECT_EQ(result.status, 0) << result.err;
    return result.out.substr(0, result.out.find_last_not_of('\n') + 1);
  }
  // The program in English, so its warnings read as written here.
  ProgramResult Cli(std::vector<std::string> args) {
    args.insert(args.begin(), {"--ini", dir / "test.ini", "--quiet"});
    return RunProgram(QV_CLI_PATH, args, {"DISPLAY=", "LANGUAGE=", "LC_ALL=C.UTF-8"});
  }
  int MaxDifference(const std::string& a, const std::string& b) {
    return std::stoi(ToolOut({"compare", a, b}));
  }
  std::string Exif(const std::string& path, const std::string& tag) {
    ProgramResult result = RunProgram("/usr/bin/exiftool", {"-s3", "-n", "-" + tag, path});
    return result.out.substr(0, result.out.find('\n'));
  }

  TempDir dir;
};

class ColourCli : public ToolCli {
 protected:
  void SetUp() override {
    ToolCli::SetUp();
    if (IsSkipped()) return;
    WriteDisplayP3(dir / "p3.icc");
    ProgramResult made = Tool({"make", dir.Path(), dir / "p3.icc"});
    ASSERT_EQ(made.status, 0) << made.err;
  }
};

using MetadataCli = ToolCli;

TEST_F(ColourCli, ProfilesAreConvertedToSrgbWithinOneLevelOfLittleCms) {
  const std::vector<std::string> names = {"a98",  "romm", "adobe", "prophoto", "p3",  "cmyk",
                                          "grey", "png8", "deep",  "tiff",     "webp"};
  auto input = [](const std::string& name) {
    if (name == "png8" || name == "deep") return name + ".png";
    if (name == "tiff") return name + ".tif";
    if (name == "webp") return name + ".webp";
    return name + ".jpg";
  };
  std::vector<std::string> args = {"--format", "png", "--out", dir / "one"};
  for (const std::string& name : names) args.push_back(dir / input(name));
  ProgramResult converted = Cli(args);
  ASSERT_EQ(converted.status, 0) << converted.err;
  EXPECT_EQ(converted.err, "");
  // A grey JPEG decodes to 236 dithered levels: its reference is the transform of those.
  ASSERT_EQ(
      Cli({"--format", "png", "--color-profile", "ignore", "--out", dir / "raw", dir / "grey.jpg"})
          .status,
      0);
  ASSERT_EQ(
      Tool({"to-srgb", dir / "raw/grey.png", "/usr/share/color/icc/Gray.icc", dir / "grey.ref.png"})
          .status,
      0);
  for (const std::string& name : names)
    EXPECT_LE(MaxDifference(dir / ("one/" + name + ".png"), dir / (name + ".ref.png")), 1) << name;
  EXPECT_EQ(ToolOut({"grey", dir / "one/grey.png"}), "grey");
  // Converted pictures carry no profile: they are sRGB, as an untagged picture is.
  EXPECT_EQ(ToolOut({"icc", dir / "one/a98.png"}), "none");

  // Two workers share the drop's transforms and write the same bytes.
  args[3] = dir / "two";
  args.insert(args.begin(), {"-j", "2"});
  ASSERT_EQ(Cli(args).status, 0);
  for (const std::string& name : names)
    EXPECT_EQ(FileBytes(dir / ("two/" + name + ".png")), FileBytes(dir / ("one/" + name + ".png")))
        << name;
}

TEST_F(ColourCli, TheUsersPatchesShowTheirColoursAndReducedPicturesAreConvertedAfterTheReduction) {
  ASSERT_EQ(Cli({"--format", "png", "--out", dir / "full", dir / "patches.jpg"}).status, 0);
  EXPECT_LT(std::stod(ToolOut({"delta-e", dir / "full/patches.png"})), 1.0);
  // Ignored, the numbers stay and every viewer shows them wrong.
  ASSERT_EQ(Cli({"--format", "png", "--color-profile", "ignore", "--out", dir / "ignored",
                 dir / "patches.jpg"})
                .status,
            0);
  EXPECT_GT(std::stod(ToolOut({"delta-e", dir / "ignored/patches.png"})), 10.0);

  // Reduced while decoding, then converted: exactly LittleCMS's transform of the reduced
  // pixels, for a reduction and (converted first) an enlargement alike.
  for (const char* size : {"24x20", "96x80"}) {
    const std::string s = size;
    for (const char* mode : {"srgb", "ignore"})
      ASSERT_EQ(Cli({"--format", "png", "--size", s, "--resample", "lanczos3", "--color-profile",
                     mode, "--out", dir / (s + mode), dir / "p3.jpg"})
                    .status,
                0);
    if (s == "24x20") {
      ASSERT_EQ(
          Tool({"to-srgb", dir / (s + "ignore/p3.png"), dir / "p3.icc", dir / "small.png"}).status,
          0);
      EXPECT_LE(MaxDifference(dir / (s + "srgb/p3.png"), dir / "small.png"), 1);
    } else {  // the converted picture, enlarged
      ASSERT_EQ(Cli({"--format", "png", "--out", dir / "converted", dir / "p3.jpg"}).status, 0);
      ASSERT_EQ(Cli({"--format", "png", "--size", s, "--resample", "lanczos3", "--out",
                     dir / "enlarged", dir / "converted/p3.png"})
                    .status,
                0);
      EXPECT_EQ(FileBytes(dir / (s + "srgb/p3.png")), FileBytes(dir / "enlarged/p3.png"));
    }
  }
}

TEST_F(ColourCli, UntaggedAndSrgbPicturesComeOutAsTheyAlwaysDid) {
  for (const char* format : {"png", "jpeg", "bmp", "pdf"}) {
    const std::string f = format;
    std::vector<std::string> common = {"--format", f, "--size", "40x30"};
    auto run = [&](const std::string& out, const std::vector<std::string>& extra) {
      std::vector<std::string> args = common;
      args.insert(args.end(), extra.begin(), extra.end());
      if (f == "pdf") {
        args.insert(args.end(), {"--pdf", dir / (out + ".pdf")});
      } else {
        args.insert(args.end(), {"--out", dir / out});
      }
      args.insert(args.end(), {dir / "plain.jpg", dir / "srgb.jpg"});
      ASSERT_EQ(Cli(args).status, 0) << f;
    };
    run(f + "_default", {});
    run(f + "_ignored", {"--color-profile", "ignore"});
    if (f == "pdf") continue;  // a PDF carries its creation time; its pages are checked below
    const char* extension = f == "png" ? ".png" : f == "jpeg" ? ".jpg" : ".bmp";
    for (const char* name : {"plain", "srgb"})
      EXPECT_EQ(FileBytes(dir / (f + "_default/" + name + extension)),
                FileBytes(dir / (f + "_ignored/" + name + extension)))
          << f << " " << name;
  }
  EXPECT_EQ(ToolOut({"pdf-spaces", dir / "pdf_default.pdf"}), "/DeviceRGB\n/DeviceRGB");
}

TEST_F(ColourCli, KeptProfilesTravelWhereTheyDescribeTheWrittenPixels) {
  // Keep: PNG and JPEG carry the profile over unchanged numbers; BMP cannot, so it converts.
  ASSERT_EQ(
      Cli({"--format", "png", "--color-profile", "keep", "--out", dir / "keep", dir / "a98.jpg"})
          .status,
      0);
  ASSERT_EQ(Cli({"--format", "png", "--color-profile", "ignore", "--out", dir / "ignore",
                 dir / "a98.jpg"})
                .status,
            0);
  EXPECT_EQ(ToolOut({"icc", dir / "keep/a98.png"}), ToolOut({"icc", dir / "a98.jpg"}));
  EXPECT_EQ(MaxDifference(dir / "keep/a98.png", dir / "ignore/a98.png"), 0);
  ASSERT_EQ(
      Cli({"--format", "bmp", "--color-profile", "keep", "--out", dir / "keep", dir / "a98.jpg"})
          .status,
      0);
  EXPECT_LE(MaxDifference(dir / "keep/a98.bmp", dir / "a98.ref.png"), 1);

  // --keep-metadata keeps too, but a CMYK or grey profile never goes with RGB pixels: those
  // pictures are converted and the outputs pass libpng's check.
  ASSERT_EQ(Cli({"--format", "png", "--keep-metadata", "--out", dir / "meta", dir / "a98.jpg",
                 dir / "cmyk.jpg", dir / "grey.jpg"})
                .status,
            0);
  EXPECT_EQ(ToolOut({"icc", dir / "meta/a98.png"}), ToolOut({"icc", dir / "a98.jpg"}));
  ASSERT_EQ(Cli({"--format", "png", "--out", dir / "converted", dir / "cmyk.jpg", dir / "grey.jpg"})
                .status,
            0);
  for (const char* name : {"cmyk", "grey"}) {
    const std::string png = dir / ("meta/" + std::string(name) + ".png");
    EXPECT_EQ(ToolOut({"icc", png}), "none") << name;
    EXPECT_EQ(FileBytes(png), FileBytes(dir / ("converted/" + std::string(name) + ".png"))) << name;
    EXPECT_EQ(RunProgram("/usr/bin/pngcheck", {"-q", png}).status, 0) << name;
  }
  ASSERT_EQ(
      Cli({"--format", "jpeg", "--keep-metadata", "--out", dir / "meta", dir / "cmyk.jpg"}).status,
      0);
  EXPECT_EQ(ToolOut({"icc", dir / "meta/cmyk.jpg"}), "none");
}

TEST_F(ColourCli, ABrokenProfileIsAWarningAndThePictureConvertsAsUntagged) {
  ProgramResult converted =
      Cli({"--format", "png", "--out", dir / "out", dir / "broken.jpg", dir / "plain.jpg"});
  ASSERT_EQ(converted.status, 0) << converted.err;
  EXPECT_EQ(converted.err, "quenvale-cli: warning: " + dir / "broken.jpg" +
                               ": colour profile ignored: the profile cannot be read\n");
  EXPECT_EQ(MaxDifference(dir / "out/broken.png", dir / "out/plain.png"), 0);
}

TEST_F(ColourCli, PdfPagesNameTheProfileOfJpegsTheyEmbedUnchanged) {
  std::filesystem::copy_file(dir / "a98.jpg", dir / "a98_again.jpg");
  ProgramResult made =
      Cli({"--format", "pdf", "--pdf", dir / "album.pdf", dir / "a98.jpg", dir / "srgb.jpg",
           dir / "a98_again.jpg", dir / "cmyk.jpg", dir / "png8.png"});
  ASSERT_EQ(made.status, 0) << made.err;
  ASSERT_EQ(RunProgram("/usr/bin/qpdf", {"--check", dir / "album.pdf"}).status, 0);
  std::string spaces = ToolOut({"pdf-spaces", dir / "album.pdf"});
  std::istringstream lines(spaces);
  std::vector<std::string> pages;
  for (std::string line; std::getline(lines, line);) pages.push_back(line);
  ASSERT_EQ(pages.size(), 5u) << spaces;
  // The two Adobe RGB pages share one profile stream holding the file's profile.
  const std::string a98 = ToolOut({"icc", dir / "a98.jpg"}).substr(0, 16);
  EXPECT_EQ(pages[0], "ICCBased 3 " + a98 + pages[0].substr(pages[0].rfind(' '))) << spaces;
  EXPECT_EQ(pages[2], pages[0]);
  EXPECT_EQ(pages[1], "/DeviceRGB");
  EXPECT_EQ(pages[3].substr(0, 11), "ICCBased 4 ");
  EXPECT_EQ(pages[4], "/DeviceRGB");  // compressed anew from converted pixels
  EXPECT_EQ(FileBytes(dir / "album.pdf").substr(0, 8), "%PDF-1.3");

  // Kept, a page compressed anew keeps the numbers and names the profile too.
  ASSERT_EQ(Cli({"--format", "pdf", "--color-profile", "keep", "--pdf", dir / "kept.pdf",
                 dir / "png8.png"})
                .status,
            0);
  EXPECT_EQ(ToolOut({"pdf-spaces", dir / "kept.pdf"}).substr(0, 27), "ICCBased 3 " + a98);

  // Ignored, every page shows its device colours as it always did.
  ASSERT_EQ(Cli({"--format", "pdf", "--color-profile", "ignore", "--pdf", dir / "plain.pdf",
                 dir / "a98.jpg", dir / "png8.png"})
                .status,
            0);
  EXPECT_EQ(ToolOut({"pdf-spaces", dir / "plain.pdf"}), "/DeviceRGB\n/DeviceRGB");
  EXPECT_EQ(FileBytes(dir / "plain.pdf").substr(0, 8), "%PDF-1.2");
}

TEST_F(MetadataCli, CameraMakerNotesComeBackByteForByteAndTheThumbnailGoesWithTheOldPixels) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(QV_CAMERA_EXIF_DIR)) {
    if (entry.path().extension() != ".jpg") continue;
    names.push_back(entry.path().stem().string());
    ASSERT_EQ(Tool({"camera-jpeg", entry.path().string(), dir / (names.back() + ".jpg")}).status,
              0);
  }
  ASSERT_GE(names.size(), 10u);
  std::vector<std::string> jpeg = {"--format", "jpeg",  "--keep-metadata", "--auto-orient",
                                   "--size",   "32x24", "--out",           dir / "jpeg"};
  std::vector<std::string> png = {"--format",      "png",   "--keep-metadata",
                                  "--auto-orient", "--out", dir / "png"};
  for (const std::string& name : names) {
    jpeg.push_back(dir / (name + ".jpg"));
    png.push_back(dir / (name + ".jpg"));
  }
  ProgramResult to_jpeg = Cli(jpeg), to_png = Cli(png);
  ASSERT_EQ(to_jpeg.status, 0) << to_jpeg.err;
  ASSERT_EQ(to_png.status, 0) << to_png.err;
  EXPECT_EQ(to_jpeg.err + to_png.err, "");
  // Each file's model, orientation, EXIF width, thumbnail length and maker notes (their tags
  // and their bytes), for the inputs and both outputs.
  auto summary = [&](const std::string& folder, const std::string& extension) {
    std::vector<std::string> args = {"camera-summary"};
    for (const std::string& name : names) args.push_back(dir / (folder + name + extension));
    std::istringstream lines(ToolOut(args));
    std::vector<std::vector<std::string>> rows;
    for (std::string line; std::getline(lines, line);) {
      std::vector<std::string> fields;
      std::istringstream cells(line);
      for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(cell);
      fields.resize(6);
      rows.push_back(fields);
    }
    EXPECT_EQ(rows.size(), names.size());
    rows.resize(names.size());
    return rows;
  };
  const auto in = summary("", ".jpg"), out_jpeg = summary("jpeg/", ".jpg"),
             out_png = summary("png/", ".png");
  int turned = 0;
  for (std::size_t i = 0; i < names.size(); ++i) {
    SCOPED_TRACE(names[i]);
    const auto &before = in[i], &jpeg_after = out_jpeg[i], &png_after = out_png[i];
    EXPECT_NE(before[4].substr(0, 2), "0:");  // the camera wrote maker notes
    for (const auto* after : {&jpeg_after, &png_after}) {
      EXPECT_EQ((*after)[0], before[0]);  // the model
      EXPECT_EQ((*after)[1], "1");        // upright
      EXPECT_EQ((*after)[4], before[4]);  // every maker-note tag
      EXPECT_EQ((*after)[5], before[5]);  // the maker note's bytes
    }
    EXPECT_EQ(jpeg_after[2], before[2].empty() ? "" : "32");
    // Resized or turned: the thumbnail shows the old pixels and goes; otherwise it stays.
    const bool turns = before[1] == "6";
    turned += turns;
    EXPECT_EQ(jpeg_after[3], "");
    EXPECT_EQ(png_after[3], turns ? "" : before[3]);
  }
  EXPECT_GE(turned, 2);
}

TEST_F(MetadataCli, BlocksThatLoopAreMendedAndBlocksThatAreNoTiffDataLeftOut) {
  ASSERT_EQ(Tool({"looped-exif", dir / "looped.jpg"}).status, 0);
  ASSERT_EQ(Tool({"not-tiff-exif", dir / "text.jpg"}).status, 0);
  for (const char* format : {"jpeg", "png"}) {
    ProgramResult converted = Cli({"--format", format, "--keep-metadata", "--auto-orient", "--out",
                                   dir / format, dir / "looped.jpg", dir / "text.jpg"});
    ASSERT_EQ(converted.status, 0) << converted.err;
    EXPECT_EQ(converted.err, "quenvale-cli: warning: " + dir / "text.jpg" +
                                 ": EXIF data left out: the block is not TIFF data\n");
    const std::string looped =
        dir / (std::string(format) + "/looped" + (format == std::string("png") ? ".png" : ".jpg"));
    // Turned upright (stored 40 x 24 with orientation 6), said so once, its make kept.
    EXPECT_EQ(Exif(looped, "Orientation"), "1") << format;
    EXPECT_EQ(Exif(looped, "Make"), "LoopCam") << format;
    EXPECT_EQ(Exif(looped, "ImageHeight"), "40") << format;
  }
  EXPECT_EQ(ToolOut({"png-chunks", dir / "png/text.png"}), "IHDR IDAT IEND");
  EXPECT_NE(ToolOut({"pillow-exif", dir / "png/looped.png"}), "error");
}

TEST_F(MetadataCli, XmpAndIptcAreKeptAndXmpTurnsUprightWithThePixels) {
  const std::string in = dir / "tagged.jpg";
  ASSERT_EQ(
      Tool({"camera-jpeg", std::string(QV_CAMERA_EXIF_DIR) + "/has-lens-info.jpg", in}).status, 0);
  ASSERT_EQ(RunProgram("/usr/bin/exiftool", {"-q", "-overwrite_original", "-XMP-dc:Subject=Harbour",
                                             "-XMP-tiff:Orientation#=6", "-IPTC:Keywords=Harbour",
                                             "-IPTC:Caption-Abstract=Boats at dawn", in})
                .status,
            0);
  ASSERT_EQ(Cli({"--format", "jpeg", "--keep-metadata", "--auto-orient", "--out", dir / "out", in})
                .status,
            0);
  ASSERT_EQ(Cli({"--format", "png", "--keep-metadata", "--out", dir / "out", in}).status, 0);
  const std::string jpeg = dir / "out/tagged.jpg", png = dir / "out/tagged.png";
  EXPECT_EQ(Exif(jpeg, "XMP-dc:Subject"), "Harbour");
  EXPECT_EQ(Exif(jpeg, "XMP-tiff:Orientation"), "1");
  EXPECT_EQ(Exif(jpeg, "IPTC:Keywords"), "Harbour");
  EXPECT_EQ(Exif(jpeg, "IPTC:Caption-Abstract"), "Boats at dawn");
  // A PNG holds XMP (not turned here: the viewer turns the picture by its orientation).
  EXPECT_EQ(Exif(png, "XMP-dc:Subject"), "Harbour");
  EXPECT_EQ(Exif(png, "XMP-tiff:Orientation"), "6");
  EXPECT_EQ(RunProgram("/usr/bin/pngcheck", {"-q", png}).status, 0);
}

}  // namespace
}  // namespace qv
