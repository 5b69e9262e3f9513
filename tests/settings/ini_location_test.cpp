// Where the INI file lives: beside the executable when that folder can be written, else in the
// user's configuration folder; an existing writable file beside the executable keeps precedence.
#include "settings/ini_location.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "settings/settings_test_support.h"

namespace qv {
namespace {

using test::WriteFileBytes;
using testing::TempDir;

// Sets environment variables for one test and puts the old values back.
class TEnvironment {
 public:
  ~TEnvironment() {
    for (const auto& [name, value] : saved_) {
      if (value)
        ::setenv(name.c_str(), value->c_str(), 1);
      else
        ::unsetenv(name.c_str());
    }
  }
  void Set(const std::string& name, const char* value) {
    const char* old = std::getenv(name.c_str());
    saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    if (value)
      ::setenv(name.c_str(), value, 1);
    else
      ::unsetenv(name.c_str());
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST(UserConfigIniPathTest, XdgConfigHomeThenHome) {
  TEnvironment env;
  env.Set("HOME", "/home/someone");
  env.Set("XDG_CONFIG_HOME", "/cfg/");
  EXPECT_EQ(UserConfigIniPath("quenvale.ini"), "/cfg/quenvale/quenvale.ini");
  env.Set("XDG_CONFIG_HOME", "relative/cfg");  // not absolute: ignored
  EXPECT_EQ(UserConfigIniPath("quenvale.ini"), "/home/someone/.config/quenvale/quenvale.ini");
  env.Set("XDG_CONFIG_HOME", "");
  EXPECT_EQ(UserConfigIniPath("q.ini"), "/home/someone/.config/quenvale/q.ini");
  env.Set("XDG_CONFIG_HOME", nullptr);
  EXPECT_EQ(UserConfigIniPath("q.ini"), "/home/someone/.config/quenvale/q.ini");
}

TEST(ResolveIniPathTest, WritableFolderKeepsTheFileBesideTheExecutable) {
  TempDir folder;
  EXPECT_EQ(ResolveIniPath(folder / "quenvale.ini"), folder / "quenvale.ini");
}

TEST(ResolveIniPathTest, FolderThatIsNoFolderFallsBack) {
  TempDir folder;
  TEnvironment env;
  env.Set("XDG_CONFIG_HOME", (folder / "cfg").c_str());
  WriteFileBytes(folder / "bin", "");
  EXPECT_EQ(ResolveIniPath(folder / "bin/quenvale.ini"), folder / "cfg/quenvale/quenvale.ini");
  EXPECT_EQ(ResolveIniPath(folder / "missing/quenvale.ini"), folder / "cfg/quenvale/quenvale.ini");
}

// Permission bits matter only to an ordinary user: as root the check runs in a child process
// that has given up root.
TEST(ResolveIniPathTest, ReadOnlyFolderFallsBackUnlessAWritableFileStandsThere) {
  TempDir folder;
  const std::string bin = folder / "bin";
  ASSERT_EQ(::mkdir(bin.c_str(), 0755), 0);
  WriteFileBytes(bin + "/portable.ini", "[u]\n");
  ::chmod((bin + "/portable.ini").c_str(), 0666);
  ::chmod(bin.c_str(), 0555);
  ::chmod(folder.Path().c_str(), 0755);
  const std::string config = folder / "cfg";
  auto check = [&]() -> int {
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    if (ResolveIniPath(bin + "/quenvale.ini") != config + "/quenvale/quenvale.ini") return 1;
    if (ResolveIniPath(bin + "/portable.ini") != bin + "/portable.ini") return 2;
    return 0;
  };
  if (::geteuid() != 0) {
    TEnvironment env;
    env.Set("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(check(), 0);
  } else {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(10);
      ::_exit(check());
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }
  ::chmod(bin.c_str(), 0755);
}

}  // namespace
}  // namespace qv
