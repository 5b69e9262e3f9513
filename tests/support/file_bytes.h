// Whole-file reads and writes of bytes, for tests that make inputs and check outputs.
#pragma once

#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

namespace qv::testing {

// The file's bytes; empty when it cannot be read.
inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Replaces the file's contents with bytes.
inline void WriteFile(const std::string& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace qv::testing
