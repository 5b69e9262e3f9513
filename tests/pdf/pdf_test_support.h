// Helpers of the PDF tests: JPEG bytes made with libjpeg, files, tools and a locale switch.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "support/temp_dir.h"

namespace qv::pdf_test {

// A 24-bit image with a smooth colour pattern that JPEG keeps well (seeded by salt).
TBitmap PatternImage(int width, int height, int salt = 0);

// The image compressed by libjpeg at the quality (baseline, 4:2:0).
std::vector<std::uint8_t> EncodeJpeg(const TBitmap &image, int quality = 90);

// Output and exit status of a shell command (standard error joined to the output).
struct CommandResult {
  int status = -1;
  std::string output;
};
CommandResult RunCommand(const std::string &command);

// Names of the files in a folder.
std::vector<std::string> ListFolder(const std::string &path);

// Reads a binary PPM (P6) as written by pdftoppm: width, height and RGB bytes.
bool ReadPpm(const std::string &path, int &width, int &height, std::vector<std::uint8_t> &rgb);

// Sets LC_ALL to a decimal-comma locale for its lifetime; Active() is false when none exists.
class CommaLocale {
 public:
  CommaLocale();
  ~CommaLocale();
  bool Active() const { return active_; }

 private:
  std::string previous_;
  bool active_ = false;
};

}  // namespace qv::pdf_test
