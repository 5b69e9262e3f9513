// Helpers of the settings tests: whole-file reads and writes (and the temporary folder).
#pragma once

#include <string>

#include "support/file_bytes.h"
#include "support/temp_dir.h"

namespace qv::test {

inline std::string ReadFileBytes(const std::string& path) { return testing::ReadFile(path); }

inline void WriteFileBytes(const std::string& path, const std::string& bytes) {
  testing::WriteFile(path, bytes);
}

}  // namespace qv::test
