// What the BMP reader and writer share: header sizes, compression codes and little-endian access.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qv::bmp {

inline constexpr std::uint16_t kSignature = 0x4D42;  // "BM" read as a little-endian 16-bit value
inline constexpr std::size_t kFileHeaderSize = 14;
inline constexpr std::uint32_t kCoreHeaderSize = 12;
inline constexpr std::uint32_t kInfoHeaderSize = 40;
// A header this long or longer holds the three bit-field masks at its bytes 40 to 51.
inline constexpr std::uint32_t kHeaderWithMasksSize = 52;

inline constexpr std::uint32_t kCompressionNone = 0;
inline constexpr std::uint32_t kCompressionRle8 = 1;
inline constexpr std::uint32_t kCompressionRle4 = 2;
inline constexpr std::uint32_t kCompressionBitFields = 3;

// Bytes of one stored row of width pixels, in 64 bits so no width overflows.
inline std::uint64_t StoredRowSize(std::uint64_t width, std::uint64_t bits_per_pixel) {
  return ((width * bits_per_pixel + 31) & ~std::uint64_t{31}) / 8;
}

inline std::uint16_t ReadU16Le(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t ReadU32Le(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::int32_t ReadI32Le(const std::uint8_t* p) {
  return static_cast<std::int32_t>(ReadU32Le(p));
}

inline void WriteU16Le(std::vector<std::uint8_t>& out, std::uint32_t value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}
inline void WriteU32Le(std::vector<std::uint8_t>& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8)
    out.push_back(static_cast<std::uint8_t>(value >> shift));
}

}  // namespace qv::bmp
