// End-to-end tests of how quenvale-cli replaces a file: what the replaced file keeps, symbolic and
// hard links, signals, file-size limits, leftovers of killed runs and the longest names.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "regress/cli_under_test.h"
#include "regress/crafted_files.h"
#include "runtime/paths.h"
#include "support/file_bytes.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using testing::BmpFields;
using testing::ChildOptions;
using testing::CliOptions;
using testing::CliUnderTest;
using testing::MakeBmp;
using testing::ProgramResult;
using testing::ReadFile;
using testing::RunCli;
using testing::TChildProcess;
using testing::TempDir;
using testing::WriteFile;

std::string Bmp(int width, int height) {
  BmpFields f;
  f.width = width;
  f.height = height;
  std::size_t row = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
  return MakeBmp(f, std::string(row * static_cast<std::size_t>(height), '\x40'));
}

bool Contains(const std::string& text, const std::string& piece) {
  return text.find(piece) != std::string::npos;
}

// Every entry of a folder by name.
std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string Xattr(const std::string& path, const char* name) {
  char value[256];
  ssize_t size = ::lgetxattr(path.c_str(), name, value, sizeof value);
  return size < 0 ? std::string("(none)") : std::string(value, static_cast<std::size_t>(size));
}

// An access ACL (the xattr form): owner rw, user 4321 rw, owning group r, mask rw, others none.
std::string AccessAcl() {
  std::string acl("\x02\x00\x00\x00", 4);
  auto entry = [&](std::uint16_t tag, std::uint16_t perm, std::uint32_t id) {
    for (int i = 0; i < 2; ++i) acl += static_cast<char>(tag >> (8 * i));
    for (int i = 0; i < 2; ++i) acl += static_cast<char>(perm >> (8 * i));
    for (int i = 0; i < 4; ++i) acl += static_cast<char>(id >> (8 * i));
  };
  entry(0x01, 6, 0xFFFFFFFF);  // owner
  entry(0x02, 6, 4321);        // user 4321
  entry(0x04, 4, 0xFFFFFFFF);  // owning group
  entry(0x10, 6, 0xFFFFFFFF);  // mask
  entry(0x20, 0, 0xFFFFFFFF);  // others
  return acl;
}

class ReplacedFiles : public ::testing::Test {
 protected:
  ProgramResult Convert(std::vector<std::string> inputs, const ChildOptions& options = {}) {
    std::vector<std::string> args = {"--ini", dir / "test.ini", "--quiet",   "--format",
                                     "bmp",   "--out",          dir / "out", "--overwrite"};
    args.insert(args.end(), inputs.begin(), inputs.end());
    return RunCli(args, options);
  }
  void SetUp() override { fs::create_directory(dir / "out"); }
  TempDir dir;
};

