// The fixed-point blend of one row with SSE2, for x86 processors (blend_row_x86.cpp).
#pragma once

#include <cstdint>
#include <span>

#include "imaging/blend_row.h"
#include "simd/cpu_features.h"

namespace qv {

#if defined(QV_SIMD_X86)
// BlendRow (blend_row.h), the same bytes; only where the processor has kSse2.
void BlendRowSse2(const std::uint8_t* upper, const std::uint8_t* lower, unsigned fy,
                  std::span<const TColumnTap> taps, std::uint8_t* out);
#endif

}  // namespace qv
