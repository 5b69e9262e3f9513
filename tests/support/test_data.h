// The third-party files the tests read: conformance suites and sample files, kept in the source
// tree's tests/data/third_party (its README.md tells where each set comes from and its licence).
//
// A missing file or folder fails the test that asks for it, with a message naming the path; at
// the time a program lists its cases (static initialisation, gtest_discover_tests) it only
// yields no files, so listing never fails.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qv::testing {

// The test data folder: QV_TESTDATA_DIR of the environment when set, else the one the build was
// configured with.
std::string TestDataDir();

// The path of relative (a file or folder below the test data folder).
std::string TestDataPath(const std::string& relative);

// The paths of the files directly in the folder relative whose names end in extension (every
// file for ""), sorted by name.
std::vector<std::string> TestDataFiles(const std::string& relative,
                                       std::string_view extension = "");

// The failure text for a missing path below the test data folder.
std::string MissingTestDataMessage(const std::string& path);

}  // namespace qv::testing
