// The bilinear stretch's row in 64-bit floats with AVX2, for x86 processors that have it: the
// three channels (and an unused fourth) side by side, in the order of the portable form's
// operations, so the bytes are the same.
#include "imaging/bilinear_stretch_x86.h"

#if defined(QV_SIMD_X86)

#include <immintrin.h>

#include <cstring>

namespace qv {

namespace {

__attribute__((target("avx2"))) inline __m256d Corner(const std::uint8_t* p,
                                                      const std::uint8_t* safe_end) {
  std::int32_t v;
  if (p < safe_end) {
    std::memcpy(&v, p, 4);  // the fourth byte belongs to the next pixel and is not used
  } else {
    v = p[0] | (p[1] << 8) | (p[2] << 16);
  }
  return _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(v)));
}

}  // namespace

__attribute__((target("avx2"))) void StretchRowDoubleAvx2(const TRowJob& job) {
  const std::uint8_t* safe_end = job.safe_end;
  const __m256d area = _mm256_set1_pd(job.area);
  for (int x = 0; x < job.width; ++x) {
    const TCellSpan* xbegin =
        job.columns->spans.data() + job.columns->first[static_cast<std::size_t>(x)];
    const TCellSpan* xend =
        job.columns->spans.data() + job.columns->first[static_cast<std::size_t>(x) + 1];
    __m256d acc = _mm256_setzero_pd();
    for (const TCellSpan* ys = job.ybegin; ys != job.yend; ++ys) {
      const std::uint8_t* upper = (*job.src_rows)[static_cast<std::size_t>(ys->low)];
      const std::uint8_t* lower = (*job.src_rows)[static_cast<std::size_t>(ys->high)];
      const __m256d ly = _mm256_set1_pd(ys->length), my = _mm256_set1_pd(ys->centre);
      for (const TCellSpan* xs = xbegin; xs != xend; ++xs) {
        __m256d p00 = Corner(upper + 3 * xs->low, safe_end);
        __m256d p10 = Corner(upper + 3 * xs->high, safe_end);
        __m256d p01 = Corner(lower + 3 * xs->low, safe_end);
        __m256d p11 = Corner(lower + 3 * xs->high, safe_end);
        // Differences of small integers: exact in doubles, in the same order as written.
        __m256d bx = _mm256_sub_pd(p10, p00);
        __m256d by = _mm256_sub_pd(p01, p00);
        __m256d bxy = _mm256_add_pd(_mm256_sub_pd(_mm256_sub_pd(p11, p10), p01), p00);
        const __m256d lx = _mm256_set1_pd(xs->length), mx = _mm256_set1_pd(xs->centre);
        __m256d value =
            _mm256_add_pd(_mm256_mul_pd(bx, mx), _mm256_mul_pd(_mm256_mul_pd(bxy, mx), my));
        value = _mm256_add_pd(_mm256_add_pd(value, _mm256_mul_pd(by, my)), p00);
        acc = _mm256_add_pd(acc, _mm256_mul_pd(_mm256_mul_pd(lx, ly), value));
      }
    }
    // Round to nearest even (the default mode), then clamp.
    __m128i bytes = _mm256_cvtpd_epi32(_mm256_div_pd(acc, area));
    bytes = _mm_min_epi32(_mm_max_epi32(bytes, _mm_setzero_si128()), _mm_set1_epi32(255));
    alignas(16) std::int32_t lanes[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), bytes);
    job.out[3 * x] = static_cast<std::uint8_t>(lanes[0]);
    job.out[3 * x + 1] = static_cast<std::uint8_t>(lanes[1]);
    job.out[3 * x + 2] = static_cast<std::uint8_t>(lanes[2]);
  }
}

}  // namespace qv

#endif  // QV_SIMD_X86
