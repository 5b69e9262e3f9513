// The filtered resampler: contribution lists per axis, a horizontal and a vertical pass.
//
// Stored widths are part of the result: scales, centres, widths, kernel arguments, weights and
// accumulators are 32-bit floats; the expressions between two stores are x87 extended precision.
// The final byte rounds to nearest with ties to even, so a sum of exactly 100.5 gives 100.
#include "imaging/filtered_resample.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "imaging/bitmap.h"
#include "runtime/exceptions.h"
#include "runtime/spare_threads.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QV_RESAMPLE_X86 1
#endif

namespace qv {

namespace {

// Largest number of taps all lists of one axis may hold together (256 MiB of entries).
constexpr std::size_t kMaxContributions = (std::size_t{256} << 20) / sizeof(TContribution);

std::int32_t Reflect(std::int64_t j, std::int64_t extent) {
  // Single reflection for -extent < j < 2 extent; repeated for taps beyond, which only a source
  // smaller than the kernel produces. Each round trip shrinks |j|, so the loop ends.
  while (j < 0 || j >= extent) j = j < 0 ? -j : 2 * extent - 1 - j;
  return static_cast<std::int32_t>(j);
}

std::uint8_t ToByte(float acc) {
  if (acc > 255.0f) return 255;
  if (acc < 0.0f) return 0;
  return static_cast<std::uint8_t>(std::lrint(acc));  // default rounding: nearest, ties to even
}

// acc + byte x weight in extended precision, stored as a 32-bit float.
inline float Accumulate(float acc, std::uint8_t byte, float weight) {
  return static_cast<float>(static_cast<long double>(acc) +
                            static_cast<long double>(byte) * static_cast<long double>(weight));
}

// One destination pixel of the horizontal pass, as written.
inline void PixelPortable(const std::uint8_t* src, const TContribution* list, std::size_t count,
                          std::uint8_t* dst) {
  float a0 = 0.0f, a1 = 0.0f, a2 = 0.0f;
  for (std::size_t e = 0; e < count; ++e) {
    const std::uint8_t* p = src + 3 * static_cast<std::ptrdiff_t>(list[e].index);
    float w = list[e].weight;
    a0 = Accumulate(a0, p[0], w);
    a1 = Accumulate(a1, p[1], w);
    a2 = Accumulate(a2, p[2], w);
  }
  dst[0] = ToByte(a0);
  dst[1] = ToByte(a1);
  dst[2] = ToByte(a2);
}

// One destination row of the vertical pass, as written; acc holds one float per byte and rows[j]
// is row j of the work image.
void ColumnRowPortable(const std::uint8_t* const* rows, const TContribution* list,
                       std::size_t count, std::vector<float>& acc, std::uint8_t* dst) {
  std::fill(acc.begin(), acc.end(), 0.0f);
  // Tap by tap over the whole row: each byte still sums its taps in list order.
  for (std::size_t e = 0; e < count; ++e) {
    const std::uint8_t* src = rows[list[e].index];
    float w = list[e].weight;
    for (std::size_t b = 0; b < acc.size(); ++b) acc[b] = Accumulate(acc[b], src[b], w);
  }
  for (std::size_t b = 0; b < acc.size(); ++b) dst[b] = ToByte(acc[b]);
}

// Rows (of either pass) per band that spare threads may take (runtime/spare_threads.h).
constexpr int kBandRows = 64;

void RowsPortable(const std::uint8_t* src0, std::ptrdiff_t src_step, int height, std::uint8_t* dst0,
                  std::ptrdiff_t dst_step, int dst_width, const TContributionLists& lists) {
  ForEachBand(height, kBandRows, [&](int first, int last) {
    for (int k = first; k < last; ++k)
      for (int i = 0; i < dst_width; ++i)
        PixelPortable(src0 + k * src_step, lists.List(static_cast<std::size_t>(i)),
                      lists.Count(static_cast<std::size_t>(i)), dst0 + k * dst_step + 3 * i);
  });
}

// Destination rows first .. last - 1.
void ColumnRowsPortable(const std::uint8_t* const* rows, std::uint8_t* dst0,
                        std::ptrdiff_t dst_step, int dst_width, int first, int last,
                        const TContributionLists& lists) {
  std::vector<float> acc(3 * static_cast<std::size_t>(dst_width));
  for (int i = first; i < last; ++i)
    ColumnRowPortable(rows, lists.List(static_cast<std::size_t>(i)),
                      lists.Count(static_cast<std::size_t>(i)), acc, dst0 + i * dst_step);
}

#ifdef QV_RESAMPLE_X86

// The fused multiply-add rounds the exact acc + byte x weight once to a 32-bit float; the
// extended form rounds the exact sum to 64 bits first and then to the float. The two differ only
// when that first rounding lands on a midpoint of the float grid, which needs the sum's bits to
// span more than 64: a product more than 2^39 times the accumulator before it (a product far
// below the accumulator cannot reach a midpoint). Sums of earlier taps are multiples of their
// weights' last units, so that takes a tiny weight earlier in the list (or a cancellation to
// within 2^-30 of zero, which integer bytes do not produce in practice). Lists holding a weight
// below kTinyWeight are therefore summed the extended way, also on the vector path.
constexpr float kTinyWeight = 0x1p-28f;

std::vector<std::uint8_t> ListsWithTinyWeights(const TContributionLists& lists) {
  std::vector<std::uint8_t> tiny(lists.first.size() - 1, 0);
  for (std::size_t i = 0; i < tiny.size(); ++i)
    for (std::size_t e = 0; e < lists.Count(i); ++e)
      if (std::fabs(lists.List(i)[e].weight) < kTinyWeight) tiny[i] = 1;
  return tiny;
}

bool HasAvx2Fma() {
  static const bool has = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
  return has;
}

constexpr int kBlockRows = 8;  // source rows that share one broadcast weight
static_assert(kBandRows % kBlockRows == 0, "a band holds whole blocks");
// Widest source row handled by the vector horizontal pass.
constexpr int kMaxVectorWidth = 1 << 20;
// Source columns a strip of destination columns should read at most: their kBlockRows rows as
// floats (128 bytes a column) then take 128 KiB, which stay in the level-2 cache while every
// destination column of the strip reads them, instead of a whole wide row streaming through it.
constexpr int kStripSourceColumns = 1024;

// Destination columns first .. last - 1, reading source columns low .. high.
struct TColumnStrip {
  int first, last;
  int low, high;
};

// Cuts the destination columns into strips, each reading at most kStripSourceColumns source
// columns unless a single column's taps alone span more.
std::vector<TColumnStrip> ColumnStrips(const TContributionLists& lists, int dst_width) {
  std::vector<TColumnStrip> strips;
  for (int i = 0; i < dst_width; ++i) {
    const TContribution* list = lists.List(static_cast<std::size_t>(i));
    std::size_t count = lists.Count(static_cast<std::size_t>(i));
    int low = std::numeric_limits<int>::max(), high = -1;
    for (std::size_t e = 0; e < count; ++e) {
      low = std::min(low, static_cast<int>(list[e].index));
      high = std::max(high, static_cast<int>(list[e].index));
    }
    if (high < 0) low = high = 0;  // no taps: the column is zero and reads nothing
    if (!strips.empty()) {
      TColumnStrip& last = strips.back();
      int joined_low = std::min(last.low, low), joined_high = std::max(last.high, high);
      if (joined_high - joined_low < kStripSourceColumns) {
        last.last = i + 1;
        last.low = joined_low;
        last.high = joined_high;
        continue;
      }
    }
    strips.push_back({i, i + 1, low, high});
  }
  return strips;
}

}  // namespace

struct TRowPass::TPlan {
  std::vector<TColumnStrip> strips;
  int widest = 0;  // source columns of the widest strip
  std::vector<std::uint8_t> tiny;
};

namespace {

// The block holds kBlockRows source rows of one strip's source columns as floats, pixel-major:
// for source column j the channels b, g, r, (spare) of row 0, then of row 1, and so on, 32
// floats per column. Rows past the last of the picture repeat it.
__attribute__((target("avx2,fma"))) void FillBlock(const std::uint8_t* src0,
                                                   std::ptrdiff_t src_step, int src_width, int k0,
                                                   int rows, const TColumnStrip& strip,
                                                   float* block) {
  const std::uint8_t* row[kBlockRows];
  for (int r = 0; r < kBlockRows; ++r) row[r] = src0 + (k0 + std::min(r, rows - 1)) * src_step;
  // Column by column, so that each column's floats are written in one go (the block is larger
  // than the level-1 cache; row by row, every store would miss it), two rows to a vector. A
  // pixel is read as four bytes: the fourth belongs to the next pixel and lands in the spare
  // channel, so the row's last pixel is read apart.
  const int vector_high = std::min(strip.high, src_width - 2);
  int j = strip.low;
  for (; j <= vector_high; ++j) {
    float* b = block + 32 * (j - strip.low);
    for (int r = 0; r < kBlockRows; r += 2) {
      std::int32_t upper, lower;
      std::memcpy(&upper, row[r] + 3 * j, 4);
      std::memcpy(&lower, row[r + 1] + 3 * j, 4);
      __m128i pair = _mm_insert_epi32(_mm_cvtsi32_si128(upper), lower, 1);
      _mm256_storeu_ps(b + 4 * r, _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(pair)));
    }
  }
  if (j <= strip.high) {
    float* b = block + 32 * (j - strip.low);
    for (int r = 0; r < kBlockRows; ++r) {
      const std::uint8_t* p = row[r] + 3 * j;
      std::int32_t last = p[0] | (p[1] << 8) | (p[2] << 16);
      _mm_storeu_ps(b + 4 * r, _mm_cvtepi32_ps(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(last))));
    }
  }
}

