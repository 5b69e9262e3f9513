// The filtered resampler's passes with AVX2 and FMA, for x86 processors that have both: eight
// accumulators a vector, each tap one fused multiply-add (the bytes of every other form, see
// filtered_resample.cpp). Lists with tiny weights are summed as written in the vertical pass; the
// horizontal pass sums them fused with a check of every step (MayRoundOtherwise).
#include "imaging/filtered_resample_x86.h"

#if defined(QV_SIMD_X86)

#include <immintrin.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "imaging/filtered_resample_forms.h"
#include "runtime/exceptions.h"

namespace qv {

namespace {

// Source rows that share one broadcast weight: eight vectors of accumulators, enough independent
// sums to keep the multiply-add units busy while each waits for the one before it.
constexpr int kBlockRows = 16;
constexpr int kBlockFloats = 4 * kBlockRows;  // floats a source column takes in the block
static_assert(kResampleBandRows % kBlockRows == 0, "a band holds whole blocks");
// Widest source row handled by the vector horizontal pass.
constexpr int kMaxVectorWidth = 1 << 20;

// Source columns from .. to of the block (see FillBlock), each read as four bytes from every row
// row_at(r) gives, two rows to a vector.
template <class TRowAt>
__attribute__((target("avx2,fma"))) inline void FillColumns(TRowAt row_at, int from, int to,
                                                            int low, float* block) {
  for (int j = from; j <= to; ++j) {
    float* b = block + kBlockFloats * (j - low);
#pragma GCC unroll 8
    for (int r = 0; r < kBlockRows; r += 2) {
      std::int32_t upper, lower;
      std::memcpy(&upper, row_at(r) + 3 * j, 4);
      std::memcpy(&lower, row_at(r + 1) + 3 * j, 4);
      __m128i pair = _mm_insert_epi32(_mm_cvtsi32_si128(upper), lower, 1);
      _mm256_storeu_ps(b + 4 * r, _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(pair)));
    }
  }
}

// The block holds kBlockRows source rows of one strip's source columns as floats, pixel-major:
// for source column j the channels b, g, r, (spare) of row 0, then of row 1, and so on,
// kBlockFloats floats per column. Rows past the last of the picture repeat it.
__attribute__((target("avx2,fma"))) void FillBlock(const std::uint8_t* src0,
                                                   std::ptrdiff_t src_step, int src_width, int k0,
                                                   int rows, const TColumnStrip& strip,
                                                   float* block) {
  const std::uint8_t* row[kBlockRows];
  for (int r = 0; r < kBlockRows; ++r) row[r] = src0 + (k0 + std::min(r, rows - 1)) * src_step;
  // Column by column, so that each column's floats are written in one go (the block is larger
  // than the level-1 cache; row by row, every store would miss it). A pixel is read as four
  // bytes: the fourth belongs to the next pixel and lands in the spare channel, so the row's last
  // pixel is read apart. A whole block's rows are found from the first, which keeps them out of
  // memory.
  const int vector_high = std::min(strip.high, src_width - 2);
  if (rows == kBlockRows) {
    const std::uint8_t* top = row[0];
    FillColumns([=](int r) { return top + r * src_step; }, strip.low, vector_high, strip.low,
                block);
  } else {
    FillColumns([&](int r) { return row[r]; }, strip.low, vector_high, strip.low, block);
  }
  const int j = std::max(strip.low, vector_high + 1);
  if (j <= strip.high) {
    float* b = block + kBlockFloats * (j - strip.low);
    for (int r = 0; r < kBlockRows; ++r) {
      const std::uint8_t* p = row[r] + 3 * j;
      std::int32_t last = p[0] | (p[1] << 8) | (p[2] << 16);
      _mm_storeu_ps(b + 4 * r, _mm_cvtepi32_ps(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(last))));
    }
  }
}

// Rounds four accumulators of eight rows (rows 2v and 2v + 1 in accumulator v) to nearest even,
// saturates them to 0..255 (the same as clamping the floats first) and stores the first rows of
// them, three bytes each, from dst on (rows step bytes apart).
__attribute__((target("avx2,fma"))) inline void StoreEightRows(__m256 a0, __m256 a1, __m256 a2,
                                                               __m256 a3, std::uint8_t* dst,
                                                               std::ptrdiff_t step, int rows) {
  // Byte offset of each row's four bytes after packing, which works within 128-bit lanes.
  static constexpr int kPackedOffset[8] = {0, 16, 4, 20, 8, 24, 12, 28};
  __m256i p01 = _mm256_packs_epi32(_mm256_cvtps_epi32(a0), _mm256_cvtps_epi32(a1));
  __m256i p23 = _mm256_packs_epi32(_mm256_cvtps_epi32(a2), _mm256_cvtps_epi32(a3));
  alignas(32) std::uint8_t packed[32];
  _mm256_store_si256(reinterpret_cast<__m256i*>(packed), _mm256_packus_epi16(p01, p23));
  for (int r = 0; r < rows; ++r) std::memcpy(dst + r * step, packed + kPackedOffset[r], 3);
}

