// The bilinear stretch's separable sums with AVX2 and FMA: down the columns 32 bytes at a time,
// each row's weight one fused multiply-add on four bytes widened to doubles; along the row one
// pixel at a time, its three channels (and a spare) side by side. The sums differ from the
// portable form's by rounding only, which the stretch's recheck near halves absorbs, so the
// bytes are the same (bilinear_stretch.cpp).
#include "imaging/bilinear_stretch_x86.h"

#if defined(QV_SIMD_X86)

#include <immintrin.h>

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

}  // namespace qv

#endif  // QV_SIMD_X86
