// The forms of Adler-32 and the choice among them; zlib's adler32_z is the portable form.
#include "simd/adler32.h"

#include <zlib.h>

#include "simd/adler32_x86.h"

namespace qv {

namespace {

std::uint32_t Adler32Portable(std::uint32_t adler, const void* data, std::size_t size) {
  if (size == 0) return adler;
  return static_cast<std::uint32_t>(adler32_z(adler, static_cast<const Bytef*>(data), size));
}

constexpr TVariant<TAdler32Function> kForms[] = {
    QV_X86_FORM("avx2", {TCpuFeature::kAvx2}, Adler32Avx2){"portable", {}, Adler32Portable}};

}  // namespace

std::span<const TVariant<TAdler32Function>> Adler32Variants() { return kForms; }

std::uint32_t Adler32(std::uint32_t adler, const void* data, std::size_t size) {
  return Chosen<Adler32Variants>()(adler, data, size);
}

}  // namespace qv