// Whether acc + byte x weight, summed fused, may round otherwise than summed in extended
// precision and then stored (see filtered_resample.cpp): only where the product is more than 2^40
// times a nonzero accumulator. Below that the exact sum either fits the extended format's 64 bits
// or the product is under an eighth of the accumulator's last unit, and both round alike. The
// test takes the product bound as byte x |weight| / 2^39 (scaled_weight), which covers its own
// rounding, and counts an accumulator below 2^-100 as risky too, so that the bound never meets
// a denormal.
__attribute__((target("avx2,fma"))) inline __m256 MayRoundOtherwise(__m256 acc, __m256 byte,
                                                                    __m256 scaled_weight) {
  const __m256 magnitude = _mm256_andnot_ps(_mm256_set1_ps(-0.0f), acc);
  const __m256 limit = _mm256_max_ps(_mm256_mul_ps(byte, scaled_weight), _mm256_set1_ps(0x1p-100f));
  return _mm256_and_ps(_mm256_cmp_ps(magnitude, limit, _CMP_LT_OQ),
                       _mm256_cmp_ps(magnitude, _mm256_setzero_ps(), _CMP_GT_OQ));
}

// One tap into one accumulator, checked or not (see MayRoundOtherwise).
template <bool kChecked>
__attribute__((target("avx2,fma"))) inline void AddTap(__m256& acc, const float* at, __m256 w,
                                                       __m256 scaled_weight, __m256& risky) {
  const __m256 byte = _mm256_loadu_ps(at);
  if constexpr (kChecked) risky = _mm256_or_ps(risky, MayRoundOtherwise(acc, byte, scaled_weight));
  acc = _mm256_fmadd_ps(byte, w, acc);
}

// The sums of one destination column over a block: accumulator v takes rows 2v and 2v + 1, tap by
// tap in list order. Checked, it also tells whether every step is sure to round as the extended
// sum does (MayRoundOtherwise); unchecked, it answers true.
template <bool kChecked>
__attribute__((target("avx2,fma"))) inline bool SumBlockColumn(
    const float* block, int low, const TContribution* list, std::size_t count, __m256& a0,
    __m256& a1, __m256& a2, __m256& a3, __m256& a4, __m256& a5, __m256& a6, __m256& a7) {
  a0 = a1 = a2 = a3 = a4 = a5 = a6 = a7 = _mm256_setzero_ps();
  __m256 risky = _mm256_setzero_ps();
  for (std::size_t e = 0; e < count; ++e) {
    const __m256 w = _mm256_broadcast_ss(&list[e].weight);
    const float* p = block + kBlockFloats * static_cast<std::ptrdiff_t>(list[e].index - low);
    __m256 scaled = w;
    if constexpr (kChecked)
      scaled = _mm256_mul_ps(_mm256_andnot_ps(_mm256_set1_ps(-0.0f), w), _mm256_set1_ps(0x1p-39f));
    AddTap<kChecked>(a0, p, w, scaled, risky);
    AddTap<kChecked>(a1, p + 8, w, scaled, risky);
    AddTap<kChecked>(a2, p + 16, w, scaled, risky);
    AddTap<kChecked>(a3, p + 24, w, scaled, risky);
    AddTap<kChecked>(a4, p + 32, w, scaled, risky);
    AddTap<kChecked>(a5, p + 40, w, scaled, risky);
    AddTap<kChecked>(a6, p + 48, w, scaled, risky);
    AddTap<kChecked>(a7, p + 56, w, scaled, risky);
  }
  return _mm256_movemask_ps(risky) == 0;
}

// Rows first_row .. last_row - 1 (a multiple of kBlockRows apart, or ending at the last row).
__attribute__((target("avx2,fma"))) void RowBlocksAvx2(const std::uint8_t* src0,
                                                       std::ptrdiff_t src_step, int src_width,
                                                       int first_row, int height,
                                                       std::uint8_t* dst0, std::ptrdiff_t dst_step,
                                                       const TContributionLists& lists,
                                                       const TRowPass::TPlan& plan) {
  // Left uninitialised: FillBlock writes every float of a strip's columns before they are read,
  // and zeroing it took as long as a tenth of the pass when a decoder hands over short bands.
  std::unique_ptr<float[]> block;
  try {
    block.reset(new float[static_cast<std::size_t>(plan.widest) * kBlockFloats]);
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory();
  }
  for (int k0 = first_row; k0 < height; k0 += kBlockRows) {
    int rows = std::min(kBlockRows, height - k0);
    for (const TColumnStrip& strip : plan.strips) {
      FillBlock(src0, src_step, src_width, k0, rows, strip, block.get());
      for (int i = strip.first; i < strip.last; ++i) {
        const TContribution* list = lists.List(static_cast<std::size_t>(i));
        const std::size_t count = lists.Count(static_cast<std::size_t>(i));
        // Named accumulators rather than an array, which the compiler would keep in memory.
        __m256 a0, a1, a2, a3, a4, a5, a6, a7;
        // A list with tiny weights is summed with the check, and where a step may round
        // otherwise, the block's rows are summed again as written.
        const bool sure = plan.tiny[static_cast<std::size_t>(i)]
                              ? SumBlockColumn<true>(block.get(), strip.low, list, count, a0, a1,
                                                     a2, a3, a4, a5, a6, a7)
                              : SumBlockColumn<false>(block.get(), strip.low, list, count, a0, a1,
                                                      a2, a3, a4, a5, a6, a7);
        if (!sure) {
          for (int r = 0; r < rows; ++r)
            ResamplePixelExtended(src0 + (k0 + r) * src_step, list, count,
                                  dst0 + (k0 + r) * dst_step + 3 * i);
          continue;
        }
        std::uint8_t* dst = dst0 + k0 * dst_step + 3 * i;
        StoreEightRows(a0, a1, a2, a3, dst, dst_step, std::min(rows, 8));
        if (rows > 8) StoreEightRows(a4, a5, a6, a7, dst + 8 * dst_step, dst_step, rows - 8);
      }
    }
  }
}

