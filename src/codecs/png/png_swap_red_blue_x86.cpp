// The red and blue swap of PNG rows with SSSE3's byte shuffle (which every AVX2 processor has):
// five pixels a step.
#include "codecs/png/png_swap_red_blue_x86.h"

#if defined(QV_SIMD_X86)

#include <immintrin.h>

#include "codecs/png/png_swap_red_blue.h"

namespace qv {

__attribute__((target("avx2"))) void SwapRedBlueAvx2(const std::uint8_t* rgb, std::uint8_t* bgr,
                                                     std::size_t pixels) {
  // Each step reads and writes 16 bytes and moves on by 15: the sixteenth byte, the next pixel's
  // red, is written as it is and overwritten by the next step, so the loop stops while a sixth
  // pixel is still left to be done after the five.
  const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
  std::size_t i = 0;
  for (; i + 6 <= pixels; i += 5, rgb += 15, bgr += 15) {
    const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rgb));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(bgr), _mm_shuffle_epi8(in, order));
  }
  SwapRedBluePortable(rgb, bgr, pixels - i);
}

}  // namespace qv

#endif  // QV_SIMD_X86
