// The forms of CRC-32 and the choice among them; zlib's crc32_z is the portable form.
#include "simd/crc32.h"

#include <zlib.h>

#include "simd/crc32_x86.h"

namespace qv {

namespace {

std::uint32_t Crc32Portable(std::uint32_t crc, const void* data, std::size_t size) {
  if (size == 0) return crc;
  return static_cast<std::uint32_t>(crc32_z(crc, static_cast<const Bytef*>(data), size));
}

constexpr TVariant<TCrc32Function> kForms[] = {
    QV_X86_FORM("pclmul", {TCpuFeature::kPclmul}, Crc32Pclmul){"portable", {}, Crc32Portable}};

}  // namespace

std::span<const TVariant<TCrc32Function>> Crc32Variants() { return kForms; }

std::uint32_t Crc32(std::uint32_t crc, const void* data, std::size_t size) {
  return Chosen<Crc32Variants>()(crc, data, size);
}

}  // namespace qv
