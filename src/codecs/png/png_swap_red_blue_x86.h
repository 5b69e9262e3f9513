// The red and blue swap of PNG rows with byte shuffles, for x86 processors
// (png_swap_red_blue_x86.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

#include "simd/cpu_features.h"

namespace qv {

#if defined(QV_SIMD_X86)
// SwapRedBlue (png_swap_red_blue.h), the same bytes; only where the processor has kAvx2.
void SwapRedBlueAvx2(const std::uint8_t* rgb, std::uint8_t* bgr, std::size_t pixels);
#endif

}  // namespace qv
