// What the BMP reader and writer and the plug-in host's block check share: header sizes,
// compression codes, the information header's fields and little-endian access.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
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

// Whether bits is a pixel depth a bitmap may have: 1, 4, 8, 16, 24 or 32 bits per pixel.
inline bool IsPixelDepth(int bits) {
  return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

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

// The fields of an information header of kInfoHeaderSize bytes or a longer version of it.
struct TInfoHeader {
  std::uint32_t header_size = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;  // negative: rows stored top-down
  std::uint16_t planes = 0;
  std::uint16_t bits = 0;
  std::uint32_t compression = 0;
  std::uint32_t size_image = 0;
  std::int32_t x_pels_per_meter = 0;
  std::int32_t y_pels_per_meter = 0;
  std::uint32_t colors_used = 0;
  std::uint32_t colors_important = 0;
  std::uint32_t masks[3] = {0, 0, 0};  // red, green, blue
  bool has_masks = false;              // the masks were inside the header
};

// The red, green and blue bit-field masks from the 12 bytes at p. They sit at bytes 40 to 51 from
// the header's start: inside a header of kHeaderWithMasksSize or more, right after a 40-byte one.
inline void ReadMasks(const std::uint8_t* p, std::uint32_t (&masks)[3]) {
  for (int i = 0; i < 3; ++i) masks[i] = ReadU32Le(p + 4 * i);
}

// The information header at the start of bytes, which hold at least kInfoHeaderSize bytes. The
// masks are taken when the header is long enough to hold them and bytes reach them.
inline TInfoHeader ReadInfoHeader(std::span<const std::uint8_t> bytes) {
  const std::uint8_t* p = bytes.data();
  TInfoHeader header;
  header.header_size = ReadU32Le(p);
  header.width = ReadI32Le(p + 4);
  header.height = ReadI32Le(p + 8);
  header.planes = ReadU16Le(p + 12);
  header.bits = ReadU16Le(p + 14);
  header.compression = ReadU32Le(p + 16);
  header.size_image = ReadU32Le(p + 20);
  header.x_pels_per_meter = ReadI32Le(p + 24);
  header.y_pels_per_meter = ReadI32Le(p + 28);
  header.colors_used = ReadU32Le(p + 32);
  header.colors_important = ReadU32Le(p + 36);
  if (header.header_size >= kHeaderWithMasksSize && bytes.size() >= kHeaderWithMasksSize) {
    ReadMasks(p + kInfoHeaderSize, header.masks);
    header.has_masks = true;
  }
  return header;
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
