// End-to-end tests of how quenvale-cli replaces a file: what the replaced file keeps, symbolic and
// hard links, signals, file-size limits, leftovers of killed runs and the longest names, each in a
// folder with unnamed temporary files and in one without (the named temporary file's way).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>

#include "regress/cli_under_test.h"
#include "regress/crafted_files.h"
#include "runtime/paths.h"
#include "runtime/temporary_name.h"
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

// The folder a program is found in by PATH, or "" when none has it.
std::string FindProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string folders = path ? path : "/usr/bin:/bin";
  for (std::size_t at = 0; at <= folders.size();) {
    std::size_t end = std::min(folders.find(':', at), folders.size());
    std::string candidate = folders.substr(at, end - at) + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    at = end + 1;
  }
  return "";
}

// A FUSE mount (bindfs) of a folder: a file system without unnamed temporary files, where
// O_TMPFILE fails as on vfat, NFS and SMB. Unmounted when the object goes; Missing() says why
// there is none (not root, no bindfs, no FUSE, or O_TMPFILE works there after all).
class TFuseMount {
 public:
  TFuseMount(const std::string& backing, const std::string& mount_point)
      : mount_point_(mount_point) {
    std::string bindfs = FindProgram("bindfs");
    if (::geteuid() != 0) {
      missing_ = "mounting needs root";
    } else if (bindfs.empty()) {
      missing_ = "bindfs is not installed (scripts/setup.sh installs it)";
    } else if (ProgramResult run = testing::RunProgram(bindfs, {backing, mount_point});
               run.status != 0) {
      missing_ = "bindfs cannot mount here: " + run.err;
    } else {
      mounted_ = true;
      int fd = ::open(mount_point.c_str(), O_TMPFILE | O_RDWR, 0600);
      if (fd >= 0) {
        ::close(fd);
        missing_ = "O_TMPFILE works on the FUSE mount";
      }
    }
  }
  ~TFuseMount() {
    if (mounted_ && testing::RunProgram(FindProgram("umount"), {mount_point_}).status != 0)
      testing::RunProgram(FindProgram("umount"), {"-l", mount_point_});
  }
  TFuseMount(const TFuseMount&) = delete;
  TFuseMount& operator=(const TFuseMount&) = delete;
  const std::string& Missing() const { return missing_; }

 private:
  std::string mount_point_;
  std::string missing_;
  bool mounted_ = false;
};

// Where the outputs go: a folder of the test's own file system (unnamed temporary files), or one
// without unnamed temporary files, where every replacement takes a named temporary file.
enum class TOutputFolder { kLocal, kNoUnnamedFiles };

class ReplacedFiles : public ::testing::TestWithParam<TOutputFolder> {
 protected:
  ProgramResult Convert(std::vector<std::string> inputs, const ChildOptions& options = {}) {
    std::vector<std::string> args = {"--ini", dir / "test.ini", "--quiet",   "--format",
                                     "bmp",   "--out",          dir / "out", "--overwrite"};
    args.insert(args.end(), inputs.begin(), inputs.end());
    return RunCli(args, options);
  }
  void SetUp() override {
    fs::create_directory(dir / "out");
    if (GetParam() == TOutputFolder::kNoUnnamedFiles) {
      fs::create_directory(dir / "backing");
      mount_ = std::make_unique<TFuseMount>(dir / "backing", dir / "out");
      if (!mount_->Missing().empty())
        GTEST_SKIP() << "no folder without unnamed temporary files: " << mount_->Missing();
    }
  }
  // Empties the output folder (a mount point stays).
  void ClearOutputs() {
    for (const std::string& name : Names(dir / "out")) fs::remove_all(dir / ("out/" + name));
  }
  TempDir dir;
  std::unique_ptr<TFuseMount> mount_;
};

INSTANTIATE_TEST_SUITE_P(Folders, ReplacedFiles,
                         ::testing::Values(TOutputFolder::kLocal, TOutputFolder::kNoUnnamedFiles),
                         [](const auto& test_info) {
                           return test_info.param == TOutputFolder::kLocal ? "local"
                                                                           : "no_unnamed_files";
                         });