// A replaced output keeps owner, group, permission bits (without setuid and setgid), ACL and
// extended attributes.
TEST_F(ReplacedFiles, ReplacedFileKeepsWhatItHad) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the file another owner";
  WriteFile(dir / "a.bmp", Bmp(2, 2));
  std::string old = dir / "out/a.bmp";
  WriteFile(old, "old output");
  ASSERT_EQ(::chown(old.c_str(), 1234, 2345), 0);
  ASSERT_EQ(::chmod(old.c_str(), 06640), 0);
  bool xattrs = ::setxattr(old.c_str(), "user.origin", "camera", 6, 0) == 0;
  std::string acl = AccessAcl();
  bool acls = ::setxattr(old.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) == 0;

  ProgramResult run = Convert({dir / "a.bmp"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(ReadFile(old), "old output");
  struct stat info;
  ASSERT_EQ(::stat(old.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, 1234u);
  EXPECT_EQ(info.st_gid, 2345u);
  if (acls) {
    EXPECT_EQ(Xattr(old, "system.posix_acl_access"), acl);
    EXPECT_EQ(info.st_mode & 07777, 0660u) << "the group bits show the ACL's mask";
  } else {
    EXPECT_EQ(info.st_mode & 07777, 0640u);
  }
  if (xattrs) {
    EXPECT_EQ(Xattr(old, "user.origin"), "camera");
  }
  if (!xattrs || !acls) GTEST_SKIP() << "no extended attributes or ACLs on this file system";
}

// A symbolic link at the target is replaced by the new file, which takes nothing from the
// link's target; a hard link keeps the old content (the name gets a new file).
TEST_F(ReplacedFiles, LinksAtTheTarget) {
  WriteFile(dir / "a.bmp", Bmp(2, 2));
  WriteFile(dir / "b.bmp", Bmp(3, 3));
  WriteFile(dir / "secret", "someone's file");
  ASSERT_EQ(::chmod((dir / "secret").c_str(), 04751), 0);
  fs::create_symlink(dir / "secret", dir / "out/a.bmp");
  WriteFile(dir / "out/b.bmp", "old b");
  fs::create_hard_link(dir / "out/b.bmp", dir / "b-link");

  mode_t mask = ::umask(022);
  ProgramResult run = Convert({dir / "a.bmp", dir / "b.bmp"});
  ::umask(mask);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_FALSE(fs::is_symlink(dir / "out/a.bmp"));
  EXPECT_EQ(ReadFile(dir / "secret"), "someone's file");
  struct stat info;
  ASSERT_EQ(::stat((dir / "out/a.bmp").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0644u) << "a new file's mode, not the link target's";
  EXPECT_EQ(ReadFile(dir / "b-link"), "old b");
  EXPECT_NE(ReadFile(dir / "out/b.bmp"), "old b");
}

// Interrupted, terminated or hung up while converting: the temporary file goes and the program
// exits with 128 + the signal; finished outputs stay whole.
TEST_F(ReplacedFiles, SignalsRemoveTheTemporaryFile) {
  const std::string picture = Bmp(600, 600);
  std::vector<std::string> inputs;
  for (int i = 0; i < 150; ++i) {
    inputs.push_back(dir / ("in" + std::to_string(i) + ".bmp"));
    WriteFile(inputs.back(), picture);
  }
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    fs::remove_all(dir / "out");
    fs::create_directory(dir / "out");
    std::vector<std::string> args = {"--ini", dir / "test.ini", "--quiet",  "--format",
                                     "bmp",   "--out",          dir / "out"};
    args.insert(args.end(), inputs.begin(), inputs.end());
    TChildProcess child(CliUnderTest(), args, CliOptions());
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (fs::is_empty(dir / "out") && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    child.Signal(signal_number);
    ProgramResult end = child.Wait(60);
    EXPECT_TRUE(end.exited) << "killed by signal " << end.signal;
    EXPECT_EQ(end.status, 128 + signal_number);
    for (const std::string& name : Names(dir / "out")) {
      EXPECT_EQ(name.rfind("in", 0), 0u) << "left behind: " << name;
      EXPECT_EQ(fs::file_size(dir / ("out/" + name)), picture.size()) << name;
    }
  }
}

// A file-size limit makes the write fail with a message naming the file (SIGXFSZ does not kill
// the program); the old output and no temporary file remain.
TEST_F(ReplacedFiles, FileSizeLimitIsAnError) {
  WriteFile(dir / "a.bmp", Bmp(200, 200));
  WriteFile(dir / "out/a.bmp", "old output");
  ChildOptions limited;
  limited.file_size_limit = 64 * 1024;
  ProgramResult run = Convert({dir / "a.bmp"}, limited);
  EXPECT_TRUE(run.exited) << "killed by signal " << run.signal;
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Contains(run.err, dir / "out/a.bmp")) << run.err;
  // The system's reason, in the language of the test's texts (never turned into "?").
  EXPECT_TRUE(Contains(run.err, SystemErrorMessage(EFBIG))) << run.err;
  EXPECT_FALSE(Contains(run.err, "??")) << run.err;
  EXPECT_EQ(ReadFile(dir / "out/a.bmp"), "old output");
  EXPECT_EQ(Names(dir / "out"), std::vector<std::string>{"a.bmp"});
}

// The temporary file a killed run left beside its target goes with the next run writing there.
TEST_F(ReplacedFiles, LeftoverOfAKilledRunIsRemoved) {
  pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ::waitpid(gone, nullptr, 0);
  std::string leftover = ".a.bmp.qvtmp-" + std::to_string(gone) + "-0";
  WriteFile(dir / ("out/" + leftover), "half a picture");
  // One of a process that still runs (this test) stays.
  std::string running = ".a.bmp.qvtmp-" + std::to_string(::getpid()) + "-0";
  WriteFile(dir / ("out/" + running), "being written");
  WriteFile(dir / "a.bmp", Bmp(2, 2));
  ProgramResult run = Convert({dir / "a.bmp"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Names(dir / "out"), (std::vector<std::string>{running, "a.bmp"}));
}

// A target name of 255 bytes (the longest a name can be) is written like any other.
TEST_F(ReplacedFiles, LongestNameIsWritten) {
  std::string name = std::string(251, 'n') + ".bmp";
  WriteFile(dir / name, Bmp(2, 2));
  ProgramResult run = Convert({dir / name});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Names(dir / "out"), std::vector<std::string>{name});
  // Replaced as well.
  EXPECT_EQ(Convert({dir / name}).status, 0);
  EXPECT_EQ(Names(dir / "out"), std::vector<std::string>{name});
}

}  // namespace
}  // namespace qv
