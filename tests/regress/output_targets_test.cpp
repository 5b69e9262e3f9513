// End-to-end tests of quenvale-cli at the edges of its outputs: PDF targets, pages, files it may
// not write, a missing output folder, two inputs with one output, names printed to a terminal
// and the 256-colour reduction of every kind of picture.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "regress/cli_under_test.h"
#include "regress/crafted_files.h"
#include "support/file_bytes.h"
#include "support/temp_dir.h"
#include "support/test_data.h"
#include "support/test_locale.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using testing::BmpFields;
using testing::ChildOptions;
using testing::MakeBmp;
using testing::ProgramResult;
using testing::ReadFile;
using testing::RunCli;
using testing::TempDir;
using testing::WriteFile;

// A 24-bit W x H BMP, every byte of its pixels the given value.
std::string Bmp(int width, int height, char value = '\x40') {
  BmpFields f;
  f.width = width;
  f.height = height;
  std::size_t row = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
  return MakeBmp(f, std::string(row * static_cast<std::size_t>(height), value));
}

// A BMP whose bit count no reader accepts.
std::string BadBmp() {
  BmpFields f;
  f.bits = 7;
  return MakeBmp(f, std::string(64, '\0'));
}

std::string TestData(const std::string& relative) { return testing::TestDataPath(relative); }

bool Contains(const std::string& text, const std::string& piece) {
  return text.find(piece) != std::string::npos;
}

// Number of pages of a PDF written by the program (its page tree's count).
int PdfPages(const std::string& path) {
  std::string bytes = ReadFile(path);
  auto at = bytes.find("/Count ");
  return at == std::string::npos ? -1 : std::atoi(bytes.c_str() + at + 7);
}

class OutputTargets : public ::testing::Test {
 protected:
  // quenvale-cli with a settings file of its own in the test's folder.
  ProgramResult Cli(std::vector<std::string> args, const ChildOptions& options = {}) {
    args.insert(args.begin(), {"--ini", dir / "test.ini", "--quiet"});
    return RunCli(args, options);
  }
  ProgramResult Pdf(const std::string& pdf, std::vector<std::string> args) {
    args.insert(args.begin(), {"--format", "pdf", "--pdf", pdf});
    return Cli(args);
  }
  TempDir dir;
};

// A PDF target that is one of the inputs, by any spelling, or an existing file that is not a PDF
// (the first name of a shell glob, --pdf *.bmp) is refused before anything is converted.
TEST_F(OutputTargets, PdfTargetThatIsAnInputOrNoPdfIsRefused) {
  qv::testing::TEnglishTexts english;  // the child speaks English too
  WriteFile(dir / "a.bmp", Bmp(2, 2));
  WriteFile(dir / "b.bmp", Bmp(3, 3));
  const std::string a = ReadFile(dir / "a.bmp");

  ProgramResult input = Pdf(dir.Path() + "./a.bmp", {dir / "a.bmp", dir / "b.bmp"});
  EXPECT_EQ(input.status, 1) << input.err;
  EXPECT_TRUE(Contains(input.err, "a.bmp")) << input.err;
  EXPECT_TRUE(Contains(input.err, "one of the files to convert")) << input.err;
  EXPECT_EQ(ReadFile(dir / "a.bmp"), a);

  ProgramResult glob = Pdf(dir / "a.bmp", {dir / "b.bmp"});
  EXPECT_EQ(glob.status, 1) << glob.err;
  EXPECT_TRUE(Contains(glob.err, "not a PDF")) << glob.err;
  EXPECT_EQ(ReadFile(dir / "a.bmp"), a);

  // Refused as well with --overwrite, and a folder is no target either.
  ProgramResult forced = Pdf(dir / "a.bmp", {"--overwrite", dir / "b.bmp"});
  EXPECT_EQ(forced.status, 1) << forced.err;
  EXPECT_EQ(ReadFile(dir / "a.bmp"), a);
  fs::create_directory(dir / "folder.pdf");
  EXPECT_EQ(Pdf(dir / "folder.pdf", {"--overwrite", dir / "b.bmp"}).status, 1);
  EXPECT_TRUE(fs::is_empty(dir / "folder.pdf"));
}

