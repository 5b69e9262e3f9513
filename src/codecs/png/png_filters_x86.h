// PNG row reconstruction with SSE2, for x86 processors (png_filters_x86.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

#include "codecs/png/png_filters.h"
#include "simd/cpu_features.h"

namespace qv {

#if defined(QV_SIMD_X86)
// UnfilterRow (png_filters.h), the same bytes; only where the processor has kSse2.
void UnfilterRowSse2(int type, std::uint8_t* row, const std::uint8_t* previous, std::size_t size,
                     std::size_t pixel_bytes);
#endif

}  // namespace qv
