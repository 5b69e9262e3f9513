// The inner loops of the filtered resampler's two passes in their forms, fastest first: vector
// code with fused multiply-adds (x86 AVX2 and FMA), one fused multiply-add at a time (any
// processor that does it in one instruction), and the arithmetic as written (portable). Every
// form gives the same bytes. For the resampler's own sources and their tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "imaging/filtered_resample.h"
#include "simd/variants.h"

namespace qv {

// Rows (of either pass) per band that spare threads may take (runtime/spare_threads.h).
inline constexpr int kResampleBandRows = 64;

// Destination columns first .. last - 1 of a horizontal pass, reading source columns low .. high.
struct TColumnStrip {
  int first, last;
  int low, high;
};

struct TRowPass::TPlan {
  // Strips of destination columns whose source columns the vector form holds as floats at once.
  std::vector<TColumnStrip> strips;
  int widest = 0;  // source columns of the widest strip
  // Which lists the fused forms must sum the extended way (TColumnPass::TinyWeights()).
  std::vector<std::uint8_t> tiny;
};

// The lists holding a weight too small for a fused multiply-add to stand in for the extended sum.
std::vector<std::uint8_t> ListsWithTinyWeights(const TContributionLists& lists);

// The byte of an accumulator: rounded to nearest, ties to even, and clamped to 0..255.
std::uint8_t ResampleToByte(float acc);

// One destination pixel of the horizontal pass, as written; src is the source row.
void ResamplePixelExtended(const std::uint8_t* src, const TContribution* list, std::size_t count,
                           std::uint8_t* dst);
// Rows first .. last - 1 of the horizontal pass, as written (TResampleForms::rows).
void ResampleRowsExtended(const std::uint8_t* src0, std::ptrdiff_t src_step, int src_width,
                          int first, int last, std::uint8_t* dst0, std::ptrdiff_t dst_step,
                          const TRowPass& pass);
// One destination row of the vertical pass, as written; acc holds one float per byte of dst and
// rows[j] is row j of the work image.
void ResampleColumnRowExtended(const std::uint8_t* const* rows, const TContribution* list,
                               std::size_t count, std::vector<float>& acc, std::uint8_t* dst);

struct TResampleForms {
  // Rows first .. last - 1 of the horizontal pass: source rows from src0 (step src_step,
  // src_width pixels) into the rows from dst0 (step dst_step), one pixel per list of the pass.
  void (*rows)(const std::uint8_t* src0, std::ptrdiff_t src_step, int src_width, int first,
               int last, std::uint8_t* dst0, std::ptrdiff_t dst_step, const TRowPass& pass);
  // Destination rows first .. last - 1 of the vertical pass: the first width pixels of the rows
  // from dst0 (step dst_step), rows[j] being work row j.
  void (*column_rows)(const std::uint8_t* const* rows, int width, std::uint8_t* dst0,
                      std::ptrdiff_t dst_step, int first, int last, const TColumnPass& pass);
};

// The forms, the portable one (the arithmetic as written) last.
std::span<const TVariant<TResampleForms>> ResampleFormVariants();

// FilteredResample (filtered_resample.h) with one form of the inner loops.
void FilteredResampleWith(TBitmap& source, TBitmap& dest, TFilterKernel kernel, float support,
                          const TResampleForms& forms, const TWorkContext& context = {});

}  // namespace qv
