// CRC-32 of the PNG standard and zlib (reflected polynomial 0xEDB88320), by carry-less
// multiplication where the processor has it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "simd/variants.h"

namespace qv {

// Continues a CRC-32 over size bytes with zlib's convention: start from 0, and the value
// returned is the finished CRC of everything so far (the same as zlib's crc32_z).
std::uint32_t Crc32(std::uint32_t crc, const void* data, std::size_t size);

// The forms of Crc32, the portable one (zlib's crc32_z) last.
using TCrc32Function = std::uint32_t (*)(std::uint32_t crc, const void* data, std::size_t size);
std::span<const TVariant<TCrc32Function>> Crc32Variants();

}  // namespace qv
