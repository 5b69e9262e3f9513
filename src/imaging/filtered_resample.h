// The filtered resampler: a separable convolution resize, rows first, then columns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/arithmetic_path.h"
#include "imaging/resample_filters.h"
#include "runtime/translation.h"
#include "runtime/work_context.h"

namespace qv {

class TBitmap;
struct TResampleForms;

inline constexpr char kSourceBitmapTooSmall[] = N_("Source bitmap too small");

// One tap of a destination pixel: the source index it reads (already inside the image) and its
// weight. Weights are 32-bit floats and are not normalised.
struct TContribution {
  std::int32_t index;
  float weight;
};

// The taps of every destination position of one axis, in increasing order of tap position and
// without zero weights; list i is entries[first[i]] .. entries[first[i + 1] - 1].
struct TContributionLists {
  std::vector<std::size_t> first;
  std::vector<TContribution> entries;
  std::size_t Count(std::size_t i) const { return first[i + 1] - first[i]; }
  const TContribution* List(std::size_t i) const { return entries.data() + first[i]; }
};

// How the weighted sums are formed (arithmetic_path.h). Both give the 32-bit float accumulators
// of the extended-precision sum: kExtended literally (x87 extended precision, then stored as
// float), kFastest with fused multiply-adds on processors that have them (one rounding of the
// exact sum, which is what the extended sum rounds to; filtered_resample.cpp says when it would
// not be, and sums those lists the extended way) and as kExtended elsewhere.
//
// The passes run in bands of rows that the spare threads of their work context may take; the
// bytes are the same whoever makes them.

// Corner-aligned scale of one axis as a 32-bit float: (dest - 1) / (source - 1), or dest / source
// for a source extent of 1. A scale below 1 is a reduction.
float ResampleScale(int dest_extent, int source_extent);

// The contribution lists of one axis (scale from ResampleScale). A tap outside 0 .. source - 1 is
// reflected (j < 0 gives -j, j >= source gives 2 source - 1 - j) until it lies inside, so even a
// kernel wider than a tiny source reads only real pixels. A scale of 0 (one destination pixel
// from a larger source) samples the first source pixel with weight 1. Throws EOutOfMemory when the
// lists would not fit in memory.
TContributionLists BuildContributions(float scale, int source_extent, int dest_extent,
                                      TFilterKernel kernel, float support);

// Horizontal pass: every row of source (24-bit) through lists (one per column of work) into the
// same row of work (24-bit, of the lists' width and source's height).
void ResampleRows(const TBitmap& source, TBitmap& work, const TContributionLists& lists,
                  TArithmeticPath path = TArithmeticPath::kFastest,
                  const TWorkContext& context = {});

// The horizontal pass of one picture's rows: its lists, and what the vector path works out from
// them (which lists it sums the extended way, the strips of source columns it reads), worked out
// once for all the bands of the picture. The lists must outlive the pass.
class TRowPass {
 public:
  explicit TRowPass(const TContributionLists& lists);
  ~TRowPass();
  TRowPass(const TRowPass&) = delete;
  TRowPass& operator=(const TRowPass&) = delete;

  const TContributionLists& Lists() const { return lists_; }
  // What the forms of the inner loops work out once (filtered_resample_forms.h).
  struct TPlan;
  const TPlan& Plan() const { return *plan_; }

 private:
  const TContributionLists& lists_;
  std::unique_ptr<TPlan> plan_;
};

// Horizontal pass over a band of rows held outside a Raster image, as a decoder delivers them:
// rows rows of src_width 24-bit pixels from src0 (step src_step bytes) through the pass's lists
// into the rows from dst0 (step dst_step, 24-bit, one pixel per list). Each row gives the bytes
// ResampleRows gives for it, however the rows are cut into bands.
void ResampleRowBand(const std::uint8_t* src0, std::ptrdiff_t src_step, int src_width, int rows,
                     std::uint8_t* dst0, std::ptrdiff_t dst_step, const TRowPass& pass,
                     TArithmeticPath path = TArithmeticPath::kFastest,
                     const TWorkContext& context = {});

// The vertical pass of one picture: its lists (one per destination row) and which of them the
// vector path sums the extended way, worked out once however the rows are made. The lists must
// outlive the pass.
class TColumnPass {
 public:
  explicit TColumnPass(const TContributionLists& lists);
  TColumnPass(const TColumnPass&) = delete;
  TColumnPass& operator=(const TColumnPass&) = delete;

  const TContributionLists& Lists() const { return lists_; }
  // Which lists hold a weight too small for a fused multiply-add to stand in for the extended
  // sum (one flag per list).
  const std::vector<std::uint8_t>& TinyWeights() const { return tiny_; }
  // The first width pixels of destination rows first .. last - 1 of dest (24-bit, at least that
  // wide) from the work rows: rows[j] is work row j (24-bit, at least width pixels; only the rows
  // the lists of those destination rows name are read). Each row gives the bytes ResampleColumns
  // gives for it. The spare threads of context may take bands.
  void Run(const std::uint8_t* const* rows, int width, TBitmap& dest, int first, int last,
           TArithmeticPath path = TArithmeticPath::kFastest,
           const TWorkContext& context = {}) const;
  // Run with one form of the inner loops (filtered_resample_forms.h).
  void RunWith(const std::uint8_t* const* rows, int width, TBitmap& dest, int first, int last,
               const TResampleForms& forms, const TWorkContext& context) const;

 private:
  const TContributionLists& lists_;
  std::vector<std::uint8_t> tiny_;
};

// Vertical pass: every destination row of dest (24-bit) through lists (one per row of dest) from
// the rows of work (24-bit, dest's width).
void ResampleColumns(const TBitmap& work, TBitmap& dest, const TContributionLists& lists,
                     TArithmeticPath path = TArithmeticPath::kFastest,
                     const TWorkContext& context = {});

// Resizes source into dest, which the caller has already given the target size, with one row of
// ResampleFilterTable. Source is converted in place to 24 bits per pixel (its picture unchanged);
// dest becomes 24 bits per pixel and every pixel is overwritten. Each byte is the weighted sum of
// its taps rounded to nearest (ties to even) and clamped to 0..255.
// Throws Exception "Source bitmap too small" when source has no pixels (nothing is changed then),
// EOutOfMemory when the work image or the lists cannot be had.
void FilteredResample(TBitmap& source, TBitmap& dest, TFilterKernel kernel, float support,
                      TArithmeticPath path = TArithmeticPath::kFastest,
                      const TWorkContext& context = {});

}  // namespace qv
