// End-to-end tests of quenvale-cli on real files in a temporary folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "settings/setting_table.h"
#include "support/child_process.h"
#include "support/temp_dir.h"
#include "support/test_data.h"
#include "support/test_locale.h"

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

// A usage error is reported as GNU programs report one, in the user's language: one line with the
// reason, one telling where the help is, exit status 2.
TEST_F(Cli, UsageErrorsExitTwoWithOneLineAndWhereTheHelpIs) {
  for (const auto& args :
       std::vector<std::vector<std::string>>{{"--bogus", "x.bmp"},
                                             {},
                                             {"--set", "NoSuchKey=1", "x.bmp"},
                                             {"--set", "TargetRes=abc", "x.bmp"},
                                             {"--set", "novalue", "x.bmp"},
                                             {"--format", "tiff", "x.bmp"},
                                             {"--quality", "101", "x.bmp"},
                                             {"--format", "pdf", "x.bmp"},  // no --pdf
                                             {"-j", "-1", "x.bmp"},
                                             {"--jobs", "two", "x.bmp"},
                                             {"-j2x", "x.bmp"},
                                             {"--jobs=", "x.bmp"},
                                             {"-j"},
                                             {"--quality"}}) {
    ProgramResult result = Run(args);
    EXPECT_EQ(result.status, 2) << ::testing::PrintToString(args) << result.err;
    EXPECT_EQ(result.out, "");
    std::size_t first_end = result.err.find('\n');
    ASSERT_NE(first_end, std::string::npos) << result.err;
    EXPECT_EQ(result.err.rfind("quenvale-cli: ", 0), 0u) << result.err;
    EXPECT_EQ(result.err.substr(first_end + 1),
              "詳しくは 'quenvale-cli --help' を実行してください。\n")
        << result.err;
  }
  qv::testing::TEnglishTexts english;
  EXPECT_EQ(Run({"--bogus"}).err,
            "quenvale-cli: unknown option --bogus\n"
            "Try 'quenvale-cli --help' for more information.\n");
}

// --help and --version print on standard output and exit 0; the version names the copyright
// holder and the licence.
TEST_F(Cli, HelpAndVersionPrintAndExit) {
  ProgramResult help = Run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("quenvale-cli [OPTIONS] FILE..."), std::string::npos) << help.out;
  qv::testing::TEnglishTexts english;
  ProgramResult version = Run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.substr(0, version.out.find('\n')), "quenvale-cli 1.0.0");
  EXPECT_NE(version.out.find("Copyright (C) 2026 The Quenvale developers\nLicence: MIT"),
            std::string::npos)
      << version.out;
}

// A usage error quotes what was typed as file names are quoted (a name a shell glob made an
// option must not drive the terminal), and names the option the user typed.
TEST_F(Cli, UsageErrorsQuoteWhatWasTypedAndNameTheOptionTyped) {
  qv::testing::TEnglishTexts english;  // the child speaks English too
  const std::string glob_name = "--\x1b]0;PWNED\a\x1b[2J.jpg";
  struct Case {
    std::vector<std::string> args;
    std::string expected;  // the message's first line
  };
  const Case cases[] = {
      {{glob_name}, "quenvale-cli: unknown option '--'$'\\033'']0;PWNED'$'\\a\\033''[2J.jpg'"},
      {{"--out", "a\nb", "x.bmp"}, "quenvale-cli: --out: malformed value \"'a'$'\\n''b'\""},
      {{"--set", "DstDir=a\nb", "x.bmp"},
       "quenvale-cli: --set: unknown key or malformed value \"DstDir='a'$'\\n''b'\""},
      {{"--quality", "\x1b[2J"},
       "quenvale-cli: --quality: expected a whole number from 1 to 100, "
       "got \"$'\\033''[2J'\""},
  };
  for (const Case& c : cases) {
    ProgramResult result = Run(c.args);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err.substr(0, result.err.find('\n')), c.expected);
    EXPECT_EQ(result.err.find_first_of("\x1b\a"), std::string::npos) << result.err;
  }
}

