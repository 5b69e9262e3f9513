// The filtered resampler: contribution lists per axis, a horizontal and a vertical pass.
//
// Stored widths are part of the result: scales, centres, widths, kernel arguments, weights and
// accumulators are 32-bit floats; the expressions between two stores are x87 extended precision.
// The final byte rounds to nearest with ties to even, so a sum of exactly 100.5 gives 100. The
// passes' inner loops come in forms (filtered_resample_forms.h): the arithmetic as written
// here, one fused multiply-add at a time here, and vector code in filtered_resample_x86.cpp.
#include "imaging/filtered_resample.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "imaging/bitmap.h"
#include "imaging/filtered_resample_forms.h"
#include "imaging/filtered_resample_x86.h"
#include "runtime/exceptions.h"
#include "runtime/spare_threads.h"
#include "simd/extended_float.h"

namespace qv {

namespace {

// Largest number of taps all lists of one axis may hold together (256 MiB of entries).
constexpr std::size_t kMaxContributions = (std::size_t{256} << 20) / sizeof(TContribution);
// Source columns a strip of destination columns should read at most: the vector form's rows of
// them as floats (256 bytes a column) then take 256 KiB, which stay in the level-2 cache while
// every destination column of the strip reads them, instead of a whole wide row streaming
// through it.
constexpr int kStripSourceColumns = 1024;

std::int32_t Reflect(std::int64_t j, std::int64_t extent) {
  // Single reflection for -extent < j < 2 extent; repeated for taps beyond, which only a source
  // smaller than the kernel produces. Each round trip shrinks |j|, so the loop ends.
  while (j < 0 || j >= extent) j = j < 0 ? -j : 2 * extent - 1 - j;
  return static_cast<std::int32_t>(j);
}

// acc + byte x weight in extended precision, stored as a 32-bit float.
inline float Accumulate(float acc, std::uint8_t byte, float weight) {
  return static_cast<float>(TExtended(acc) + TExtended(byte) * TExtended(weight));
}

// acc + byte x weight rounded once to a 32-bit float.
inline float Fused(float acc, std::uint8_t byte, float weight) {
  return std::fma(static_cast<float>(byte), weight, acc);
}

// The fused multiply-add rounds the exact acc + byte x weight once to a 32-bit float; the
// extended form rounds the exact sum to 64 bits first and then to the float. The two differ only
// when that first rounding lands on a midpoint of the float grid, which needs the sum's bits to
// span more than 64: a product more than 2^39 times the accumulator before it (a product far
// below the accumulator cannot reach a midpoint). Sums of earlier taps are multiples of their
// weights' last units, so that takes a tiny weight earlier in the list (or a cancellation to
// within 2^-30 of zero, which integer bytes do not produce in practice). Lists holding a weight
// below kTinyWeight are therefore summed the extended way (the vector form's horizontal pass sums
// them fused but checks every step, and sums a block as written where one may round otherwise,
// see filtered_resample_x86.cpp), except where every weight is positive and none is more than
// kMostRise times the smallest weight before it. There no sum cancels, so a nonzero accumulator is
// at least the smallest weight summed into it, and a byte times the next weight stays below 2^36
// times the accumulator, short of the 2^40 at which the accumulator's last unit falls below the
// last of the sum's 64 bits. A kernel's tail falling off to the right is always so.
constexpr float kTinyWeight = 0x1p-28f;
constexpr double kMostRise = 0x1p28;

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

using TAccumulate = float (*)(float acc, std::uint8_t byte, float weight);

// One destination pixel of the horizontal pass; src is the source row.
template <TAccumulate kAdd>
void Pixel(const std::uint8_t* src, const TContribution* list, std::size_t count,
           std::uint8_t* dst) {
  float a0 = 0.0f, a1 = 0.0f, a2 = 0.0f;
  for (std::size_t e = 0; e < count; ++e) {
    const std::uint8_t* p = src + 3 * static_cast<std::ptrdiff_t>(list[e].index);
    float w = list[e].weight;
    a0 = kAdd(a0, p[0], w);
    a1 = kAdd(a1, p[1], w);
    a2 = kAdd(a2, p[2], w);
  }
  dst[0] = ResampleToByte(a0);
  dst[1] = ResampleToByte(a1);
  dst[2] = ResampleToByte(a2);
}

// One destination row of the vertical pass; acc holds one float per byte and rows[j] is row j of
// the work image.
template <TAccumulate kAdd>
void ColumnRow(const std::uint8_t* const* rows, const TContribution* list, std::size_t count,
               std::vector<float>& acc, std::uint8_t* dst) {
  std::fill(acc.begin(), acc.end(), 0.0f);
  // Tap by tap over the whole row: each byte still sums its taps in list order.
  for (std::size_t e = 0; e < count; ++e) {
    const std::uint8_t* src = rows[list[e].index];
    float w = list[e].weight;
    for (std::size_t b = 0; b < acc.size(); ++b) acc[b] = kAdd(acc[b], src[b], w);
  }
  for (std::size_t b = 0; b < acc.size(); ++b) dst[b] = ResampleToByte(acc[b]);
}

// Whole passes: with fused sums, the lists with tiny weights are summed as written.
template <TAccumulate kAdd>
void Rows(const std::uint8_t* src0, std::ptrdiff_t src_step, int, int first, int last,
          std::uint8_t* dst0, std::ptrdiff_t dst_step, const TRowPass& pass) {
  const TContributionLists& lists = pass.Lists();
  const int dst_width = static_cast<int>(lists.first.size()) - 1;
  for (int k = first; k < last; ++k)
    for (int i = 0; i < dst_width; ++i) {
      const auto list = static_cast<std::size_t>(i);
      const bool as_written = kAdd == Accumulate || pass.Plan().tiny[list];
      (as_written ? Pixel<Accumulate> : Pixel<kAdd>)(src0 + k * src_step, lists.List(list),
                                                     lists.Count(list),
                                                     dst0 + k * dst_step + 3 * i);
    }
}

template <TAccumulate kAdd>
void ColumnRows(const std::uint8_t* const* rows, int width, std::uint8_t* dst0,
                std::ptrdiff_t dst_step, int first, int last, const TColumnPass& pass) {
  const TContributionLists& lists = pass.Lists();
  std::vector<float> acc(3 * static_cast<std::size_t>(width));
  for (int i = first; i < last; ++i) {
    const auto list = static_cast<std::size_t>(i);
    const bool as_written = kAdd == Accumulate || pass.TinyWeights()[list];
    (as_written ? ColumnRow<Accumulate> : ColumnRow<kAdd>)(rows, lists.List(list),
                                                           lists.Count(list), acc,
                                                           dst0 + i * dst_step);
  }
}

const TResampleForms& FormsFor(TArithmeticPath path) {
  return path == TArithmeticPath::kFastest ? Chosen<ResampleFormVariants>()
                                           : PortableVariant(ResampleFormVariants()).function;
}

}  // namespace

std::span<const TVariant<TResampleForms>> ResampleFormVariants() {
  static constexpr TVariant<TResampleForms> kForms[] = {
      QV_X86_FORM("avx2", {TCpuFeature::kAvx2, TCpuFeature::kFma},
                  {ResampleRowsAvx2, ResampleColumnRowsAvx2})  //
      {"fma", {TCpuFeature::kFma}, {Rows<Fused>, ColumnRows<Fused>}},
      {"portable", {}, {Rows<Accumulate>, ColumnRows<Accumulate>}}};
  return kForms;
}

std::uint8_t ResampleToByte(float acc) {
  if (acc > 255.0f) return 255;
  if (acc < 0.0f) return 0;
  return static_cast<std::uint8_t>(std::lrint(acc));  // default rounding: nearest, ties to even
}

void ResamplePixelExtended(const std::uint8_t* src, const TContribution* list, std::size_t count,
                           std::uint8_t* dst) {
  Pixel<Accumulate>(src, list, count, dst);
}

void ResampleColumnRowExtended(const std::uint8_t* const* rows, const TContribution* list,
                               std::size_t count, std::vector<float>& acc, std::uint8_t* dst) {
  ColumnRow<Accumulate>(rows, list, count, acc, dst);
}

void ResampleRowsExtended(const std::uint8_t* src0, std::ptrdiff_t src_step, int src_width,
                          int first, int last, std::uint8_t* dst0, std::ptrdiff_t dst_step,
                          const TRowPass& pass) {
  Rows<Accumulate>(src0, src_step, src_width, first, last, dst0, dst_step, pass);
}

namespace {

// Whether a list holding a tiny weight may still be summed fused (see kTinyWeight).
bool RisesSlowly(const TContribution* list, std::size_t count) {
  double smallest = std::numeric_limits<double>::infinity();
  for (std::size_t e = 0; e < count; ++e) {
    const double weight = list[e].weight;
    if (!(weight > 0.0) || weight > kMostRise * smallest) return false;
    smallest = std::min(smallest, weight);
  }
  return true;
}

}  // namespace

std::vector<std::uint8_t> ListsWithTinyWeights(const TContributionLists& lists) {
  std::vector<std::uint8_t> tiny(lists.first.size() - 1, 0);
  for (std::size_t i = 0; i < tiny.size(); ++i) {
    const TContribution* list = lists.List(i);
    const std::size_t count = lists.Count(i);
    for (std::size_t e = 0; e < count; ++e)
      if (std::fabs(list[e].weight) < kTinyWeight) tiny[i] = 1;
    if (tiny[i] && RisesSlowly(list, count)) tiny[i] = 0;
  }
  return tiny;
}

float ResampleScale(int dest_extent, int source_extent) {
  if (source_extent == 1) return static_cast<float>(TExtended(dest_extent) / source_extent);
  return static_cast<float>(TExtended(dest_extent - 1) / (source_extent - 1));
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
    width = static_cast<float>(TExtended(support) / scale);
    fscale = static_cast<float>(TExtended(1) / scale);
  }
  // Each list has at most 2 width + 3 candidate taps; check the total before reserving it.
  const TExtended per_list = TExtended(2) * width + 3;
  if (per_list * TExtended(m) > TExtended(kMaxContributions)) throw EOutOfMemory();
  try {
    lists.entries.reserve(
        static_cast<std::size_t>(static_cast<long long>(per_list * TExtended(m))));
    for (std::size_t i = 0; i < m; ++i) {
      lists.first[i] = lists.entries.size();
      auto centre = static_cast<float>(TExtended(i) / scale);
      auto left =
          static_cast<std::int64_t>(static_cast<long long>(Floor(TExtended(centre) - width)));
      auto right =
          static_cast<std::int64_t>(static_cast<long long>(Ceil(TExtended(centre) + width)));
      for (std::int64_t j = left; j <= right; ++j) {
        const TExtended distance = TExtended(centre) - TExtended(static_cast<long long>(j));
        float weight;
        if (reduce) {
          auto argument = static_cast<float>(distance / fscale);
          weight = static_cast<float>(TExtended(kernel(argument)) / fscale);
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
  const int dst_width = static_cast<int>(lists.first.size()) - 1;
  plan_->strips = ColumnStrips(lists, dst_width);
  for (const TColumnStrip& strip : plan_->strips)
    plan_->widest = std::max(plan_->widest, strip.high - strip.low + 1);
  plan_->tiny = ListsWithTinyWeights(lists);
}

TRowPass::~TRowPass() = default;

namespace {

void RowBandWith(const std::uint8_t* src0, std::ptrdiff_t src_step, int src_width, int rows,
                 std::uint8_t* dst0, std::ptrdiff_t dst_step, const TRowPass& pass,
                 const TResampleForms& forms, const TWorkContext& context) {
  const int dst_width = static_cast<int>(pass.Lists().first.size()) - 1;
  if (rows < 1 || dst_width < 1 || src_width < 1) return;
  ForEachBand(context, rows, kResampleBandRows, [&](int first, int last) {
    forms.rows(src0, src_step, src_width, first, last, dst0, dst_step, pass);
  });
}

void RowsWith(const TBitmap& source, TBitmap& work, const TContributionLists& lists,
              const TResampleForms& forms, const TWorkContext& context) {
  int height = std::min(source.Height(), work.Height());
  if (height < 1 || work.Width() < 1 || source.Width() < 1) return;
  RowBandWith(source.ScanLine(0), source.RowStep(), source.Width(), height, work.ScanLine(0),
              work.RowStep(), TRowPass(lists), forms, context);
}

void ColumnsWith(const TBitmap& work, TBitmap& dest, const TContributionLists& lists,
                 const TResampleForms& forms, const TWorkContext& context) {
  int dst_width = std::min(work.Width(), dest.Width());
  int dst_height = dest.Height();
  if (dst_width < 1 || dst_height < 1 || work.Height() < 1) return;
  std::vector<const std::uint8_t*> rows(static_cast<std::size_t>(work.Height()));
  for (int j = 0; j < work.Height(); ++j) rows[static_cast<std::size_t>(j)] = work.ScanLine(j);
  TColumnPass(lists).RunWith(rows.data(), dst_width, dest, 0, dst_height, forms, context);
}

}  // namespace

void ResampleRows(const TBitmap& source, TBitmap& work, const TContributionLists& lists,
                  TArithmeticPath path, const TWorkContext& context) {
  RowsWith(source, work, lists, FormsFor(path), context);
}

void ResampleRowBand(const std::uint8_t* src0, std::ptrdiff_t src_step, int src_width, int rows,
                     std::uint8_t* dst0, std::ptrdiff_t dst_step, const TRowPass& pass,
                     TArithmeticPath path, const TWorkContext& context) {
  RowBandWith(src0, src_step, src_width, rows, dst0, dst_step, pass, FormsFor(path), context);
}

TColumnPass::TColumnPass(const TContributionLists& lists)
    : lists_(lists), tiny_(ListsWithTinyWeights(lists)) {}

void TColumnPass::Run(const std::uint8_t* const* rows, int width, TBitmap& dest, int first,
                      int last, TArithmeticPath path, const TWorkContext& context) const {
  RunWith(rows, width, dest, first, last, FormsFor(path), context);
}

void TColumnPass::RunWith(const std::uint8_t* const* rows, int width, TBitmap& dest, int first,
                          int last, const TResampleForms& forms,
                          const TWorkContext& context) const {
  const int dst_width = std::min(width, dest.Width());
  last = std::min(last, std::min(dest.Height(), static_cast<int>(lists_.first.size()) - 1));
  if (dst_width < 1 || first >= last) return;
  std::uint8_t* dst0 = dest.ScanLine(0);
  const std::ptrdiff_t dst_step = dest.RowStep();
  ForEachBand(context, last - first, kResampleBandRows, [&](int band_first, int band_last) {
    forms.column_rows(rows, dst_width, dst0, dst_step, first + band_first, first + band_last,
                      *this);
  });
}

void ResampleColumns(const TBitmap& work, TBitmap& dest, const TContributionLists& lists,
                     TArithmeticPath path, const TWorkContext& context) {
  ColumnsWith(work, dest, lists, FormsFor(path), context);
}

void FilteredResample(TBitmap& source, TBitmap& dest, TFilterKernel kernel, float support,
                      TArithmeticPath path, const TWorkContext& context) {
  FilteredResampleWith(source, dest, kernel, support, FormsFor(path), context);
}

void FilteredResampleWith(TBitmap& source, TBitmap& dest, TFilterKernel kernel, float support,
                          const TResampleForms& forms, const TWorkContext& context) {
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
    RowsWith(source, work, lists, forms, context);
  }
  TContributionLists lists = BuildContributions(sy, src_height, dst_height, kernel, support);
  ColumnsWith(work, dest, lists, forms, context);
}

}  // namespace qv