// A replaced output keeps owner, group, permission bits (without setuid and setgid), ACL and
// extended attributes.
TEST_P(ReplacedFiles, ReplacedFileKeepsWhatItHad) {
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
TEST_P(ReplacedFiles, LinksAtTheTarget) {
  WriteFile(dir / "a.bmp", Bmp(2, 2));
  WriteFile(dir / "b.bmp", Bmp(3, 3));
  WriteFile(dir / "secret", "someone's file");
  ASSERT_EQ(::chmod((dir / "secret").c_str(), 04751), 0);
  fs::create_symlink(dir / "secret", dir / "out/a.bmp");
  WriteFile(dir / "out/b.bmp", "old b");
  fs::create_hard_link(dir / "out/b.bmp", dir / "out/b-link");

  mode_t mask = ::umask(022);
  ProgramResult run = Convert({dir / "a.bmp", dir / "b.bmp"});
  ::umask(mask);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_FALSE(fs::is_symlink(dir / "out/a.bmp"));
  EXPECT_EQ(ReadFile(dir / "secret"), "someone's file");
  struct stat info;
  ASSERT_EQ(::stat((dir / "out/a.bmp").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0644u) << "a new file's mode, not the link target's";
  EXPECT_EQ(ReadFile(dir / "out/b-link"), "old b");
  EXPECT_NE(ReadFile(dir / "out/b.bmp"), "old b");
}

// Interrupted, terminated or hung up while converting: the temporary file goes and the program
// exits with 128 + the signal; finished outputs stay whole.
TEST_P(ReplacedFiles, SignalsRemoveTheTemporaryFile) {
  const std::string picture = Bmp(600, 600);
  std::vector<std::string> inputs;
  for (int i = 0; i < 150; ++i) {
    inputs.push_back(dir / ("in" + std::to_string(i) + ".bmp"));
    WriteFile(inputs.back(), picture);
  }
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    ClearOutputs();
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
TEST_P(ReplacedFiles, FileSizeLimitIsAnError) {
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

// Temporary files left beside the target go with the next run writing there when this machine
// wrote them and their process is gone. Names of another machine sharing the folder (whose
// process ids say nothing here), of a running process, and of the older form without a machine
// stay until they are a day old.
TEST_P(ReplacedFiles, LeftoversOfKilledRunsAreRemoved) {
  pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ::waitpid(gone, nullptr, 0);
  const std::string dead = std::to_string(gone), running = std::to_string(::getpid());
  const std::string here = ".a.bmp.qvtmp-" + ThisMachine() + "-";
  const std::string elsewhere = ".a.bmp.qvtmp-00000000deadbeef-";
  ASSERT_NE(ThisMachine(), "00000000deadbeef");
  struct Leftover {
    std::string name;
    int hours_old;
    bool stays;
  };
  const Leftover leftovers[] = {
      {here + dead + "-0", 0, false},
      {here + running + "-0", 0, true},
      {elsewhere + dead + "-0", 0, true},
      {elsewhere + running + "-1", 23, true},
      {elsewhere + dead + "-2", 25, false},
      {".a.bmp.qvtmp-" + dead + "-0", 0, true},
      {".a.bmp.qvtmp-" + dead + "-1", 25, false},
  };
  std::vector<std::string> staying = {"a.bmp"};
  for (const Leftover& leftover : leftovers) {
    std::string path = dir / ("out/" + leftover.name);
    WriteFile(path, "half a picture");
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = ::time(nullptr) - leftover.hours_old * 3600;
    times[0].tv_nsec = times[1].tv_nsec = 0;
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
    if (leftover.stays) staying.push_back(leftover.name);
  }
  std::sort(staying.begin(), staying.end());
  WriteFile(dir / "a.bmp", Bmp(2, 2));
  ProgramResult run = Convert({dir / "a.bmp"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Names(dir / "out"), staying);
}

// A target name of 255 bytes (the longest a name can be) is written like any other.
TEST_P(ReplacedFiles, LongestNameIsWritten) {
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