TEST_F(Cli, ConvertsTheNamesAsOneDropQuietlyOnSuccess) {
  qv::testing::TEnglishTexts english;  // the child speaks English too
  WriteBmp(dir / "a.bmp", 3, 2);
  WriteBmp(dir / "b.bmp", 5, 1);
  std::filesystem::create_directory(dir / "folder");
  ProgramResult result = Run({"--out", dir / "out", "--format", "bmp", dir / "a.bmp",
                              dir / "folder", dir / "missing.bmp", dir / "b.bmp"});
  EXPECT_EQ(result.status, 0) << result.err;
  // A folder is passed over silently; a name that does not exist gets a warning.
  EXPECT_EQ(result.err, "quenvale-cli: warning: " + dir / "missing.bmp" + ": no such file\n");
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

// The texts follow the locale as gettext reads it: LANGUAGE first (unless the locale is plain
// "C"), then LC_ALL, LC_MESSAGES, LANG; English where no catalogue matches.
TEST_F(Cli, TextsAreJapaneseUnderAJapaneseLocaleAndEnglishOtherwise) {
  std::ofstream(dir / "bad.bmp") << "XXXX not a bitmap";
  struct Case {
    std::vector<std::string> env;
    bool japanese;
  };
  const Case cases[] = {
      {{"LANGUAGE=", "LC_ALL=ja_JP.UTF-8"}, true},
      {{"LANGUAGE=", "LC_ALL=", "LC_MESSAGES=ja_JP.UTF-8", "LANG=C.UTF-8"}, true},
      {{"LANGUAGE=", "LC_ALL=", "LC_MESSAGES=", "LANG=ja_JP.UTF-8"}, true},
      {{"LANGUAGE=ja", "LC_ALL=C.UTF-8"}, true},
      {{"LANGUAGE=", "LC_ALL=C.UTF-8"}, false},
      {{"LANGUAGE=", "LC_ALL=", "LC_MESSAGES=C.UTF-8", "LANG=ja_JP.UTF-8"}, false},
      {{"LANGUAGE=ja", "LC_ALL=C"}, false},  // the plain C locale ignores LANGUAGE
      {{"LANGUAGE=", "LC_ALL=de_DE.UTF-8"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.env));
    ProgramResult help = Run({"--help"}, c.env);
    ProgramResult unknown = Run({"--bogus"}, c.env);
    ProgramResult bad = Run({"--out", dir / "out", dir / "bad.bmp"}, c.env);
    ProgramResult missing = Run({"-v", "--out", dir / "out", dir / "missing.bmp"}, c.env);
    ProgramResult no_ini = Run({"--ini", "", "a.bmp"}, c.env);
    if (c.japanese) {
      EXPECT_EQ(help.out.rfind("使い方: quenvale-cli [OPTIONS] FILE...\n", 0), 0u) << help.out;
      EXPECT_NE(
          help.out.find("  --out DIR                     DIR に書き出す (なければ作成する)\n"),
          std::string::npos);
      EXPECT_EQ(unknown.err.rfind("quenvale-cli: 不明なオプション --bogus\n", 0), 0u)
          << unknown.err;
      EXPECT_EQ(bad.err, dir / "bad.bmp" + ": ビットマップイメージが不正です.\n");
      EXPECT_EQ(missing.err, "quenvale-cli: 警告: " + dir / "missing.bmp" +
                                 ": ファイルがない\n"
                                 "quenvale-cli: 変換 0、スキップ 1 (ファイルがない 1)、失敗 0\n");
      EXPECT_EQ(no_ini.err.rfind("quenvale-cli: --ini: ファイル名がありません\n", 0), 0u)
          << no_ini.err;
    } else {
      EXPECT_EQ(help.out.rfind("usage: quenvale-cli [OPTIONS] FILE...\n", 0), 0u) << help.out;
      EXPECT_NE(
          help.out.find("  --out DIR                     write into DIR (created when missing)\n"),
          std::string::npos);
      EXPECT_EQ(unknown.err.rfind("quenvale-cli: unknown option --bogus\n", 0), 0u) << unknown.err;
      EXPECT_EQ(bad.err, dir / "bad.bmp" + ": Invalid bitmap image.\n");
      EXPECT_EQ(missing.err, "quenvale-cli: warning: " + dir / "missing.bmp" +
                                 ": no such file\n"
                                 "quenvale-cli: 0 converted, 1 passed over (1 no such file), "
                                 "0 failed\n");
      EXPECT_EQ(no_ini.err.rfind("quenvale-cli: --ini: missing file name\n", 0), 0u) << no_ini.err;
    }
  }
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

  // Every setting, each with the value the conversion uses; a stored text that is no number, or
  // a number out of range, is named in a warning.
  qv::testing::TEnglishTexts english;  // the child speaks English too
  std::ofstream(dir / "test.ini") << "[tester]\nCustomWidth=abc\nJPEGQL=150\nPNGCL=7\n";
  ProgramResult shown = Run({"--section", "tester", "--show-settings"});
  EXPECT_EQ(shown.status, 0) << shown.err;
  for (const TSettingRow& row : SettingRows())
    EXPECT_NE(shown.out.find("\n" + std::string(row.key) + "="), std::string::npos) << row.key;
  EXPECT_NE(shown.out.find("\nCustomWidth=1\n"), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find("\nJPEGQL=100\n"), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find("\nPNGCL=7\n"), std::string::npos) << shown.out;
  EXPECT_EQ(shown.err,
            "quenvale-cli: warning: JPEGQL=150 is out of range: the conversion uses 100\n"
            "quenvale-cli: warning: CustomWidth=abc is not a number: the conversion uses 1\n");
}

// Every setting's option, as the setting table gives it, reaches the stored setting, and the help
// names every option and every key.
TEST_F(Cli, EverySettingsOptionSetsItsSettingAndIsInTheHelp) {
  std::string help = Run({"--help"}).out;
  for (const TSettingRow& row : SettingRows()) {
    EXPECT_NE(help.find(row.key), std::string::npos) << row.key;
    if (!row.option) continue;
    EXPECT_NE(help.find(row.option), std::string::npos) << row.option;
    std::vector<std::string> args = {"--section", row.key, row.option};
    std::string expected;
    if (row.option_value == TOptionValue::kFlag) {
      expected = "1";
    } else if (row.option_value == TOptionValue::kSize) {
      args.push_back("1600x1200");
      expected = std::to_string(row.names.size() - 1);
    } else if (row.option_value == TOptionValue::kBytes) {
      args.push_back("64M");
      expected = "64M";
    } else if (row.kind == TSettingKind::kChoice) {
      std::string last = row.names.back();
      args.push_back(last.substr(0, last.find(',')));
      expected = std::to_string(row.names.size() - 1);
    } else if (row.kind == TSettingKind::kNumber) {
      args.push_back(std::to_string(row.max_value));
      expected = std::to_string(row.max_value);
    } else {
      args.push_back("some folder");
      expected = "some folder";
    }
    args.push_back("--show-settings");
    ProgramResult result = Run(args);
    EXPECT_EQ(result.status, 0) << row.option << ": " << result.err;
    EXPECT_NE(result.out.find("\n" + std::string(row.key) + "=" + expected + "\n"),
              std::string::npos)
        << row.option << ":\n"
        << result.out;
    if (row.also_key) {
      EXPECT_NE(result.out.find("\n" + std::string(row.also_key) + "=" + row.also_value + "\n"),
                std::string::npos)
          << row.option;
    }
  }
}

// A dropped folder that cannot be read (as another user than root, who reads every folder) is
// reported once with its reason, and the drop goes on with the rest; a bad name pattern is a
// usage error before anything is converted.
TEST_F(Cli, FoldersAreWalkedAnUnreadableOneIsReportedOnceAndBadPatternsAreRefused) {
  std::filesystem::create_directories(dir / "photos/locked");
  std::filesystem::create_directories(dir / "photos/open");
  WriteBmp(dir / "photos/a.bmp", 2, 2);
  WriteBmp(dir / "photos/locked/b.bmp", 2, 2);
  WriteBmp(dir / "photos/open/c.bmp", 2, 2);
  std::filesystem::permissions(dir.Path(), std::filesystem::perms::all);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.Path()))
    std::filesystem::permissions(entry.path(), std::filesystem::perms::all);
  std::filesystem::permissions(dir / "photos/locked", std::filesystem::perms::none);
  testing::ChildOptions options;
  options.environment = {"DISPLAY="};
  if (::geteuid() == 0) options.uid = 65534;  // nobody
  testing::TChildProcess child(QV_CLI_PATH,
                               {"--ini", dir / "test.ini", "-r", "-k", "-v", "--format", "png",
                                "--out", dir / "out", dir / "photos"},
                               options);
  ProgramResult result = child.Wait(60);
  std::filesystem::permissions(dir / "photos/locked", std::filesystem::perms::all);
  if (options.uid != 0 && (result.status == 126 || result.status == 127))
    GTEST_SKIP() << "the program cannot be run as nobody here (a folder above the build is "
                    "closed to other users)";
  EXPECT_EQ(result.status, 1) << result.err;
  EXPECT_TRUE(std::filesystem::exists(dir / "out/photos/a.png"));
  EXPECT_TRUE(std::filesystem::exists(dir / "out/photos/open/c.png"));
  EXPECT_FALSE(std::filesystem::exists(dir / "out/photos/locked"));
  // Named once, with the system's reason.
  const std::string locked = dir / "photos/locked";
  const std::size_t at = result.err.find(locked);
  EXPECT_NE(at, std::string::npos) << result.err;
  EXPECT_EQ(result.err.find(locked, at + 1), std::string::npos) << result.err;

  ProgramResult bad = Run({"--name", "{name}/{n}", "--format", "png", dir / "photos/a.bmp"});
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("\"/\""), std::string::npos) << bad.err;
  ProgramResult unknown = Run({"--name", "{nmae}", dir / "photos/a.bmp"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("{nmae}"), std::string::npos) << unknown.err;
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
  // A target of more pixels than any picture may have is refused, naming the limit.
  ProgramResult huge = Run({"--size", "65535x65535", dir / "a.bmp"});
  EXPECT_EQ(huge.status, 2);
  EXPECT_NE(huge.err.find("268435456"), std::string::npos) << huge.err;
  // Stored in the settings file, it fails the resize: written unresized, with a warning.
  qv::testing::TEnglishTexts english;  // the child speaks English too
  ProgramResult unresized =
      Run({"-v", "--out", dir / "big", "--set", "CustomSize=1", "--set", "CustomWidth=65535",
           "--set", "CustomHeight=65535", dir / "a.bmp"});
  EXPECT_EQ(unresized.status, 0) << unresized.err;
  EXPECT_NE(unresized.err.find("1 converted, 1 with warnings"), std::string::npos) << unresized.err;
  EXPECT_EQ(BmpSize(dir / "big/a.bmp"), std::make_pair(300, 100));
  // A custom size and fit show among the settings as stored.
  ProgramResult shown = Run({"--size", "20x10", "--fit", "--show-settings"});
  EXPECT_NE(shown.out.find("\nKeepAspect=1\nCustomSize=1\nCustomWidth=20\nCustomHeight=10\n"),
            std::string::npos)
      << shown.out;
  std::string help = Run({"--help"}).out;
  EXPECT_NE(help.find("--fit"), std::string::npos);
  EXPECT_NE(help.find("WIDTHxHEIGHT"), std::string::npos);
}

