// End-to-end tests of quenvale-cli's settings file at its edges: files that are no regular files,
// two processes saving at once, what a save keeps, and names that cannot be a section.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "regress/cli_under_test.h"
#include "support/file_bytes.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using testing::CliOptions;
using testing::CliUnderTest;
using testing::ProgramResult;
using testing::ReadFile;
using testing::RunCli;
using testing::TChildProcess;
using testing::TempDir;
using testing::WriteFile;

bool Contains(const std::string& text, const std::string& piece) {
  return text.find(piece) != std::string::npos;
}

class SettingsFile : public ::testing::Test {
 protected:
  TempDir dir;
};

// A FIFO, a device or a folder as the settings file never blocks: it reads as no settings, and
// saving into it is an error naming it, the FIFO left a FIFO.
TEST_F(SettingsFile, NoRegularFileNeverBlocks) {
  std::string fifo = dir / "fifo.ini";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  for (const std::string& ini : {fifo, std::string("/dev/zero"), dir.Path()}) {
    ProgramResult show = RunCli({"--ini", ini, "--show-settings"}, {}, 20);
    EXPECT_FALSE(show.timed_out) << ini;
    EXPECT_EQ(show.status, 0) << ini << ": " << show.err;
  }
  for (const std::string& ini : {fifo, dir.Path()}) {
    ProgramResult save = RunCli({"--ini", ini, "--set", "JPEGQL=70", "--save-settings"}, {}, 20);
    EXPECT_FALSE(save.timed_out) << ini;
    EXPECT_EQ(save.status, 1) << ini << ": " << save.err;
    EXPECT_TRUE(Contains(save.err, ini.substr(0, ini.size() - 1))) << save.err;
  }
  struct stat info;
  ASSERT_EQ(::lstat(fifo.c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

// Two processes saving different keys at once, again and again: both values are there each time.
TEST_F(SettingsFile, ConcurrentSavesKeepBothKeys) {
  std::string ini = dir / "shared.ini";
  WriteFile(ini, "[s]\nJPEGQL=1\nPNGCL=0\n");
  int lost = 0;
  for (int round = 0; round < 40; ++round) {
    std::string quality = std::to_string(10 + round);
    std::string level = std::to_string(round % 9 + 1);
    TChildProcess a(
        CliUnderTest(),
        {"--ini", ini, "--section", "s", "--set", "JPEGQL=" + quality, "--save-settings"},
        CliOptions());
    TChildProcess b(CliUnderTest(),
                    {"--ini", ini, "--section", "s", "--set", "PNGCL=" + level, "--save-settings"},
                    CliOptions());
    ProgramResult end_a = a.Wait(60);
    ProgramResult end_b = b.Wait(60);
    ASSERT_EQ(end_a.status, 0) << end_a.err;
    ASSERT_EQ(end_b.status, 0) << end_b.err;
    std::string text = ReadFile(ini);
    if (!Contains(text, "JPEGQL=" + quality + "\n") || !Contains(text, "PNGCL=" + level + "\n"))
      ++lost;
  }
  EXPECT_EQ(lost, 0) << "rounds in which a save put back an old value";
}

// A save by another user (root here) keeps the file's owner, group and mode, follows a symbolic
// link to its target and makes no "<name>.lock" beside it (another program's name).
TEST_F(SettingsFile, SaveKeepsOwnerModeAndLinkAndUsesALockOfItsOwn) {
  fs::create_directory(dir / "real");
  std::string target = dir / "real/quenvale.ini";
  WriteFile(target, "[s]\nJPEGQL=50\n");
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  bool owned = ::geteuid() == 0 && ::chown(target.c_str(), 1234, 2345) == 0;
  fs::create_symlink(target, dir / "link.ini");

  ProgramResult save = RunCli(
      {"--ini", dir / "link.ini", "--section", "s", "--set", "JPEGQL=70", "--save-settings"});
  EXPECT_EQ(save.status, 0) << save.err;
  EXPECT_TRUE(fs::is_symlink(dir / "link.ini"));
  EXPECT_TRUE(Contains(ReadFile(target), "JPEGQL=70")) << ReadFile(target);
  struct stat info;
  ASSERT_EQ(::stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  if (owned) {
    EXPECT_EQ(info.st_uid, 1234u);
    EXPECT_EQ(info.st_gid, 2345u);
  }
  EXPECT_FALSE(fs::exists(target + ".lock"));
  EXPECT_FALSE(fs::exists(dir / "link.ini.lock"));
}

// Names that cannot stand as a section, and an empty settings file name, are usage errors.
TEST_F(SettingsFile, SectionNamesThatCannotBeReadBackAreUsageErrors) {
  std::string ini = dir / "test.ini";
  for (const std::string& section :
       {std::string("a]b"), std::string("a\nb"), std::string("a\rb")}) {
    ProgramResult run =
        RunCli({"--ini", ini, "--section", section, "--set", "JPEGQL=70", "--save-settings"});
    EXPECT_EQ(run.status, 2) << section << ": " << run.err;
  }
  EXPECT_FALSE(fs::exists(ini));
  ProgramResult empty = RunCli({"--ini", "", "--show-settings"});
  EXPECT_EQ(empty.status, 2) << empty.err;
}

}  // namespace
}  // namespace qv