// An existing PDF is replaced only when overwriting is asked for.
TEST_F(OutputTargets, ExistingPdfIsReplacedOnlyWithOverwrite) {
  WriteFile(dir / "a.bmp", Bmp(2, 2));
  WriteFile(dir / "b.bmp", Bmp(3, 3));
  WriteFile(dir / "album.pdf", "%PDF-1.4 an album made before");

  ProgramResult kept = Pdf(dir / "album.pdf", {dir / "a.bmp", dir / "b.bmp"});
  EXPECT_EQ(kept.status, 1) << kept.err;
  EXPECT_TRUE(Contains(kept.err, "--overwrite")) << kept.err;
  EXPECT_EQ(ReadFile(dir / "album.pdf"), "%PDF-1.4 an album made before");

  ProgramResult replaced = Pdf(dir / "album.pdf", {"--overwrite", dir / "a.bmp", dir / "b.bmp"});
  EXPECT_EQ(replaced.status, 0) << replaced.err;
  EXPECT_EQ(PdfPages(dir / "album.pdf"), 2);
}

// "a.pdf" beside "a.bmp" is no output of the page: the page is still added, a.pdf untouched.
TEST_F(OutputTargets, AFileNamedLikeThePageDoesNotDropIt) {
  WriteFile(dir / "a.bmp", Bmp(2, 2));
  WriteFile(dir / "b.bmp", Bmp(3, 3));
  WriteFile(dir / "a.pdf", "%PDF-1.4 something else");
  ProgramResult run = Pdf(dir / "album.pdf", {dir / "a.bmp", dir / "b.bmp"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(PdfPages(dir / "album.pdf"), 2);
  EXPECT_EQ(ReadFile(dir / "a.pdf"), "%PDF-1.4 something else");
}

// A PDF drop ending on a failing file writes the pages made before it and says so.
TEST_F(OutputTargets, PdfDropEndingOnAFailureKeepsItsPages) {
  qv::testing::TEnglishTexts english;  // the child speaks English too
  WriteFile(dir / "a.bmp", Bmp(2, 2));
  WriteFile(dir / "b.bmp", Bmp(3, 3));
  WriteFile(dir / "bad.bmp", BadBmp());
  WriteFile(dir / "c.bmp", Bmp(4, 4));
  ProgramResult run =
      Pdf(dir / "album.pdf", {dir / "a.bmp", dir / "b.bmp", dir / "bad.bmp", dir / "c.bmp"});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(run.err.rfind(dir / "bad.bmp: ", 0), 0u) << run.err;
  EXPECT_TRUE(Contains(run.err, "album.pdf holds the first 2 pages")) << run.err;
  EXPECT_EQ(PdfPages(dir / "album.pdf"), 2);

  // Failing on the first file leaves nothing to write: no file, no note.
  fs::remove(dir / "album.pdf");
  ProgramResult first = Pdf(dir / "album.pdf", {dir / "bad.bmp", dir / "a.bmp"});
  EXPECT_EQ(first.status, 1);
  EXPECT_FALSE(Contains(first.err, "holds")) << first.err;
  EXPECT_FALSE(fs::exists(dir / "album.pdf"));
}

// An output file the user may not write is not replaced, although the folder allows a rename.
TEST_F(OutputTargets, OutputTheUserMayNotWriteIsKept) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run the program as another user";
  constexpr uid_t kNobody = 65534;
  fs::permissions(dir.Path(), fs::perms::all);
  fs::create_directory(dir / "out");
  fs::permissions(dir / "out", fs::perms::all);
  WriteFile(dir / "a.bmp", Bmp(2, 2));
  WriteFile(dir / "b.bmp", Bmp(2, 2));
  WriteFile(dir / "out/a.bmp", "root's file");
  fs::permissions(dir / "out/a.bmp", fs::perms::owner_read | fs::perms::owner_write |
                                         fs::perms::group_read | fs::perms::others_read);
  ChildOptions as_nobody;
  as_nobody.uid = kNobody;
  ProgramResult run = RunCli({"--ini", dir / "nobody.ini", "--quiet", "--format", "bmp", "--out",
                              dir / "out", "--overwrite", dir / "b.bmp", dir / "a.bmp"},
                             as_nobody);
  if (run.status == 126 || run.status == 127) GTEST_SKIP() << "cannot run as nobody here";
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_TRUE(Contains(run.err, dir / "out/a.bmp")) << run.err;
  EXPECT_EQ(ReadFile(dir / "out/a.bmp"), "root's file");
  EXPECT_TRUE(fs::exists(dir / "out/b.bmp")) << "a new file in the same folder is written";
}

// OutputMode 1 without a folder is refused; nothing is written to "/".
TEST_F(OutputTargets, IntoAFolderWithoutAFolderIsRefused) {
  std::string name = "qv-no-folder-" + std::to_string(std::random_device{}()) + ".bmp";
  WriteFile(dir / name, Bmp(2, 2));
  ProgramResult run =
      Cli({"--format", "bmp", "--set", "OutputMode=1", "--set", "DstDir=", dir / name});
  bool written_to_root = fs::exists("/" + name);
  if (written_to_root) fs::remove("/" + name);
  EXPECT_FALSE(written_to_root);
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_TRUE(Contains(run.err, "DstDir")) << run.err;
}

// The first pixel byte of a 24-bit BMP the program wrote.
int FirstPixelByte(const std::string& path) {
  std::string bytes = ReadFile(path);
  return bytes.size() > 54 ? static_cast<unsigned char>(bytes[54]) : -1;
}

// Two inputs of one drop with one output: the settings decide, and both inputs are named.
TEST_F(OutputTargets, SameOutputTwiceInOneDropNamesBothInputs) {
  qv::testing::TEnglishTexts english;  // the child speaks English too
  fs::create_directories(dir / "x");
  fs::create_directories(dir / "y");
  WriteFile(dir / "x/IMG_0001.bmp", Bmp(2, 2, '\x10'));
  WriteFile(dir / "y/IMG_0001.bmp", Bmp(2, 2, '\x20'));
  const std::vector<std::string> args = {
      "--format", "bmp", "--out", dir / "out", dir / "x/IMG_0001.bmp", dir / "y/IMG_0001.bmp"};

  std::vector<std::string> pass_over = args;
  ProgramResult passed = Cli(pass_over);
  EXPECT_EQ(passed.status, 0) << passed.err;
  EXPECT_EQ(FirstPixelByte(dir / "out/IMG_0001.bmp"), 0x10) << "the first input's picture";
  EXPECT_TRUE(Contains(passed.err, dir / "x/IMG_0001.bmp")) << passed.err;
  EXPECT_TRUE(Contains(passed.err, dir / "y/IMG_0001.bmp")) << passed.err;
  EXPECT_TRUE(Contains(passed.err, "passed over")) << passed.err;

  std::vector<std::string> overwrite = args;
  overwrite.push_back("--overwrite");
  ProgramResult replaced = Cli(overwrite);
  EXPECT_EQ(replaced.status, 0) << replaced.err;
  EXPECT_EQ(FirstPixelByte(dir / "out/IMG_0001.bmp"), 0x20) << "the second input's picture";
  EXPECT_TRUE(Contains(replaced.err, dir / "x/IMG_0001.bmp")) << replaced.err;
  EXPECT_TRUE(Contains(replaced.err, "overwritten")) << replaced.err;

  // Different extensions, one output name: a.bmp and a.png to BMP beside them.
  WriteFile(dir / "a.png", ReadFile(TestData("pngsuite/basn0g08.png")));
  WriteFile(dir / "a.jpg", ReadFile(TestData("jpeg/libjpeg-turbo/testimggray.jpg")));
  ProgramResult beside = Cli({"--format", "bmp", dir / "a.png", dir / "a.jpg"});
  EXPECT_EQ(beside.status, 0) << beside.err;
  EXPECT_TRUE(Contains(beside.err, dir / "a.png")) << beside.err;
  EXPECT_TRUE(Contains(beside.err, dir / "a.jpg")) << beside.err;
}

// Names printed by the program cannot reach the terminal as control sequences or forge lines:
// they are quoted with escapes, as GNU tools quote names.
TEST_F(OutputTargets, NamesReachTheTerminalQuoted) {
  const std::string odd = "x\033]0;owned\007\nquenvale-cli: all done\xFF.bmp";
  WriteFile(dir / odd, BadBmp());
  ProgramResult run = Cli({"--format", "bmp", "--out", dir / "out", dir / odd});
  EXPECT_EQ(run.status, 1);
  EXPECT_FALSE(Contains(run.err, "\033")) << run.err;
  EXPECT_FALSE(Contains(run.err, "\007")) << run.err;
  EXPECT_FALSE(Contains(run.err, "\xFF")) << run.err;
  ASSERT_FALSE(run.err.empty());
  EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
  EXPECT_EQ(run.err.rfind("'" + dir.Path() +
                              "x'$'\\033'']0;owned'$'\\a\\n''quenvale-cli: all done'"
                              "$'\\377''.bmp': ",
                          0),
            0u)
      << run.err;

  // The same for the names of a warning.
  WriteFile(dir / "a\tb.bmp", Bmp(2, 2));
  fs::create_directories(dir / "again");
  WriteFile(dir / "again/a\tb.bmp", Bmp(2, 2));
  ProgramResult twice =
      Cli({"--format", "bmp", "--out", dir / "out", dir / "a\tb.bmp", dir / "again/a\tb.bmp"});
  EXPECT_EQ(twice.status, 0) << twice.err;
  EXPECT_FALSE(Contains(twice.err, "\t")) << twice.err;
  EXPECT_TRUE(Contains(twice.err, "'" + dir.Path() + "a'$'\\t''b.bmp'")) << twice.err;
}

// Bits per pixel of a written BMP.
int BmpBits(const std::string& path) {
  std::string bytes = ReadFile(path);
  return bytes.size() > 29 ? static_cast<unsigned char>(bytes[28]) : -1;
}

// 256 colours from any picture: 1-, 4-, 8-, 16- and 32-bit BMPs, grey and palette PNGs, a grey
// JPEG and a plug-in's picture are brought to 24 bits and reduced, each to an 8-bit BMP.
TEST_F(OutputTargets, Reduce256ColoursTakesEveryDepth) {
  const std::vector<std::string> inputs = {TestData("bmpsuite/g/pal1.bmp"),
                                           TestData("bmpsuite/g/pal4.bmp"),
                                           TestData("bmpsuite/g/pal8.bmp"),
                                           TestData("bmpsuite/g/rgb16.bmp"),
                                           TestData("bmpsuite/g/rgb32.bmp"),
                                           TestData("pngsuite/basn0g08.png"),
                                           TestData("pngsuite/basn3p08.png"),
                                           TestData("jpeg/libjpeg-turbo/testimggray.jpg"),
                                           dir / "grey.pgm"};
  WriteFile(dir / "grey.pgm", std::string("P5\n2 2\n255\n\x00\x40\x80\xFF", 15));
  std::vector<std::string> args = {"--format", "bmp", "--reduce256", "--out", dir / "out"};
  args.insert(args.end(), inputs.begin(), inputs.end());
  ProgramResult run = Cli(args);
  EXPECT_EQ(run.status, 0) << run.err;
  for (const std::string& input : inputs) {
    std::string output = dir / ("out/" + fs::path(input).stem().string() + ".bmp");
    EXPECT_EQ(BmpBits(output), 8) << input;
  }
}

}  // namespace
}  // namespace qv
