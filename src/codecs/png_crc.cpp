// CRC-32 of PNG chunks with a 256-entry table built the first time it is needed. Seven more
// tables derived from it let the loop take eight bytes per step (slicing-by-8); the result is
// the same as the byte-at-a-time loop.
#include "codecs/png_crc.h"

#include <array>
#include <cstring>

namespace qv {

namespace {

using TCrcTables = std::array<std::array<std::uint32_t, 256>, 8>;

const TCrcTables& CrcTables() {
  static const TCrcTables tables = [] {
    TCrcTables t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[0][n] = c;
    }
    for (std::size_t k = 1; k < 8; ++k)
      for (std::uint32_t n = 0; n < 256; ++n)
        t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
    return t;
  }();
  return tables;
}

}  // namespace

std::uint32_t UpdatePngCrc(std::uint32_t crc, const void* data, std::size_t size) {
  const TCrcTables& t = CrcTables();
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  while (size >= 8) {
    // Little-endian assembly of the next eight bytes, independent of the host's byte order.
    std::uint32_t low = crc ^ (std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 |
                               std::uint32_t{bytes[2]} << 16 | std::uint32_t{bytes[3]} << 24);
    std::uint32_t high = std::uint32_t{bytes[4]} | std::uint32_t{bytes[5]} << 8 |
                         std::uint32_t{bytes[6]} << 16 | std::uint32_t{bytes[7]} << 24;
    crc = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
          t[3][high & 0xFF] ^ t[2][(high >> 8) & 0xFF] ^ t[1][(high >> 16) & 0xFF] ^
          t[0][high >> 24];
    bytes += 8;
    size -= 8;
  }
  for (std::size_t i = 0; i < size; ++i) crc = t[0][(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
  return crc;
}

std::uint32_t PngChunkCrc(const char type[4], const void* data, std::size_t size) {
  std::uint32_t crc = UpdatePngCrc(0xFFFFFFFFu, type, 4);
  return ~UpdatePngCrc(crc, data, size);
}

}  // namespace qv
