// CRC-32 of PNG chunks with a 256-entry table built the first time it is needed.
#include "codecs/png_crc.h"

#include <array>

namespace qv {

namespace {

const std::array<std::uint32_t, 256>& CrcTable() {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  return table;
}

}  // namespace

std::uint32_t UpdatePngCrc(std::uint32_t crc, const void* data, std::size_t size) {
  const auto& table = CrcTable();
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
  return crc;
}

std::uint32_t PngChunkCrc(const char type[4], const void* data, std::size_t size) {
  std::uint32_t crc = UpdatePngCrc(0xFFFFFFFFu, type, 4);
  return ~UpdatePngCrc(crc, data, size);
}

}  // namespace qv
