// The bilinear stretch's separable sums with AVX2 and FMA: down the columns 32 bytes at a time,
// each row's weight one fused multiply-add on four bytes widened to doubles; along the row one
// pixel at a time, its three channels (and a spare) side by side; the bytes four pixels (twelve
// sums) at a time, as the portable form makes them. The sums differ from the
// portable form's by rounding only, which the stretch's recheck near halves absorbs, so the
// bytes are the same (bilinear_stretch.cpp).
#include "imaging/bilinear_stretch_x86.h"

#if defined(QV_SIMD_X86)

#include <immintrin.h>

#include <cstring>

namespace qv {

namespace {

// Bytes 4 k .. 4 k + 3 of bytes as four doubles.
template <int k>
__attribute__((target("avx2,fma"))) inline __m256d Widened(__m128i bytes) {
  return _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_srli_si128(bytes, 4 * k)));
}

}  // namespace

__attribute__((target("avx2,fma"))) void StretchColumnSumsAvx2(
    const std::vector<const std::uint8_t*>& rows, const TStretchTap* begin, const TStretchTap* end,
    int bytes, double* sums) {
  const std::uint8_t* const* row = rows.data();
  int b = 0;
  // 32 bytes of every row the taps read, summed in eight vectors that stay in registers.
  for (; b + 32 <= bytes; b += 32) {
    __m256d s0 = _mm256_setzero_pd(), s1 = s0, s2 = s0, s3 = s0, s4 = s0, s5 = s0, s6 = s0, s7 = s0;
    for (const TStretchTap* tap = begin; tap != end; ++tap) {
      const std::uint8_t* p = row[tap->index] + b;
      const __m256d weight = _mm256_set1_pd(tap->weight);
      const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
      s0 = _mm256_fmadd_pd(weight, Widened<0>(low), s0);
      s1 = _mm256_fmadd_pd(weight, Widened<1>(low), s1);
      s2 = _mm256_fmadd_pd(weight, Widened<2>(low), s2);
      s3 = _mm256_fmadd_pd(weight, Widened<3>(low), s3);
      s4 = _mm256_fmadd_pd(weight, Widened<0>(high), s4);
      s5 = _mm256_fmadd_pd(weight, Widened<1>(high), s5);
      s6 = _mm256_fmadd_pd(weight, Widened<2>(high), s6);
      s7 = _mm256_fmadd_pd(weight, Widened<3>(high), s7);
    }
    _mm256_storeu_pd(sums + b, s0);
    _mm256_storeu_pd(sums + b + 4, s1);
    _mm256_storeu_pd(sums + b + 8, s2);
    _mm256_storeu_pd(sums + b + 12, s3);
    _mm256_storeu_pd(sums + b + 16, s4);
    _mm256_storeu_pd(sums + b + 20, s5);
    _mm256_storeu_pd(sums + b + 24, s6);
    _mm256_storeu_pd(sums + b + 28, s7);
  }
  // The last bytes of the row one at a time: a vector load would pass the row's end.
  for (; b < bytes; ++b) {
    double sum = 0.0;
    for (const TStretchTap* tap = begin; tap != end; ++tap) sum += tap->weight * row[tap->index][b];
    sums[b] = sum;
  }
}

__attribute__((target("avx2,fma"))) void StretchRowSumsAvx2(const double* sums,
                                                            const TAxisTaps& columns, int width,
                                                            double* out) {
  const TStretchTap* taps = columns.entries.data();
  for (int x = 0; x < width; ++x) {
    const TStretchTap* tap = taps + columns.first[static_cast<std::size_t>(x)];
    const TStretchTap* end = taps + columns.first[static_cast<std::size_t>(x) + 1];
    __m256d sum = _mm256_setzero_pd();
    for (; tap != end; ++tap)
      sum =
          _mm256_fmadd_pd(_mm256_set1_pd(tap->weight),
                          _mm256_loadu_pd(sums + 3 * static_cast<std::ptrdiff_t>(tap->index)), sum);
    // The spare lane lands on the next pixel's first sum, which its own store overwrites.
    _mm256_storeu_pd(out + 3 * static_cast<std::ptrdiff_t>(x), sum);
  }
}

__attribute__((target("avx2"))) int StretchRowBytesAvx2(const double* sums, int width,
                                                        double inverse_area, double margin,
                                                        std::uint8_t* out, int* near) {
  const __m256d scale = _mm256_set1_pd(inverse_area), half = _mm256_set1_pd(0.5);
  const __m256d zero = _mm256_setzero_pd(), top = _mm256_set1_pd(256.0);
  const __m256d low = _mm256_set1_pd(margin), high = _mm256_set1_pd(1.0 - margin);
  int count = 0;
  int x = 0;
  for (; x + 4 <= width; x += 4) {
    const double* four = sums + 3 * static_cast<std::ptrdiff_t>(x);
    __m128i whole[3];
    int near_mask = 0;  // bit i: sum i of the twelve lies near an integer
    for (int k = 0; k < 3; ++k) {
      // Multiplied and then added, as the portable form does (no fused multiply-add here).
      const __m256d shifted = _mm256_min_pd(
          _mm256_max_pd(_mm256_add_pd(_mm256_mul_pd(_mm256_loadu_pd(four + 4 * k), scale), half),
                        zero),
          top);
      whole[k] = _mm256_cvttpd_epi32(shifted);  // shifted >= 0: truncation is floor
      const __m256d fraction = _mm256_sub_pd(shifted, _mm256_cvtepi32_pd(whole[k]));
      const __m256d near_half = _mm256_or_pd(_mm256_cmp_pd(fraction, low, _CMP_LE_OQ),
                                             _mm256_cmp_pd(fraction, high, _CMP_GE_OQ));
      near_mask |= _mm256_movemask_pd(near_half) << (4 * k);
    }
    // 0 .. 256 to bytes, 256 saturating to 255.
    const __m128i bytes = _mm_packus_epi16(_mm_packus_epi32(whole[0], whole[1]),
                                           _mm_packus_epi32(whole[2], whole[2]));
    std::uint8_t* to = out + 3 * static_cast<std::ptrdiff_t>(x);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(to), bytes);
    const int last4 = _mm_extract_epi32(bytes, 2);
    std::memcpy(to + 8, &last4, 4);
    if (near_mask != 0)
      for (int p = 0; p < 4; ++p)
        if ((near_mask >> (3 * p)) & 7) near[count++] = x + p;
  }
  // The last pixels in plain code, their indices moved to the row's.
  const int tail =
      StretchRowBytes(sums + 3 * static_cast<std::ptrdiff_t>(x), width - x, inverse_area, margin,
                      out + 3 * static_cast<std::ptrdiff_t>(x), near + count);
  for (int i = count; i < count + tail; ++i) near[i] += x;
  return count + tail;
}

}  // namespace qv

#endif  // QV_SIMD_X86