// The speed and size options are off unless asked for, are stored only once set, and a PNG
// written with all five filters holds the pixels of one written with Sub.
TEST_F(Cli, FastShrinkAndPngFiltersAreOptionsOffByDefault) {
  WriteBmp(dir / "a.bmp", 300, 200);
  EXPECT_NE(Run({"--show-settings"}).out.find("\nFastShrink=0\n"), std::string::npos);
  EXPECT_NE(Run({"--show-settings"}).out.find("\nPNGFilters=0\n"), std::string::npos);
  ProgramResult shown = Run({"--fast-shrink", "--png-filters", "all", "--show-settings"});
  EXPECT_NE(shown.out.find("\nFastShrink=1\n"), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find("\nPNGFilters=1\n"), std::string::npos) << shown.out;
  for (const char* filters : {"sub", "all"}) {
    ProgramResult result =
        Run({"--out", dir / filters, "--format", "png", "--png-filters", filters, dir / "a.bmp"});
    EXPECT_EQ(result.status, 0) << result.err;
  }
  EXPECT_TRUE(std::filesystem::exists(dir / "sub/a.png"));
  EXPECT_TRUE(std::filesystem::exists(dir / "all/a.png"));
  EXPECT_EQ(Run({"--png-filters", "none", dir / "a.bmp"}).status, 2);
  EXPECT_EQ(Run({"--fast-shrink=1", dir / "a.bmp"}).status, 2);
  std::string help = Run({"--help"}).out;
  EXPECT_NE(help.find("--fast-shrink"), std::string::npos);
  EXPECT_NE(help.find("--png-filters sub|all"), std::string::npos);
}

