// The size a BMP, PNG or JPEG header declares, read from the file's first bytes (and, for a
// JPEG, from the heads of the segments before its frame header).
#include "app/declared_size.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>

namespace qv {

namespace {

// A file opened for reading at given offsets.
class TInput {
 public:
  explicit TInput(const std::string& path)
      : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {}
  ~TInput() {
    if (fd_ >= 0) ::close(fd_);
  }
  TInput(const TInput&) = delete;
  TInput& operator=(const TInput&) = delete;

  // True when all of bytes were read at offset.
  template <std::size_t N>
  bool Read(std::uint64_t offset, std::array<std::uint8_t, N>& bytes) const {
    return fd_ >= 0 &&
           ::pread(fd_, bytes.data(), N, static_cast<off_t>(offset)) == static_cast<ssize_t>(N);
  }

 private:
  int fd_;
};

template <std::size_t N>
std::uint32_t Le(const std::array<std::uint8_t, N>& b, std::size_t at, int bytes) {
  std::uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | b[at + static_cast<std::size_t>(i)];
  return value;
}

template <std::size_t N>
std::uint32_t Be(const std::array<std::uint8_t, N>& b, std::size_t at, int bytes) {
  std::uint32_t value = 0;
  for (int i = 0; i < bytes; ++i) value = value << 8 | b[at + static_cast<std::size_t>(i)];
  return value;
}

// BMP: the file header (14 bytes), then the core header's 16-bit sides or the info header's
// 32-bit ones (a negative height stores the rows top-down).
std::optional<std::pair<int, int>> BmpSize(const TInput& file) {
  std::array<std::uint8_t, 26> b;
  if (!file.Read(0, b) || b[0] != 'B' || b[1] != 'M') return std::nullopt;
  if (Le(b, 14, 4) == 12) return std::make_pair(int(Le(b, 18, 2)), int(Le(b, 20, 2)));
  const auto width = static_cast<std::int32_t>(Le(b, 18, 4));
  const auto height = static_cast<std::int32_t>(Le(b, 22, 4));
  if (width == INT32_MIN || height == INT32_MIN) return std::nullopt;
  return std::make_pair(std::abs(width), std::abs(height));
}

// PNG: the signature, then IHDR with the width and height (the PNG standard, 11.2.2).
std::optional<std::pair<int, int>> PngSize(const TInput& file) {
  static constexpr std::array<std::uint8_t, 8> kSignature = {0x89, 'P',  'N',  'G',
                                                             '\r', '\n', 0x1A, '\n'};
  std::array<std::uint8_t, 24> b;
  if (!file.Read(0, b) || !std::equal(kSignature.begin(), kSignature.end(), b.begin()))
    return std::nullopt;
  if (b[12] != 'I' || b[13] != 'H' || b[14] != 'D' || b[15] != 'R') return std::nullopt;
  const std::uint32_t width = Be(b, 16, 4), height = Be(b, 20, 4);
  if (width > INT32_MAX || height > INT32_MAX) return std::nullopt;
  return std::make_pair(static_cast<int>(width), static_cast<int>(height));
}

// JPEG: the segments from the start-of-image marker on, each skipped by its length, up to the
// first frame header (SOF0 to SOF15 but DHT, JPG and DAC): precision, height, width. A scan
// before it, damage or the file's end give nothing.
std::optional<std::pair<int, int>> JpegSize(const TInput& file) {
  std::array<std::uint8_t, 2> start;
  if (!file.Read(0, start) || start[0] != 0xFF || start[1] != 0xD8) return std::nullopt;
  std::uint64_t at = 2;
  for (int segment = 0; segment < 100000; ++segment) {
    // The marker and the length, and a frame header's first five bytes where the file has them.
    std::array<std::uint8_t, 9> head;
    std::array<std::uint8_t, 4> marker_and_length;
    const bool whole = file.Read(at, head);
    if (whole)
      std::copy_n(head.begin(), 4, marker_and_length.begin());
    else if (!file.Read(at, marker_and_length))
      return std::nullopt;
    if (marker_and_length[0] != 0xFF) return std::nullopt;
    const std::uint8_t marker = marker_and_length[1];
    if (marker == 0xFF) {  // a fill byte
      ++at;
      continue;
    }
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {  // no length
      at += 2;
      continue;
    }
    if (marker == 0xDA || marker == 0xD9) return std::nullopt;
    const std::uint32_t length = Be(marker_and_length, 2, 2);
    if (length < 2) return std::nullopt;
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
      if (!whole || length < 7) return std::nullopt;
      return std::make_pair(int(Be(head, 7, 2)), int(Be(head, 5, 2)));
    }
    at += 2 + length;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::pair<int, int>> DeclaredSize(const std::string& file_name, TReader reader) {
  if (reader == TReader::kPlugins) return std::nullopt;
  TInput file(file_name);
  switch (reader) {
    case TReader::kBmp: return BmpSize(file);
    case TReader::kPng: return PngSize(file);
    case TReader::kJpeg: return JpegSize(file);
    case TReader::kPlugins: break;
  }
  return std::nullopt;
}

}  // namespace qv