// Rows first_row .. last_row - 1 (a multiple of kBlockRows apart, or ending at the last row).
__attribute__((target("avx2,fma"))) void RowBlocksAvx2(const std::uint8_t* src0,
                                                       std::ptrdiff_t src_step, int src_width,
                                                       int first_row, int height,
                                                       std::uint8_t* dst0, std::ptrdiff_t dst_step,
                                                       const TContributionLists& lists,
                                                       const TRowPass::TPlan& plan) {
  std::vector<float> block;
  try {
    block.resize(static_cast<std::size_t>(plan.widest) * 4 * kBlockRows);
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory();
  }
  // Byte offset of each row's four result bytes after packing four accumulators (see below).
  static constexpr int kPackedOffset[kBlockRows] = {0, 16, 4, 20, 8, 24, 12, 28};
  for (int k0 = first_row; k0 < height; k0 += kBlockRows) {
    int rows = std::min(kBlockRows, height - k0);
    for (const TColumnStrip& strip : plan.strips) {
      FillBlock(src0, src_step, src_width, k0, rows, strip, block.data());
      for (int i = strip.first; i < strip.last; ++i) {
        if (plan.tiny[static_cast<std::size_t>(i)]) {
          for (int r = 0; r < rows; ++r)
            PixelPortable(src0 + (k0 + r) * src_step, lists.List(static_cast<std::size_t>(i)),
                          lists.Count(static_cast<std::size_t>(i)),
                          dst0 + (k0 + r) * dst_step + 3 * i);
          continue;
        }
        __m256 acc0 = _mm256_setzero_ps(), acc1 = _mm256_setzero_ps();
        __m256 acc2 = _mm256_setzero_ps(), acc3 = _mm256_setzero_ps();
        const TContribution* list = lists.List(static_cast<std::size_t>(i));
        std::size_t count = lists.Count(static_cast<std::size_t>(i));
        for (std::size_t e = 0; e < count; ++e) {
          __m256 w = _mm256_broadcast_ss(&list[e].weight);
          const float* p =
              block.data() + 32 * static_cast<std::ptrdiff_t>(list[e].index - strip.low);
          acc0 = _mm256_fmadd_ps(_mm256_loadu_ps(p), w, acc0);
          acc1 = _mm256_fmadd_ps(_mm256_loadu_ps(p + 8), w, acc1);
          acc2 = _mm256_fmadd_ps(_mm256_loadu_ps(p + 16), w, acc2);
          acc3 = _mm256_fmadd_ps(_mm256_loadu_ps(p + 24), w, acc3);
        }
        // Round to nearest even, then saturate to 0..255 (the same as clamping the float first).
        __m256i p01 = _mm256_packs_epi32(_mm256_cvtps_epi32(acc0), _mm256_cvtps_epi32(acc1));
        __m256i p23 = _mm256_packs_epi32(_mm256_cvtps_epi32(acc2), _mm256_cvtps_epi32(acc3));
        alignas(32) std::uint8_t packed[32];
        _mm256_store_si256(reinterpret_cast<__m256i*>(packed), _mm256_packus_epi16(p01, p23));
        for (int r = 0; r < rows; ++r)
          std::memcpy(dst0 + (k0 + r) * dst_step + 3 * i, packed + kPackedOffset[r], 3);
      }
    }
  }
}

