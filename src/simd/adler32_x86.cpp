// Adler-32 with AVX2, 32 bytes a step, for x86 processors that have it; zlib's adler32_z does
// short pieces and the last few bytes.
//
// Over bytes d_1 .. d_n, the sum a grows by d_1 + ... + d_n and the sum b by
// n a + n d_1 + (n - 1) d_2 + ... + 1 d_n, both modulo 65521. The vector loop keeps, for the
// 32-byte pieces of a block: the sum of their bytes (sums of absolute differences against
// zero), their bytes weighted 32 down to 1 (byte products summed in pairs, then in fours), and
// the total of the piece sums before each piece, which that piece's 32 places move along b. No
// lane comes near overflow within a block; a and b are reduced after each one in 64 bits.
#include "simd/adler32_x86.h"

#if defined(QV_SIMD_X86)

#include <immintrin.h>
#include <zlib.h>

#include <algorithm>

namespace qv {

namespace {

constexpr std::uint64_t kModulus = 65521;
// 32-byte pieces per block: a weighted lane gains at most 2 x (255 x 32 + 255 x 31) a piece, so
// 4096 pieces keep it below 2^27.
constexpr std::size_t kBlockPieces = 4096;

__attribute__((target("avx2"))) std::uint64_t Sum64(__m256i v) {
  alignas(32) std::uint64_t lanes[4];
  _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), v);
  return lanes[0] + lanes[1] + lanes[2] + lanes[3];
}

__attribute__((target("avx2"))) std::uint64_t Sum32(__m256i v) {
  alignas(32) std::uint32_t lanes[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), v);
  std::uint64_t sum = 0;
  for (std::uint32_t lane : lanes) sum += lane;
  return sum;
}

// The check continued over count pieces of 32 bytes.
__attribute__((target("avx2"))) std::uint32_t Pieces(std::uint32_t adler, const std::uint8_t* p,
                                                     std::size_t count) {
  std::uint64_t a = adler & 0xFFFF;
  std::uint64_t b = adler >> 16;
  // Byte i of a piece is weighted 32 - i (the first argument is the last byte).
  const __m256i weights =
      _mm256_set_epi8(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22,
                      23, 24, 25, 26, 27, 28, 29, 30, 31, 32);
  const __m256i ones = _mm256_set1_epi16(1);
  const __m256i zero = _mm256_setzero_si256();
  while (count > 0) {
    const std::size_t pieces = std::min(count, kBlockPieces);
    __m256i sums = zero;      // bytes of the pieces so far, in four 64-bit lanes
    __m256i earlier = zero;   // sums as they were before each piece, added up
    __m256i weighted = zero;  // weighted bytes, in eight 32-bit lanes
    for (std::size_t i = 0; i < pieces; ++i, p += 32) {
      const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
      earlier = _mm256_add_epi64(earlier, sums);
      sums = _mm256_add_epi64(sums, _mm256_sad_epu8(d, zero));
      weighted =
          _mm256_add_epi32(weighted, _mm256_madd_epi16(_mm256_maddubs_epi16(d, weights), ones));
    }
    b = (b + pieces * 32 * a + 32 * Sum64(earlier) + Sum32(weighted)) % kModulus;
    a = (a + Sum64(sums)) % kModulus;
    count -= pieces;
  }
  return static_cast<std::uint32_t>(b << 16 | a);
}

}  // namespace

std::uint32_t Adler32Avx2(std::uint32_t adler, const void* data, std::size_t size) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  // Below a few pieces zlib's loop is as fast.
  if (size >= 64) {
    const std::size_t count = size / 32;
    adler = Pieces(adler, p, count);
    p += count * 32;
    size -= count * 32;
  }
  if (size == 0) return adler;
  return static_cast<std::uint32_t>(adler32_z(adler, p, size));
}

}  // namespace qv

#endif  // QV_SIMD_X86
