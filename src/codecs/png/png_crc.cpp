// CRC-32 of PNG chunks through Crc32, which is zlib's CRC (carry-less multiplication where the
// processor has it); the register convention is PNG's.
#include "codecs/png/png_crc.h"

#include "simd/crc32.h"

namespace qv {

std::uint32_t UpdatePngCrc(std::uint32_t crc, const void* data, std::size_t size) {
  // Crc32 takes and gives the complemented register, with 0 as the start.
  if (size == 0) return crc;
  return ~Crc32(~crc, data, size);
}

std::uint32_t PngChunkCrc(const char type[4], const void* data, std::size_t size) {
  std::uint32_t crc = UpdatePngCrc(0xFFFFFFFFu, type, 4);
  return ~UpdatePngCrc(crc, data, size);
}

}  // namespace qv
