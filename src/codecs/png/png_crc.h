// CRC-32 as PNG defines it (reflected polynomial 0xEDB88320).
#pragma once

#include <cstddef>
#include <cstdint>

namespace qv {

// Continues a running CRC register (start with 0xFFFFFFFF) over size bytes; the chunk CRC is the
// complement of the final register.
std::uint32_t UpdatePngCrc(std::uint32_t crc, const void* data, std::size_t size);

// The complemented CRC of the chunk type (4 bytes) followed by data.
std::uint32_t PngChunkCrc(const char type[4], const void* data, std::size_t size);

}  // namespace qv
