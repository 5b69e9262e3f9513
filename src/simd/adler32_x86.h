// Adler-32 with AVX2, for x86 processors that have it (adler32_x86.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

#include "simd/cpu_features.h"

namespace qv {

#if defined(QV_SIMD_X86)
// Adler32 (simd/adler32.h) 32 bytes a step; only where the processor has kAvx2.
std::uint32_t Adler32Avx2(std::uint32_t adler, const void* data, std::size_t size);
#endif

}  // namespace qv
