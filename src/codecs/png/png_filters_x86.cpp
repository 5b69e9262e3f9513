// PNG row reconstruction with SSE2 (part of every x86-64) for x86 processors: whole 3 and 4-byte
// pixels a step, and Up 16 bytes a step; other rows go to the portable byte loops.
#include "codecs/png/png_filters_x86.h"

#if defined(QV_SIMD_X86)

#include <emmintrin.h>

#include <cstring>

namespace qv {

namespace {

// Whole-pixel reconstruction for 3 and 4-byte pixels with SSE2 (part of every x86-64): each step
// does a pixel's bytes at once, so the left-neighbour chain costs one step per pixel instead of
// one per byte. The results are those of the portable byte loops; the bytes after the last whole
// pixel (none for rows of such pixels) are done by UnfilterTail.
// Pixels go between memory and the low lane through a general register, assembled byte by byte
// for 3-byte pixels (a 3-byte memcpy would go through the stack and stall the load after it).
template <std::size_t Pixel>
inline __m128i LoadPixel(const std::uint8_t* p) {
  std::uint32_t v;
  if constexpr (Pixel == 4)
    std::memcpy(&v, p, 4);
  else
    v = std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16;
  return _mm_cvtsi32_si128(static_cast<int>(v));
}

template <std::size_t Pixel>
inline void StorePixel(std::uint8_t* p, __m128i v) {
  auto x = static_cast<std::uint32_t>(_mm_cvtsi128_si32(v));
  if constexpr (Pixel == 4) {
    std::memcpy(p, &x, 4);
  } else {
    p[0] = static_cast<std::uint8_t>(x);
    p[1] = static_cast<std::uint8_t>(x >> 8);
    p[2] = static_cast<std::uint8_t>(x >> 16);
  }
}

// Returns the bytes done (a multiple of Pixel).
template <std::size_t Pixel>
std::size_t UnfilterPixels(int type, std::uint8_t* row, const std::uint8_t* previous,
                           std::size_t size) {
  const std::size_t whole = size - size % Pixel;
  const __m128i zero = _mm_setzero_si128();
  switch (type) {
    case kFilterSub: {
      __m128i a = zero;
      for (std::size_t i = 0; i < whole; i += Pixel) {
        a = _mm_add_epi8(a, LoadPixel<Pixel>(row + i));
        StorePixel<Pixel>(row + i, a);
      }
      return whole;
    }
    case kFilterAverage: {
      // For 3-byte pixels the byte loop, three independent chains, is faster than the pixel chain.
      if (Pixel == 3) return 0;
      const __m128i one = _mm_set1_epi8(1);
      __m128i a = zero;
      for (std::size_t i = 0; i < whole; i += Pixel) {
        __m128i b = LoadPixel<Pixel>(previous + i);
        // (a + b) >> 1: the rounded-up average less the carry of the odd sums.
        __m128i average = _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), one));
        a = _mm_add_epi8(LoadPixel<Pixel>(row + i), average);
        StorePixel<Pixel>(row + i, a);
      }
      return whole;
    }
    case kFilterPaeth: {
      // In 16-bit lanes: pa = |b - c|, pb = |a - c|, pc = |a + b - 2c|; the predictor is a when pa
      // is the smallest, else b when pb is, else c.
      __m128i a = zero, c = zero;
      for (std::size_t i = 0; i < whole; i += Pixel) {
        __m128i b = _mm_unpacklo_epi8(LoadPixel<Pixel>(previous + i), zero);
        __m128i pa = _mm_sub_epi16(b, c);
        __m128i pb = _mm_sub_epi16(a, c);
        __m128i pc = _mm_add_epi16(pa, pb);
        pa = _mm_max_epi16(pa, _mm_sub_epi16(zero, pa));
        pb = _mm_max_epi16(pb, _mm_sub_epi16(zero, pb));
        pc = _mm_max_epi16(pc, _mm_sub_epi16(zero, pc));
        __m128i smallest = _mm_min_epi16(pc, _mm_min_epi16(pa, pb));
        __m128i use_b = _mm_cmpeq_epi16(pb, smallest);
        __m128i predictor = _mm_or_si128(_mm_and_si128(use_b, b), _mm_andnot_si128(use_b, c));
        __m128i use_a = _mm_cmpeq_epi16(pa, smallest);
        predictor = _mm_or_si128(_mm_and_si128(use_a, a), _mm_andnot_si128(use_a, predictor));
        __m128i x = _mm_add_epi8(LoadPixel<Pixel>(row + i), _mm_packus_epi16(predictor, zero));
        StorePixel<Pixel>(row + i, x);
        a = _mm_unpacklo_epi8(x, zero);
        c = b;
      }
      return whole;
    }
    default: return 0;
  }
}

// Bytes from index start on (start at least pixel_bytes) after the whole pixels are done.
void UnfilterTail(int type, std::uint8_t* row, const std::uint8_t* previous, std::size_t size,
                  std::size_t pixel_bytes, std::size_t start) {
  for (std::size_t i = start; i < size; ++i) {
    int left = row[i - pixel_bytes];
    int predictor = type == kFilterSub ? left
                    : type == kFilterAverage
                        ? (left + previous[i]) >> 1
                        : PaethPredictor(left, previous[i], previous[i - pixel_bytes]);
    row[i] = static_cast<std::uint8_t>(row[i] + predictor);
  }
}

// Up, 16 bytes a step.
void UnfilterUp(std::uint8_t* row, const std::uint8_t* previous, std::size_t size) {
  std::size_t i = 0;
  for (; i + 16 <= size; i += 16) {
    __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(previous + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(row + i), _mm_add_epi8(x, b));
  }
  for (; i < size; ++i) row[i] = static_cast<std::uint8_t>(row[i] + previous[i]);
}

}  // namespace

void UnfilterRowSse2(int type, std::uint8_t* row, const std::uint8_t* previous, std::size_t size,
                     std::size_t pixel_bytes) {
  if (type == kFilterUp) {
    UnfilterUp(row, previous, size);
    return;
  }
  if (pixel_bytes == 3 || pixel_bytes == 4) {
    std::size_t done = pixel_bytes == 3 ? UnfilterPixels<3>(type, row, previous, size)
                                        : UnfilterPixels<4>(type, row, previous, size);
    if (done > 0) {
      if (done < size) UnfilterTail(type, row, previous, size, pixel_bytes, done);
      return;
    }
  }
  UnfilterRowPortable(type, row, previous, size, pixel_bytes);
}

}  // namespace qv

#endif  // QV_SIMD_X86