__attribute__((target("avx2,fma"))) inline __m128i PackEight(__m256 acc) {
  __m256i v = _mm256_cvtps_epi32(acc);
  __m128i words = _mm_packs_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
  return _mm_packus_epi16(words, words);
}

__attribute__((target("avx2,fma"))) inline __m256 LoadEight(const std::uint8_t* p) {
  return _mm256_cvtepi32_ps(
      _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
}

}  // namespace

void ResampleRowsAvx2(const std::uint8_t* src0, std::ptrdiff_t src_step, int src_width, int first,
                      int last, std::uint8_t* dst0, std::ptrdiff_t dst_step, const TRowPass& pass) {
  if (src_width <= kMaxVectorWidth) {
    RowBlocksAvx2(src0, src_step, src_width, first, last, dst0, dst_step, pass.Lists(),
                  pass.Plan());
    return;
  }
  ResampleRowsExtended(src0, src_step, src_width, first, last, dst0, dst_step, pass);
}

__attribute__((target("avx2,fma"))) void ResampleColumnRowsAvx2(const std::uint8_t* const* rows,
                                                                int width, std::uint8_t* dst0,
                                                                std::ptrdiff_t dst_step, int first,
                                                                int last, const TColumnPass& pass) {
  const TContributionLists& lists = pass.Lists();
  const std::vector<std::uint8_t>& tiny = pass.TinyWeights();
  std::size_t bytes = 3 * static_cast<std::size_t>(width);
  std::vector<float> row_acc;
  for (int i = first; i < last; ++i) {
    const TContribution* list = lists.List(static_cast<std::size_t>(i));
    std::size_t count = lists.Count(static_cast<std::size_t>(i));
    std::uint8_t* dst = dst0 + i * dst_step;
    if (tiny[static_cast<std::size_t>(i)]) {
      row_acc.resize(bytes);
      ResampleColumnRowExtended(rows, list, count, row_acc, dst);
      continue;
    }
    std::size_t x = 0;
    for (; x + 64 <= bytes; x += 64) {
      // Named accumulators rather than an array, which the compiler would keep in memory.
      __m256 a0 = _mm256_setzero_ps(), a1 = a0, a2 = a0, a3 = a0, a4 = a0, a5 = a0, a6 = a0,
             a7 = a0;
      for (std::size_t e = 0; e < count; ++e) {
        const std::uint8_t* src = rows[list[e].index] + x;
        __m256 w = _mm256_broadcast_ss(&list[e].weight);
        a0 = _mm256_fmadd_ps(LoadEight(src), w, a0);
        a1 = _mm256_fmadd_ps(LoadEight(src + 8), w, a1);
        a2 = _mm256_fmadd_ps(LoadEight(src + 16), w, a2);
        a3 = _mm256_fmadd_ps(LoadEight(src + 24), w, a3);
        a4 = _mm256_fmadd_ps(LoadEight(src + 32), w, a4);
        a5 = _mm256_fmadd_ps(LoadEight(src + 40), w, a5);
        a6 = _mm256_fmadd_ps(LoadEight(src + 48), w, a6);
        a7 = _mm256_fmadd_ps(LoadEight(src + 56), w, a7);
      }
      std::uint8_t* out = dst + x;
      for (__m256 a : {a0, a1, a2, a3, a4, a5, a6, a7}) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), PackEight(a));
        out += 8;
      }
    }
    for (; x + 8 <= bytes; x += 8) {
      __m256 acc = _mm256_setzero_ps();
      for (std::size_t e = 0; e < count; ++e)
        acc = _mm256_fmadd_ps(LoadEight(rows[list[e].index] + x),
                              _mm256_broadcast_ss(&list[e].weight), acc);
      _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + x), PackEight(acc));
    }
    for (; x < bytes; ++x) {
      __m128 acc = _mm_setzero_ps();
      for (std::size_t e = 0; e < count; ++e) {
        __m128 v = _mm_set_ss(static_cast<float>(rows[list[e].index][x]));
        acc = _mm_fmadd_ss(v, _mm_set_ss(list[e].weight), acc);
      }
      dst[x] = ResampleToByte(_mm_cvtss_f32(acc));
    }
  }
}

}  // namespace qv

#endif  // QV_SIMD_X86
