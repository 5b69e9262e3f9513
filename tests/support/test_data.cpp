// Paths of the third-party test data, failing the asking test when they are missing.
#include "support/test_data.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace qv::testing {

namespace {

namespace fs = std::filesystem;

// Inside a running test: fails it with the message when path does not exist. Outside one (a
// program listing its cases) nothing is recorded.
void RequireExisting(const std::string& path) {
  std::error_code ignored;
  if (fs::exists(path, ignored)) return;
  if (::testing::UnitTest::GetInstance()->current_test_info() != nullptr)
    ADD_FAILURE() << MissingTestDataMessage(path);
}

}  // namespace

std::string TestDataDir() {
  const char* other = std::getenv("QV_TESTDATA_DIR");
  return other && *other ? other : QV_TESTDATA_DIR;
}

std::string TestDataPath(const std::string& relative) {
  std::string path = TestDataDir() + "/" + relative;
  RequireExisting(path);
  return path;
}

std::vector<std::string> TestDataFiles(const std::string& relative, std::string_view extension) {
  std::string folder = TestDataPath(relative);
  std::vector<std::string> files;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    std::string name = it->path().filename().string();
    if (it->is_regular_file(error) && name.size() >= extension.size() &&
        name.compare(name.size() - extension.size(), extension.size(), extension) == 0)
      files.push_back(it->path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string MissingTestDataMessage(const std::string& path) {
  return "test data missing: " + path +
         "\nThe tests read the third-party files of tests/data/third_party in the source tree "
         "(see its README.md): restore them from the repository (git checkout -- "
         "tests/data/third_party) or build from a complete source archive (make dist).";
}

}  // namespace qv::testing