void RowsAvx2(const std::uint8_t* src0, std::ptrdiff_t src_step, int src_width, int height,
              std::uint8_t* dst0, std::ptrdiff_t dst_step, const TRowPass& pass) {
  ForEachBand(height, kBandRows, [&](int first, int last) {
    RowBlocksAvx2(src0, src_step, src_width, first, last, dst0, dst_step, pass.Lists(),
                  pass.Plan());
  });
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

// Destination rows first .. last - 1.
__attribute__((target("avx2,fma"))) void ColumnRowsAvx2(const std::uint8_t* const* rows,
                                                        std::uint8_t* dst0, std::ptrdiff_t dst_step,
                                                        int dst_width, int first, int last,
                                                        const TContributionLists& lists,
                                                        const std::vector<std::uint8_t>& tiny) {
  std::size_t bytes = 3 * static_cast<std::size_t>(dst_width);
  std::vector<float> row_acc;
  for (int i = first; i < last; ++i) {
    const TContribution* list = lists.List(static_cast<std::size_t>(i));
    std::size_t count = lists.Count(static_cast<std::size_t>(i));
    std::uint8_t* dst = dst0 + i * dst_step;
    if (tiny[static_cast<std::size_t>(i)]) {
      row_acc.resize(bytes);
      ColumnRowPortable(rows, list, count, row_acc, dst);
      continue;
    }
    std::size_t x = 0;
    for (; x + 64 <= bytes; x += 64) {
      __m256 acc[8];
      for (auto& a : acc) a = _mm256_setzero_ps();
      for (std::size_t e = 0; e < count; ++e) {
        const std::uint8_t* src = rows[list[e].index] + x;
        __m256 w = _mm256_broadcast_ss(&list[e].weight);
        for (int q = 0; q < 8; ++q) acc[q] = _mm256_fmadd_ps(LoadEight(src + 8 * q), w, acc[q]);
      }
      for (int q = 0; q < 8; ++q)
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + x + 8 * q), PackEight(acc[q]));
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
      dst[x] = ToByte(_mm_cvtss_f32(acc));
    }
  }
}