TEST_F(Cli, KeepGoingReportsEachFailedFileConvertsTheRestAndExitsOne) {
  WriteBmp(dir / "a.bmp", 2, 2);
  std::ofstream(dir / "bad.bmp") << "XXXX not a bitmap";
  std::ofstream(dir / "bad2.png") << "XXXX not a png";
  WriteBmp(dir / "c.bmp", 2, 2);
  for (const char* option : {"--keep-going", "-k"}) {
    std::filesystem::remove_all(dir / "out");
    ProgramResult result = Run({option, "--out", dir / "out", dir / "a.bmp", dir / "bad.bmp",
                                dir / "bad2.png", dir / "c.bmp"});
    EXPECT_EQ(result.status, 1) << option;
    EXPECT_EQ(
        result.err.rfind(
            dir / "bad.bmp" + ": ビットマップイメージが不正です.\n" + dir / "bad2.png" + ": ", 0),
        0u)
        << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 2) << result.err;
    EXPECT_TRUE(std::filesystem::exists(dir / "out/a.bmp"));
    EXPECT_TRUE(std::filesystem::exists(dir / "out/c.bmp"));
    EXPECT_FALSE(std::filesystem::exists(dir / "out/bad.bmp"));
  }

  // In a PDF drop the failed file gets no page.
  ProgramResult pdf = Run({"-k", "--format", "pdf", "--pdf", dir / "drop.pdf", dir / "a.bmp",
                           dir / "bad.bmp", dir / "c.bmp"});
  EXPECT_EQ(pdf.status, 1);
  std::ifstream in(dir / "drop.pdf", std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), {});
  EXPECT_NE(bytes.find("/Count 2"), std::string::npos);

  // Passing over is no failure.
  EXPECT_EQ(Run({"-k", "--out", dir / "out", dir / "a.bmp", dir / "missing.bmp"}).status, 0);
}

