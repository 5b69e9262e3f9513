// CRC-32 by carry-less multiplication, for x86 processors with PCLMULQDQ (crc32_x86.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

#include "simd/cpu_features.h"

namespace qv {

#if defined(QV_SIMD_X86)
// Crc32 (simd/crc32.h) folding 16-byte lanes; only where the processor has kPclmul.
std::uint32_t Crc32Pclmul(std::uint32_t crc, const void* data, std::size_t size);
#endif

}  // namespace qv
