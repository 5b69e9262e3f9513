// The fixed-point blend of one row with SSE2 (part of every x86-64), for x86 processors: the four
// bytes of a pixel in four 16-bit lanes at once (every product fits 16 bits), with the bytes of
// the portable form.
#include "imaging/blend_row_x86.h"

#if defined(QV_SIMD_X86)

#include <emmintrin.h>

#include <cstring>

namespace qv {

void BlendRowSse2(const std::uint8_t* upper, const std::uint8_t* lower, unsigned fy,
                  std::span<const TColumnTap> taps, std::uint8_t* out) {
  std::size_t count = taps.size();
  const __m128i zero = _mm_setzero_si128();
  // Lanes 0..3 weigh the upper row's result, lanes 4..7 the lower row's.
  const __m128i vertical = _mm_set_epi16(
      static_cast<short>(fy), static_cast<short>(fy), static_cast<short>(fy),
      static_cast<short>(fy), static_cast<short>(255 - fy), static_cast<short>(255 - fy),
      static_cast<short>(255 - fy), static_cast<short>(255 - fy));
  for (std::size_t i = 0; i < count; ++i) {
    const TColumnTap& tap = taps[i];
    std::int32_t u0, u1, l0, l1;
    std::memcpy(&u0, upper + tap.low, 4);
    std::memcpy(&u1, upper + tap.high, 4);
    std::memcpy(&l0, lower + tap.low, 4);
    std::memcpy(&l1, lower + tap.high, 4);
    // left = [U[ix] | L[ix]], right = [U[ix + 1] | L[ix + 1]] as 16-bit lanes.
    __m128i left =
        _mm_unpacklo_epi8(_mm_unpacklo_epi32(_mm_cvtsi32_si128(u0), _mm_cvtsi32_si128(l0)), zero);
    __m128i right =
        _mm_unpacklo_epi8(_mm_unpacklo_epi32(_mm_cvtsi32_si128(u1), _mm_cvtsi32_si128(l1)), zero);
    __m128i fx = _mm_set1_epi16(static_cast<short>(tap.weight));
    __m128i fx_left = _mm_set1_epi16(static_cast<short>(255 - tap.weight));
    __m128i rows = _mm_srli_epi16(
        _mm_add_epi16(_mm_mullo_epi16(left, fx_left), _mm_mullo_epi16(right, fx)), 8);
    __m128i weighted = _mm_mullo_epi16(rows, vertical);
    __m128i sum = _mm_srli_epi16(_mm_add_epi16(weighted, _mm_srli_si128(weighted, 8)), 8);
    std::int32_t pixel = _mm_cvtsi128_si32(_mm_packus_epi16(sum, sum));
    std::memcpy(out + 4 * i, &pixel, 4);
  }
}

}  // namespace qv

#endif  // QV_SIMD_X86