// Several files at once: outputs and everything written to stderr are those of -j 1, in every
// spelling of the option.
TEST_F(Cli, JobsConvertSeveralFilesAtOnceWithTheResultsOfOneAfterTheOther) {
  std::vector<std::string> names;
  for (int i = 0; i < 6; ++i) {
    WriteBmp(dir / ("p" + std::to_string(i) + ".bmp"), 1 + 50 * (5 - i), 3,
             static_cast<unsigned char>(20 * i));
    names.push_back(dir / ("p" + std::to_string(i) + ".bmp"));
  }
  std::filesystem::create_directory(dir / "sub");
  WriteBmp(dir / "sub/p2.bmp", 4, 4);
  std::ofstream(dir / "bad.bmp") << "XXXX not a bitmap";
  names.insert(names.begin() + 3, dir / "sub/p2.bmp");  // same output as p2: passed over
  names.insert(names.begin() + 5, dir / "missing.bmp");
  names.insert(names.begin() + 6, dir / "bad.bmp");
  auto slurp = [](const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  auto convert = [&](const std::string& out, std::vector<std::string> options) {
    options.insert(options.end(), {"-v", "--format", "png", "--out", dir / out});
    options.insert(options.end(), names.begin(), names.end());
    ProgramResult result = Run(options);
    std::string err = result.err;
    for (std::size_t at; (at = err.find(dir / out)) != std::string::npos;)
      err.replace(at, (dir / out).size(), "OUT");
    return std::make_pair(result.status, err);
  };
  for (const char* keep_going : {"--verbose", "-k"}) {
    auto one = convert("one", {keep_going});
    EXPECT_EQ(one.first, 1);
    EXPECT_NE(one.second.find(dir / "sub/p2.bmp: "), std::string::npos) << one.second;
    for (std::vector<std::string> jobs :
         {std::vector<std::string>{"-j2"}, {"--jobs=0"}, {"-j", "3"}, {"--jobs", "8"}}) {
      std::string out = "many" + jobs[0];
      std::filesystem::remove_all(dir / out);
      jobs.push_back(keep_going);
      auto many = convert(out, jobs);
      EXPECT_EQ(many, one) << ::testing::PrintToString(jobs);
      for (const auto& entry : std::filesystem::directory_iterator(dir / "one"))
        EXPECT_EQ(slurp(dir / out + "/" + entry.path().filename().string()),
                  slurp(entry.path().string()))
            << entry.path() << ::testing::PrintToString(jobs);
    }
    std::filesystem::remove_all(dir / "one");
  }
}

TEST_F(Cli, TheSummaryCountsConvertedPassedOverWithReasonsAndFailed) {
  qv::testing::TEnglishTexts english;  // the child speaks English too
  WriteBmp(dir / "a.bmp", 2, 2);
  WriteBmp(dir / "b.bmp", 2, 2);
  std::filesystem::create_directories(dir / "out");
  WriteBmp(dir / "out/b.bmp", 1, 1);
  std::filesystem::create_directory(dir / "folder");
  std::ofstream(dir / "bad.bmp") << "XXXX not a bitmap";
  std::ofstream(dir / "odd.xyz") << "no plug-in reads this";
  std::vector<std::string> names = {dir / "a.bmp",    dir / "b.bmp",   dir / "folder",
                                    dir / "gone.bmp", dir / "odd.xyz", dir / "bad.bmp"};
  auto args = [&](std::vector<std::string> options) {
    options.insert(options.end(), {"--out", dir / "out"});
    options.insert(options.end(), names.begin(), names.end());
    return options;
  };
  // Not a terminal and no --verbose: no summary.
  ProgramResult plain = Run(args({"-k"}));
  EXPECT_EQ(plain.err.find("converted"), std::string::npos) << plain.err;

  std::filesystem::remove(dir / "out/a.bmp");
  ProgramResult verbose = Run(args({"-k", "--verbose"}));
  EXPECT_EQ(verbose.status, 1);
  std::string last = verbose.err.substr(verbose.err.rfind('\n', verbose.err.size() - 2) + 1);
  EXPECT_EQ(last,
            "quenvale-cli: 1 converted, 4 passed over (1 output exists, 1 not a regular file, 1 "
            "no such file, 1 no reader for it), 1 failed\n")
      << verbose.err;

  // Without --keep-going the drop ends at the failure: the names after it are not reached.
  names.insert(names.begin(), dir / "bad.bmp");
  ProgramResult ended = Run(args({"-v"}));
  EXPECT_EQ(ended.status, 1);
  EXPECT_NE(ended.err.find("quenvale-cli: 0 converted, 0 passed over, 1 failed, 6 not reached\n"),
            std::string::npos)
      << ended.err;
}

TEST_F(Cli, AJpegCompletedOnlyWithWarningsIsConvertedWithAWarningNamingIt) {
  qv::testing::TEnglishTexts english;  // the child speaks English too
  std::ifstream in(testing::TestDataPath("jpeg/libjpeg-turbo/testorig.jpg"), std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), {});
  ASSERT_GT(bytes.size(), 3000u);
  std::ofstream(dir / "cut.jpg", std::ios::binary) << bytes.substr(0, 3000);
  ProgramResult result = Run({"-v", "--out", dir / "out", dir / "cut.jpg"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err,
            "quenvale-cli: warning: " + dir / "cut.jpg" +
                ": the picture may be incomplete (JPEG library: Premature end of "
                "JPEG file)\n"
                "quenvale-cli: 1 converted, 1 with warnings, 0 passed over, 0 failed\n");
  EXPECT_EQ(BmpSize(dir / "out/cut.bmp"), std::make_pair(227, 149));
}

}  // namespace
}  // namespace qv
