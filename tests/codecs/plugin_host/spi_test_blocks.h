// Builders of plug-in result blocks (bitmap information header, colour table, rows) for tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

namespace qv::testing {

inline void PutU32(std::vector<std::uint8_t> &bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// An information block: a 40-byte header, then masks (for bit fields) and colour entries
// (blue, green, red, 0).
struct DibLayout {
  std::int32_t width = 1;
  std::int32_t height = 1;
  std::uint16_t bits = 24;
  std::uint32_t compression = 0;
  std::uint32_t colors_used = 0;
  std::uint32_t header_size = 40;
  std::vector<std::uint32_t> masks = {};
  std::vector<std::uint32_t> colors = {};  // 0xRRGGBB

  std::vector<std::uint8_t> Info() const {
    std::vector<std::uint8_t> info(40 + 4 * masks.size() + 4 * colors.size(), 0);
    PutU32(info, 0, header_size);
    PutU32(info, 4, static_cast<std::uint32_t>(width));
    PutU32(info, 8, static_cast<std::uint32_t>(height));
    info[12] = 1;
    info[14] = static_cast<std::uint8_t>(bits);
    info[15] = static_cast<std::uint8_t>(bits >> 8);
    PutU32(info, 16, compression);
    PutU32(info, 32, colors_used);
    std::size_t at = 40;
    for (std::uint32_t m : masks) PutU32(info, at, m), at += 4;
    for (std::uint32_t c : colors) {
      info[at] = static_cast<std::uint8_t>(c), info[at + 1] = static_cast<std::uint8_t>(c >> 8);
      info[at + 2] = static_cast<std::uint8_t>(c >> 16);
      at += 4;
    }
    return info;
  }
};

// The test plug-in "blocks" input: magic, result, lengths, flags, then both blocks.
inline std::vector<std::uint8_t> BlocksFile(const std::vector<std::uint8_t> &info,
                                            const std::vector<std::uint8_t> &pixels,
                                            std::int32_t result = 0, std::uint32_t flags = 0) {
  std::vector<std::uint8_t> file(20, 0);
  std::memcpy(file.data(), "QVTB", 4);
  PutU32(file, 4, static_cast<std::uint32_t>(result));
  PutU32(file, 8, static_cast<std::uint32_t>(info.size()));
  PutU32(file, 12, static_cast<std::uint32_t>(pixels.size()));
  PutU32(file, 16, flags);
  file.insert(file.end(), info.begin(), info.end());
  file.insert(file.end(), pixels.begin(), pixels.end());
  return file;
}

}  // namespace qv::testing
