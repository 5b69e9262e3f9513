// Tests of the installed folders found from an executable's folder.
#include "runtime/install_layout.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/temp_dir.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

void Touch(const std::string& path) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path) << "x";
}

TEST(InstallLayout, FoldersLieUnderTheExecutablesPrefixWithoutDotDotSteps) {
  TInstallLayout layout = InstallLayoutFrom("/opt/some prefix/bin/");
  for (const std::string& folder : {layout.plugins, layout.manual}) {
    EXPECT_EQ(folder.rfind("/opt/some prefix/", 0), 0u) << folder;
    EXPECT_EQ(folder.find(".."), std::string::npos) << folder;
    EXPECT_EQ(folder.back(), '/') << folder;
  }
  EXPECT_NE(layout.plugins, layout.manual);
  // The same tree unpacked under another root keeps its shape.
  EXPECT_EQ(InstallLayoutFrom("/scratch/root/usr/bin/").plugins,
            "/scratch/root/usr/" + layout.plugins.substr(std::string("/opt/some prefix/").size()));
}

TEST(InstallLayout, OnlyAnExecutableWithItsInstalledPluginFolderCountsAsInstalled) {
  testing::TempDir root;
  std::string bin = root / "usr/bin/";
  fs::create_directories(bin);
  EXPECT_FALSE(IsInstalled(bin));  // a build folder or a folder of the user's
  EXPECT_FALSE(IsInstalled(""));
  fs::create_directories(InstallLayoutFrom(bin).plugins);
  EXPECT_TRUE(IsInstalled(bin));
  EXPECT_FALSE(IsInstalled(root / "opt/bin/"));  // another tree of the same root
}

TEST(InstallLayout, TheManualBesideTheExecutableComesBeforeTheInstalledOne) {
  testing::TempDir root;
  std::string exe = root / "usr/bin/quenvale";
  Touch(exe);
  EXPECT_EQ(FindManual(exe, ".pdf"), "");
  std::string installed = InstallLayoutFrom(root / "usr/bin/").manual + "quenvale.pdf";
  Touch(installed);
  EXPECT_EQ(FindManual(exe, ".pdf"), installed);
  EXPECT_EQ(FindManual(exe, ".html"), "");
  Touch(root / "usr/bin/quenvale.pdf");
  EXPECT_EQ(FindManual(exe, ".pdf"), root / "usr/bin/quenvale.pdf");
}

}  // namespace
}  // namespace qv
