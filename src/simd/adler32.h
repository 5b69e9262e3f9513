// Adler-32, the check of zlib streams (RFC 1950), with vector code where the processor has it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qv {

// Continues an Adler-32 over size bytes with zlib's convention: start from 1, and the value
// returned is the check of everything so far (the same as zlib's adler32_z).
std::uint32_t Adler32(std::uint32_t adler, const void* data, std::size_t size);

}  // namespace qv