#endif  // QV_RESAMPLE_X86

}  // namespace

float ResampleScale(int dest_extent, int source_extent) {
  if (source_extent == 1)
    return static_cast<float>(static_cast<long double>(dest_extent) / source_extent);
  return static_cast<float>(static_cast<long double>(dest_extent - 1) / (source_extent - 1));
}

TContributionLists BuildContributions(float scale, int source_extent, int dest_extent,
                                      TFilterKernel kernel, float support) {
  TContributionLists lists;
  std::size_t m = static_cast<std::size_t>(std::max(dest_extent, 0));
  lists.first.assign(m + 1, 0);
  if (m == 0 || source_extent < 1) return lists;
  if (!(scale > 0.0f)) {
    // One destination pixel from a longer source: the corner-aligned mapping puts it on the
    // first source pixel, and a widened kernel would divide by the zero scale.
    lists.entries.assign(m, TContribution{0, 1.0f});
    for (std::size_t i = 0; i <= m; ++i) lists.first[i] = i;
    return lists;
  }
  bool reduce = scale < 1.0f;
  float width = support;
  float fscale = 1.0f;
  if (reduce) {
    width = static_cast<float>(static_cast<long double>(support) / scale);
    fscale = static_cast<float>(1.0L / scale);
  }
  // Each list has at most 2 width + 3 candidate taps; check the total before reserving it.
  long double per_list = 2.0L * width + 3.0L;
  if (per_list * static_cast<long double>(m) > static_cast<long double>(kMaxContributions))
    throw EOutOfMemory();
  try {
    lists.entries.reserve(static_cast<std::size_t>(per_list * static_cast<long double>(m)));
    for (std::size_t i = 0; i < m; ++i) {
      lists.first[i] = lists.entries.size();
      auto centre = static_cast<float>(static_cast<long double>(i) / scale);
      auto left = static_cast<std::int64_t>(std::floor(static_cast<long double>(centre) - width));
      auto right = static_cast<std::int64_t>(std::ceil(static_cast<long double>(centre) + width));
      for (std::int64_t j = left; j <= right; ++j) {
        long double distance = static_cast<long double>(centre) - static_cast<long double>(j);
        float weight;
        if (reduce) {
          auto argument = static_cast<float>(distance / fscale);
          weight = static_cast<float>(static_cast<long double>(kernel(argument)) / fscale);
        } else {
          weight = kernel(static_cast<float>(distance));
        }
        if (weight == 0.0f) continue;
        lists.entries.push_back({Reflect(j, source_extent), weight});
      }
    }
    lists.first[m] = lists.entries.size();
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory();
  }
  return lists;
}

TRowPass::TRowPass(const TContributionLists& lists)
    : lists_(lists), plan_(std::make_unique<TPlan>()) {
#ifdef QV_RESAMPLE_X86
  const int dst_width = static_cast<int>(lists.first.size()) - 1;
  plan_->strips = ColumnStrips(lists, dst_width);
  for (const TColumnStrip& strip : plan_->strips)
    plan_->widest = std::max(plan_->widest, strip.high - strip.low + 1);
  plan_->tiny = ListsWithTinyWeights(lists);
#endif
}

