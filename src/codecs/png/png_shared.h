// What the PNG encoder and decoder share: the signature, row geometry, Adam7 passes and
// big-endian helpers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qv {

inline constexpr std::uint8_t kPngSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

// Default and smallest size of the deflate output buffer, which is also the largest IDAT written.
inline constexpr std::size_t kDefaultMaxIdatSize = 65535;
// Largest text a zTXt chunk may inflate to; a longer text is dropped (left empty).
inline constexpr std::size_t kMaxPngTextBytes = std::size_t{1} << 20;  // 1 MiB
// The longest ICC profile an iCCP chunk may inflate to (the largest device-link and printer
// profiles stay below a few megabytes).
inline constexpr std::size_t kMaxIccpBytes = std::size_t{64} << 20;  // 64 MiB

// The seven Adam7 passes.
struct TAdam7Pass {
  int row_start, column_start, row_step, column_step;
};
inline constexpr TAdam7Pass kAdam7Passes[7] = {{0, 0, 8, 8}, {0, 4, 8, 8}, {4, 0, 8, 4},
                                               {0, 2, 4, 4}, {2, 0, 4, 2}, {0, 1, 2, 2},
                                               {1, 0, 2, 1}};

// Pixels of one pass row or column count: (size + step - start - 1) div step (0 when none).
inline int PassExtent(int size, int start, int step) {
  return size > start ? (size + step - start - 1) / step : 0;
}

// Bytes of one PNG row without its filter byte for colour type and bit depth.
inline std::size_t PngRowBytes(int colour_type, int depth, std::uint64_t width) {
  std::uint64_t bits = width * static_cast<std::uint64_t>(depth);
  switch (colour_type) {
    case 2: return static_cast<std::size_t>(bits * 3 / 8);
    case 4: return static_cast<std::size_t>(bits * 2 / 8);
    case 6: return static_cast<std::size_t>(bits * 4 / 8);
    default: return static_cast<std::size_t>((bits + 7) / 8);
  }
}

// Bytes of one complete pixel, the filters' left-neighbour offset (at least 1).
inline std::size_t PngPixelBytes(int colour_type, int depth) {
  std::size_t bytes = 1;
  switch (colour_type) {
    case 0: bytes = depth == 16 ? 2 : 1; break;
    case 2: bytes = static_cast<std::size_t>(depth * 3 / 8); break;
    case 4: bytes = static_cast<std::size_t>(depth / 4); break;
    case 6: bytes = static_cast<std::size_t>(depth / 2); break;
    default: break;
  }
  return bytes == 0 ? 1 : bytes;
}

inline std::uint32_t ReadBigEndian32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         p[3];
}

inline void WriteBigEndian32(std::uint8_t* p, std::uint32_t value) {
  p[0] = static_cast<std::uint8_t>(value >> 24);
  p[1] = static_cast<std::uint8_t>(value >> 16);
  p[2] = static_cast<std::uint8_t>(value >> 8);
  p[3] = static_cast<std::uint8_t>(value);
}

}  // namespace qv
