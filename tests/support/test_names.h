// Names for the cases of parameterised suites, so test names read as what they test.
#pragma once

#include <cctype>
#include <filesystem>
#include <string>
#include <string_view>

namespace qv::testing {

// Text as a test name: letters and digits kept, every other character "_" (so "a.bmp" and
// "a_bmp" would clash; the suites' texts never differ only so).
inline std::string NameOf(std::string_view text) {
  std::string name;
  for (char c : text) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name.empty() ? std::string("empty") : name;
}

// A file's name without its folders and extension, as a test name.
inline std::string FileNameOf(std::string_view path) {
  return NameOf(std::filesystem::path(path).stem().string());
}

// A file's folder and name without extension, as a test name ("pillow_hopper").
inline std::string FolderAndFileNameOf(std::string_view path) {
  std::filesystem::path file(path);
  return NameOf(file.parent_path().filename().string() + "_" + file.stem().string());
}

// "<width>x<height>".
inline std::string SizeName(int width, int height) {
  return std::to_string(width) + "x" + std::to_string(height);
}

}  // namespace qv::testing