TRowPass::~TRowPass() = default;

void ResampleRows(const TBitmap& source, TBitmap& work, const TContributionLists& lists,
                  TResamplePath path) {
  int height = std::min(source.Height(), work.Height());
  if (height < 1 || work.Width() < 1 || source.Width() < 1) return;
  ResampleRowBand(source.ScanLine(0), source.RowStep(), source.Width(), height, work.ScanLine(0),
                  work.RowStep(), TRowPass(lists), path);
}

void ResampleRowBand(const std::uint8_t* src0, std::ptrdiff_t src_step, int src_width, int rows,
                     std::uint8_t* dst0, std::ptrdiff_t dst_step, const TRowPass& pass,
                     TResamplePath path) {
  const int dst_width = static_cast<int>(pass.Lists().first.size()) - 1;
  if (rows < 1 || dst_width < 1 || src_width < 1) return;
#ifdef QV_RESAMPLE_X86
  if (path == TResamplePath::kFastest && HasAvx2Fma() && src_width <= kMaxVectorWidth) {
    RowsAvx2(src0, src_step, src_width, rows, dst0, dst_step, pass);
    return;
  }
#endif
  (void)path;
  RowsPortable(src0, src_step, rows, dst0, dst_step, dst_width, pass.Lists());
}

TColumnPass::TColumnPass(const TContributionLists& lists) : lists_(lists) {
#ifdef QV_RESAMPLE_X86
  tiny_ = ListsWithTinyWeights(lists);
#endif
}

void TColumnPass::Run(const std::uint8_t* const* rows, int width, TBitmap& dest, int first,
                      int last, TResamplePath path) const {
  const int dst_width = std::min(width, dest.Width());
  last = std::min(last, std::min(dest.Height(), static_cast<int>(lists_.first.size()) - 1));
  if (dst_width < 1 || first >= last) return;
  std::uint8_t* dst0 = dest.ScanLine(0);
  const std::ptrdiff_t dst_step = dest.RowStep();
  ForEachBand(last - first, kBandRows, [&](int band_first, int band_last) {
#ifdef QV_RESAMPLE_X86
    if (path == TResamplePath::kFastest && HasAvx2Fma()) {
      ColumnRowsAvx2(rows, dst0, dst_step, dst_width, first + band_first, first + band_last, lists_,
                     tiny_);
      return;
    }
#endif
    (void)path;
    ColumnRowsPortable(rows, dst0, dst_step, dst_width, first + band_first, first + band_last,
                       lists_);
  });
}

void ResampleColumns(const TBitmap& work, TBitmap& dest, const TContributionLists& lists,
                     TResamplePath path) {
  int dst_width = std::min(work.Width(), dest.Width());
  int dst_height = dest.Height();
  if (dst_width < 1 || dst_height < 1 || work.Height() < 1) return;
  std::vector<const std::uint8_t*> rows(static_cast<std::size_t>(work.Height()));
  for (int j = 0; j < work.Height(); ++j) rows[static_cast<std::size_t>(j)] = work.ScanLine(j);
  TColumnPass(lists).Run(rows.data(), dst_width, dest, 0, dst_height, path);
}

void FilteredResample(TBitmap& source, TBitmap& dest, TFilterKernel kernel, float support,
                      TResamplePath path) {
  int dst_width = dest.Width();
  int dst_height = dest.Height();
  int src_width = source.Width();
  int src_height = source.Height();
  if (src_width < 1 || src_height < 1 || source.Empty()) throw Exception(Tr(kSourceBitmapTooSmall));
  float sx = ResampleScale(dst_width, src_width);
  float sy = ResampleScale(dst_height, src_height);
  source.SetPixelFormat(TPixelFormat::pf24bit);
  dest.SetPixelFormat(TPixelFormat::pf24bit);
  if (dst_width < 1 || dst_height < 1) return;
  // The work image has destination width and source height: rows first keeps it small for the
  // usual reduction, and each list is reused for every row (column) of its pass.
  TBitmap work;
  work.Allocate(dst_width, src_height, TPixelFormat::pf24bit);
  {
    TContributionLists lists = BuildContributions(sx, src_width, dst_width, kernel, support);
    ResampleRows(source, work, lists, path);
  }
  TContributionLists lists = BuildContributions(sy, src_height, dst_height, kernel, support);
  ResampleColumns(work, dest, lists, path);
}

}  // namespace qv
