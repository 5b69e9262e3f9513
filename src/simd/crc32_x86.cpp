// CRC-32 by folding with carry-less multiplication (PCLMULQDQ), for x86 processors that have it;
// zlib's crc32_z does short pieces and the tail.
//
// The message is a polynomial over GF(2) whose highest power is the first byte's lowest bit
// (the reflected order), and the CRC register after it is M(x) x^32 mod P(x). A 16-byte lane
// loaded little-endian holds the coefficient of x^(127 - i) in bit i. Moving a lane X forward
// over the next D bits of message multiplies it by x^D, and modulo P only its remainder matters:
// with X = H x^64 + L (H in the low 64 bits, L in the high 64 bits),
//   X x^D = H x^(D + 64) + L x^D == H (x^(D + 32) mod P) x^32 + L (x^(D - 32) mod P) x^32.
// In the carry-less product of H with a constant whose bit j holds x^(32 - j) (its 32 reflected
// bits shifted left by one), bit k holds x^(95 - k), which the lane reads as x^(127 - k): the
// lane holds H K x^32, so K = x^(D + 32) mod P gives H's term, and likewise for L. The sum of
// the two products (95 bits) is a lane of the same value modulo P, ready to be added to the
// lane D bits further on. Four lanes are folded side by side (D = 512) to hide the
// product's latency, then joined one by one (D = 128). The last lane's remainder is the CRC of
// those 16 bytes with a zero register, which the table code works out.
#include "simd/crc32_x86.h"

#if defined(QV_SIMD_X86)

#include <immintrin.h>
#include <zlib.h>

namespace qv {

namespace {

// x^k mod P as 32 reflected bits (bit 31 - d holds the coefficient of x^d): x^0 times x, k
// times, where a coefficient moving past x^31 comes back as x^32 mod P, the reflected polynomial.
constexpr std::uint32_t PowerOfXModP(unsigned k) {
  std::uint32_t r = 0x80000000u;
  for (unsigned i = 0; i < k; ++i) r = (r & 1) ? (r >> 1) ^ 0xEDB88320u : r >> 1;
  return r;
}

// The folding constant for x^k mod P: reflected bits shifted left by one (see above).
constexpr long long FoldConstant(unsigned k) {
  return static_cast<long long>(std::uint64_t{PowerOfXModP(k)} << 1);
}

static_assert(PowerOfXModP(32) == 0xEDB88320u, "x^32 mod P is P's lower terms");
static_assert(PowerOfXModP(31) == 0x00000001u, "x^31 is its own remainder");

// Folding distances in bits: four lanes, and one lane.
constexpr unsigned kFourLanes = 512;
constexpr unsigned kOneLane = 128;

// lane x^D + next, modulo P, with fold holding (x^(D + 32) mod P, x^(D - 32) mod P).
__attribute__((target("pclmul"))) inline __m128i Fold(__m128i lane, __m128i fold, __m128i next) {
  __m128i high = _mm_clmulepi64_si128(lane, fold, 0x00);
  __m128i low = _mm_clmulepi64_si128(lane, fold, 0x11);
  return _mm_xor_si128(_mm_xor_si128(high, low), next);
}

// The CRC over count 16-byte lanes (count >= 4) with zlib's convention.
__attribute__((target("pclmul"))) std::uint32_t FoldLanes(std::uint32_t crc, const std::uint8_t* p,
                                                          std::size_t count) {
  const __m128i four = _mm_set_epi64x(FoldConstant(kFourLanes - 32), FoldConstant(kFourLanes + 32));
  const __m128i one = _mm_set_epi64x(FoldConstant(kOneLane - 32), FoldConstant(kOneLane + 32));
  auto load = [](const std::uint8_t* at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  };
  // The running register enters as the complement of the value zlib hands out, added to the
  // first four bytes.
  __m128i x0 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(static_cast<int>(~crc)));
  __m128i x1 = load(p + 16);
  __m128i x2 = load(p + 32);
  __m128i x3 = load(p + 48);
  p += 64;
  count -= 4;
  for (; count >= 4; count -= 4, p += 64) {
    x0 = Fold(x0, four, load(p));
    x1 = Fold(x1, four, load(p + 16));
    x2 = Fold(x2, four, load(p + 32));
    x3 = Fold(x3, four, load(p + 48));
  }
  __m128i x = Fold(Fold(Fold(x0, one, x1), one, x2), one, x3);
  for (; count > 0; --count, p += 16) x = Fold(x, one, load(p));
  alignas(16) std::uint8_t rest[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(rest), x);
  return static_cast<std::uint32_t>(crc32_z(0xFFFFFFFFu, rest, sizeof rest));
}

}  // namespace

std::uint32_t Crc32Pclmul(std::uint32_t crc, const void* data, std::size_t size) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  // Below a few lanes the table code is as fast.
  if (size >= 64) {
    const std::size_t folded = size & ~std::size_t{15};
    crc = FoldLanes(crc, p, folded / 16);
    p += folded;
    size -= folded;
  }
  if (size == 0) return crc;
  return static_cast<std::uint32_t>(crc32_z(crc, p, size));
}

}  // namespace qv

#endif  // QV_SIMD_X86
