// One row of the fixed-point bilinear resize: each destination pixel blended from two source
// pixels in each of two rows with 8-bit weights, every step truncating. Chosen once among its
// forms (SSE2 on x86, four bytes a step; the portable one byte by byte).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "simd/variants.h"

namespace qv {

// Where a destination column reads: byte offsets of the pixel and its right neighbour in a
// source row, and the horizontal weight of the neighbour.
struct TColumnTap {
  std::uint32_t low;
  std::uint32_t high;
  std::uint16_t weight;
};

// Destination pixel i (4 bytes at out + 4 i) for each tap i: the two rows' blends of the tap's
// pixels, ((a (255 - w) + b w) >> 8), blended again with fy the weight of lower in the same way.
void BlendRow(const std::uint8_t* upper, const std::uint8_t* lower, unsigned fy,
              std::span<const TColumnTap> taps, std::uint8_t* out);

// The forms of BlendRow, the portable one (BlendRowPortable) last.
using TBlendRowFunction = void (*)(const std::uint8_t* upper, const std::uint8_t* lower,
                                   unsigned fy, std::span<const TColumnTap> taps,
                                   std::uint8_t* out);
std::span<const TVariant<TBlendRowFunction>> BlendRowVariants();
void BlendRowPortable(const std::uint8_t* upper, const std::uint8_t* lower, unsigned fy,
                      std::span<const TColumnTap> taps, std::uint8_t* out);

}  // namespace qv
