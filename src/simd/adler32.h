// Adler-32, the check of zlib streams (RFC 1950), with vector code where the processor has it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "simd/variants.h"

namespace qv {

// Continues an Adler-32 over size bytes with zlib's convention: start from 1, and the value
// returned is the check of everything so far (the same as zlib's adler32_z).
std::uint32_t Adler32(std::uint32_t adler, const void* data, std::size_t size);

// The forms of Adler32, the portable one (zlib's adler32_z) last.
using TAdler32Function = std::uint32_t (*)(std::uint32_t adler, const void* data, std::size_t size);
std::span<const TVariant<TAdler32Function>> Adler32Variants();

}  // namespace qv
