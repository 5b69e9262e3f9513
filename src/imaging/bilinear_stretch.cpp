// The bilinear stretch: footprint integration over a bilinear surface with 64-bit floats.
//
// As written, each destination pixel sums lx ly (bx mx + bxy mx my + by my + a) over every
// (row cell, column cell) pair of its footprint. The bilinear value at the overlap's centre is
// p00 (1 - mx)(1 - my) + p10 mx (1 - my) + p01 (1 - mx) my + p11 mx my, so the same sum is
// separable: per axis, each source index gets the weight length x (1 - centre) from the cells it
// is the low corner of and length x centre from those it is the high corner of (TAxisTaps), and
// the pixel is the sum over its source rows of the row weight times the sum over its source
// columns of the column weight times the byte. The fast path forms that sum (a pass down the
// columns of the rows a destination row reads, then one along them), which takes about as many
// operations as there are source bytes instead of a dozen for every byte and cell pair.
//
// The two sums differ only by rounding, and the byte differs only when the mean lies within
// that difference of a rounding boundary (k + 0.5); such pixels are recomputed as written
// (RecheckMargin), so the fast path gives the bytes of the extended form on every input.
#include "imaging/bilinear_stretch.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "imaging/bilinear_stretch_forms.h"
#include "imaging/bilinear_stretch_x86.h"
#include "imaging/bitmap.h"
#include "runtime/exceptions.h"
#include "runtime/spare_threads.h"
#include "simd/extended_float.h"

namespace qv {

namespace {

// The module and the line the assertion error names, for a source or a destination without
// pixels.
constexpr char kModule[] = "BitmapUtils";
constexpr int kNoPixelsLine = 1066;
// One millionth short of the nominal far edge, as an extended constant (0.500001 rounded to
// 64 bits).
const TExtended kFarEdge = TExtended(0x8.00010c6f7a0b5eep-4L);

TAxisSpans BuildAxis(double ratio, int source_extent, int dest_extent) {
  TAxisSpans axis;
  axis.first.resize(static_cast<std::size_t>(dest_extent) + 1);
  const TExtended cells_per_position = Ceil(TExtended(ratio)) + 2;
  if (cells_per_position * dest_extent > TExtended(std::size_t{1} << 26)) throw EOutOfMemory();
  axis.entries.reserve(
      static_cast<std::size_t>(static_cast<long long>(cells_per_position * dest_extent)));
  int last = source_extent - 1;
  for (int d = 0; d < dest_extent; ++d) {
    axis.first[static_cast<std::size_t>(d)] = axis.entries.size();
    auto x0 = static_cast<double>(TExtended(d) * ratio - 0.5);
    auto x1 = static_cast<double>(TExtended(ratio) * (d + 1) - kFarEdge);
    auto first_cell = static_cast<std::int64_t>(std::floor(x0));
    auto last_cell = static_cast<std::int64_t>(std::floor(x1));
    for (std::int64_t cell = first_cell; cell <= last_cell; ++cell) {
      const TExtended c = TExtended(static_cast<long long>(cell));
      const TExtended lx0 = x0, lx1 = x1;
      double length, centre;
      bool starts_before = c > lx0;    // the cell begins after the footprint's near edge
      bool ends_before = c + 1 < lx1;  // the cell ends before the footprint's far edge
      if (starts_before && ends_before) {
        length = 1.0;
        centre = 0.5;
      } else if (ends_before) {
        length = static_cast<double>(1 - (lx0 - c));
        centre = static_cast<double>(((lx0 - c) + 1) / 2);
      } else if (starts_before) {
        length = static_cast<double>(lx1 - c);
        centre = length / 2.0;
      } else {
        length = static_cast<double>(lx1 - lx0);
        centre = static_cast<double>(((lx1 - c) + (lx0 - c)) / 2);
      }
      int low = static_cast<int>(std::clamp<std::int64_t>(cell, 0, last));
      int high = static_cast<int>(std::clamp<std::int64_t>(cell + 1, 0, last));
      axis.entries.push_back({low, high, length, centre});
    }
  }
  axis.first[static_cast<std::size_t>(dest_extent)] = axis.entries.size();
  return axis;
}

// The taps of every position of the axis. The spans' indices never decrease (cell c reads c and
// c + 1, clamped), so the weights of one index are neighbours and merge into one tap.
TAxisTaps BuildTaps(const TAxisSpans& axis) {
  TAxisTaps taps;
  taps.first.resize(axis.first.size());
  taps.entries.reserve(axis.entries.size() + axis.first.size());
  for (std::size_t d = 0; d + 1 < axis.first.size(); ++d) {
    taps.first[d] = taps.entries.size();
    auto add = [&](int index, double weight) {
      if (taps.entries.size() > taps.first[d] && taps.entries.back().index == index)
        taps.entries.back().weight += weight;
      else
        taps.entries.push_back({index, weight});
    };
    for (std::size_t k = axis.first[d]; k < axis.first[d + 1]; ++k) {
      const TCellSpan& span = axis.entries[k];
      add(span.low, span.length * (1.0 - span.centre));
      add(span.high, span.length * span.centre);
    }
  }
  taps.first.back() = taps.entries.size();
  return taps;
}

// The most spans and taps of a position of the axis, and the largest sum of its spans' lengths
// (in magnitude).
struct TAxisExtent {
  std::size_t spans = 0, taps = 0;
  double length = 0.0;
};

TAxisExtent Extent(const TAxisSpans& spans, const TAxisTaps& taps) {
  TAxisExtent extent;
  for (std::size_t d = 0; d + 1 < spans.first.size(); ++d) {
    extent.spans = std::max(extent.spans, spans.first[d + 1] - spans.first[d]);
    extent.taps = std::max(extent.taps, taps.first[d + 1] - taps.first[d]);
    double length = 0.0;
    for (std::size_t k = spans.first[d]; k < spans.first[d + 1]; ++k)
      length += std::fabs(spans.entries[k].length);
    extent.length = std::max(extent.length, length);
  }
  return extent;
}

// How far from a half a mean of the fast path must lie for its byte to be the extended form's.
// With u = 2^-53 and U = 2^-64 the unit roundoffs of a double and of an extended value, n the
// cell pairs of a pixel, mx and my its taps per axis, Sx and Sy the sums of its overlap lengths
// per axis, and M the exact mean of the terms both forms start from (the same double lengths
// and centres), the mean's distance from M is at most:
// - as written: each term lx ly S is within 5400 U |lx ly| of its exact value (seven extended
//   operations on values below 1275 for the surface S, two products); each of the n sums stored
//   as a double is within u + U of a running sum no larger than the sum of the terms'
//   magnitudes, at most 255 Sx Sy; and the extended quotient adds U |M|. In all
//   255 (Sx Sy / area) ((n + 21.2) (u + U)) + 256 U.
// - separably: each tap's weight is within 5u of its exact value (a subtraction, a product and
//   at most four merged terms of one sign), the column sums over my rows add my u of their
//   magnitude and the row sums over mx columns mx u, in any order and with or without fused
//   multiply-adds; the product by the rounded reciprocal of the area adds 2u. In all
//   255 (Sx Sy / area) (mx + my + 13) u, give or take a factor 1.01 for products of these small
//   errors. Adding the 0.5 that the byte's test takes (SeparableRow) rounds by 2^-45 at most.
// For 96 MP to 1600 x 1200 (n = 81, mx = my = 10) the two lie about 4e-12 apart. The margin
// takes four times the bound, and at least 1e-7: a regular picture's exact halves lie about 1e-6
// away (the footprint's shortfall), so the recheck stays rare, while the floor covers any
// slip in the count above many times over.
double RecheckMargin(const TAxisExtent& columns, const TAxisExtent& rows, double area) {
  constexpr double u = 0x1p-53, U = 0x1p-64;
  const double scale = 255.0 * columns.length * rows.length / area;
  const auto n = static_cast<double>(columns.spans * rows.spans);
  const auto taps = static_cast<double>(columns.taps + rows.taps);
  const double bound =
      1.02 * scale * ((n + 22.0) * (u + U) + (taps + 13.0) * u) + 256.0 * U + 0x1p-45;
  return std::max(1e-7, 4.0 * bound);
}

// The sums of portable form: the row in plain loops, one multiply and one add a term.
void ColumnSums(const std::vector<const std::uint8_t*>& rows, const TStretchTap* begin,
                const TStretchTap* end, int bytes, double* sums) {
  std::fill(sums, sums + bytes, 0.0);
  for (const TStretchTap* tap = begin; tap != end; ++tap) {
    const std::uint8_t* row = rows[static_cast<std::size_t>(tap->index)];
    const double weight = tap->weight;
    for (int b = 0; b < bytes; ++b) sums[b] += weight * row[b];
  }
}

void RowSums(const double* sums, const TAxisTaps& columns, int width, double* out) {
  for (int x = 0; x < width; ++x) {
    const TStretchTap* tap = columns.entries.data() + columns.first[static_cast<std::size_t>(x)];
    const TStretchTap* end =
        columns.entries.data() + columns.first[static_cast<std::size_t>(x) + 1];
    double blue = 0.0, green = 0.0, red = 0.0;
    for (; tap != end; ++tap) {
      const double* pixel = sums + 3 * static_cast<std::ptrdiff_t>(tap->index);
      blue += tap->weight * pixel[0];
      green += tap->weight * pixel[1];
      red += tap->weight * pixel[2];
    }
    out[3 * x] = blue;
    out[3 * x + 1] = green;
    out[3 * x + 2] = red;
  }
}

// Everything the rows of one stretch share, worked out once.
struct TStretchPlan {
  int src_width, dst_width;
  double area;
  TAxisSpans column_spans, row_spans;
  TAxisTaps column_taps, row_taps;
  double margin;
};

TStretchPlan MakePlan(int src_width, int src_height, int dst_width, int dst_height) {
  Assert(src_width >= 1 && src_height >= 1, kModule, kNoPixelsLine);
  Assert(dst_width >= 1 && dst_height >= 1, kModule, kNoPixelsLine);
  auto xr = static_cast<double>(TExtended(src_width) / dst_width);
  auto yr = static_cast<double>(TExtended(src_height) / dst_height);
  TStretchPlan plan{src_width,
                    dst_width,
                    static_cast<double>(TExtended(static_cast<long long>(src_width) * src_height) /
                                        dst_width / dst_height),
                    BuildAxis(xr, src_width, dst_width),
                    BuildAxis(yr, src_height, dst_height),
                    {},
                    {},
                    0.0};
  plan.column_taps = BuildTaps(plan.column_spans);
  plan.row_taps = BuildTaps(plan.row_spans);
  plan.margin = RecheckMargin(Extent(plan.column_spans, plan.column_taps),
                              Extent(plan.row_spans, plan.row_taps), plan.area);
  return plan;
}

TRowJob JobOf(const TStretchPlan& plan, const std::vector<const std::uint8_t*>& rows, int y,
              std::uint8_t* out) {
  const TCellSpan* spans = plan.row_spans.entries.data();
  return {&rows,
          &plan.column_spans,
          spans + plan.row_spans.first[static_cast<std::size_t>(y)],
          spans + plan.row_spans.first[static_cast<std::size_t>(y) + 1],
          plan.area,
          plan.dst_width,
          out};
}

// Destination row y as written.
void ExtendedRow(const TStretchPlan& plan, const std::vector<const std::uint8_t*>& rows, int y,
                 std::uint8_t* out) {
  const TRowJob job = JobOf(plan, rows, y, out);
  for (int x = 0; x < job.width; ++x) StretchPixelExtended(job, x);
}

// The doubles one separable row needs, uninitialised: the column sums (three a source pixel and
// one spare) and the pixel sums (three a destination pixel and one spare); and room for the list
// of the row's pixels near a half.
class TSeparableScratch {
 public:
  explicit TSeparableScratch(const TStretchPlan& plan)
      : column_sums_(new double[3 * static_cast<std::size_t>(plan.src_width) + 1]),
        pixel_sums_(new double[3 * static_cast<std::size_t>(plan.dst_width) + 1]),
        near_(new int[static_cast<std::size_t>(plan.dst_width)]) {
    column_sums_[3 * static_cast<std::size_t>(plan.src_width)] = 0.0;
  }
  double* ColumnSums() { return column_sums_.get(); }
  double* PixelSums() { return pixel_sums_.get(); }
  int* Near() { return near_.get(); }

 private:
  std::unique_ptr<double[]> column_sums_, pixel_sums_;
  std::unique_ptr<int[]> near_;
};

// Destination row y by the separable sum: each mean far enough from a half gives its byte, each
// pixel with a mean near one is recomputed as written. Returns the pixels recomputed.
std::size_t SeparableRow(const TStretchPlan& plan, const TStretchForms& forms,
                         const std::vector<const std::uint8_t*>& rows, int y, std::uint8_t* out,
                         TSeparableScratch& scratch, TRecheck recheck) {
  const TStretchTap* taps = plan.row_taps.entries.data();
  forms.column_sums(rows, taps + plan.row_taps.first[static_cast<std::size_t>(y)],
                    taps + plan.row_taps.first[static_cast<std::size_t>(y) + 1], 3 * plan.src_width,
                    scratch.ColumnSums());
  double* sums = scratch.PixelSums();
  forms.row_sums(scratch.ColumnSums(), plan.column_taps, plan.dst_width, sums);
  const int near =
      forms.row_bytes(sums, plan.dst_width, 1.0 / plan.area, plan.margin, out, scratch.Near());
  if (recheck == TRecheck::kNever) return 0;
  const TRowJob job = JobOf(plan, rows, y, out);
  for (int i = 0; i < near; ++i) StretchPixelExtended(job, scratch.Near()[i]);
  return static_cast<std::size_t>(near);
}

}  // namespace

// The byte is the integer part of mean + 0.5 clamped to 0..256, unless that sum lies within the
// margin of an integer (clamped to 0 or 256 it is one, so a mean below -0.5 or above 255.5, which
// only a degenerate footprint gives, is recomputed too). No branches but the rare one: the
// compiler may keep the loop in vector registers.
int StretchRowBytes(const double* sums, int width, double inverse_area, double margin,
                    std::uint8_t* out, int* near) {
  int count = 0;
  for (int x = 0; x < width; ++x) {
    bool near_half = false;
    for (int c = 0; c < 3; ++c) {
      const double shifted = std::min(std::max(sums[3 * x + c] * inverse_area + 0.5, 0.0), 256.0);
      const auto whole = static_cast<int>(shifted);  // shifted >= 0: truncation is floor
      const double fraction = shifted - whole;
      near_half |= (fraction <= margin) | (fraction >= 1.0 - margin);
      out[3 * x + c] = static_cast<std::uint8_t>(std::min(whole, 255));
    }
    if (near_half) near[count++] = x;
  }
  return count;
}

void StretchPixelExtended(const TRowJob& job, int x) {
  const TCellSpan* xbegin =
      job.columns->entries.data() + job.columns->first[static_cast<std::size_t>(x)];
  const TCellSpan* xend =
      job.columns->entries.data() + job.columns->first[static_cast<std::size_t>(x) + 1];
  double acc[3] = {0.0, 0.0, 0.0};
  for (const TCellSpan* ys = job.ybegin; ys != job.yend; ++ys) {
    const std::uint8_t* upper = (*job.src_rows)[static_cast<std::size_t>(ys->low)];
    const std::uint8_t* lower = (*job.src_rows)[static_cast<std::size_t>(ys->high)];
    TExtended ly = ys->length, my = ys->centre;
    for (const TCellSpan* xs = xbegin; xs != xend; ++xs) {
      const std::uint8_t* p00 = upper + 3 * xs->low;
      const std::uint8_t* p10 = upper + 3 * xs->high;
      const std::uint8_t* p01 = lower + 3 * xs->low;
      const std::uint8_t* p11 = lower + 3 * xs->high;
      TExtended lx = xs->length, mx = xs->centre;
      for (int c = 0; c < 3; ++c) {
        // Differences of small integers: exact.
        TExtended a = p00[c];
        TExtended bx = p10[c] - p00[c];
        TExtended by = p01[c] - p00[c];
        TExtended bxy = p11[c] - p10[c] - p01[c] + p00[c];
        acc[c] = static_cast<double>(acc[c] + lx * ly * (bx * mx + bxy * mx * my + by * my + a));
      }
    }
  }
  // Round to nearest even (the default mode). The surface lies within 0..255 and the footprint
  // falls short of the area, so the clamp only guards against the last unit of a rounding.
  for (int c = 0; c < 3; ++c) {
    const TExtended mean = TExtended(acc[c]) / TExtended(job.area);
    job.out[3 * x + c] = static_cast<std::uint8_t>(
        static_cast<int>(std::clamp(Rint(mean), TExtended(0), TExtended(255))));
  }
}

std::span<const TVariant<TStretchForms>> StretchFormVariants() {
  static constexpr TVariant<TStretchForms> kForms[] = {
      QV_X86_FORM("avx2", {TCpuFeature::kAvx2, TCpuFeature::kFma},
                  {StretchColumnSumsAvx2, StretchRowSumsAvx2, StretchRowBytesAvx2})  //
      {"portable", {}, {ColumnSums, RowSums, StretchRowBytes}}};
  return kForms;
}

TBitmap BilinearStretch(const TBitmap& source, int dst_width, int dst_height, TArithmeticPath path,
                        const TWorkContext& work) {
  if (path == TArithmeticPath::kFastest)
    return BilinearStretchWith(source, dst_width, dst_height, Chosen<StretchFormVariants>(),
                               TRecheck::kNearHalves, nullptr, work);
  return BilinearStretchWith(source, dst_width, dst_height, {nullptr, nullptr, nullptr},
                             TRecheck::kNearHalves, nullptr, work);
}

// With forms of no functions, every row is made as written.
TBitmap BilinearStretchWith(const TBitmap& source, int dst_width, int dst_height,
                            const TStretchForms& forms, TRecheck recheck, std::size_t* rechecked,
                            const TWorkContext& work) {
  int src_width = source.Width();
  int src_height = source.Height();
  Assert(src_width >= 1 && src_height >= 1 && !source.Empty(), kModule, kNoPixelsLine);
  const TStretchPlan plan = MakePlan(src_width, src_height, dst_width, dst_height);

  TBitmap result;
  result.Allocate(dst_width, dst_height, TPixelFormat::pf24bit);
  TBitmap copy = source;  // shares the pixels until converted; source itself is never written
  copy.SetPixelFormat(TPixelFormat::pf24bit);

  // Row start addresses, looked up once.
  std::vector<const std::uint8_t*> src_rows(static_cast<std::size_t>(src_height));
  const TBitmap& readable = copy;
  const std::uint8_t* src0 = readable.ScanLine(0);
  for (int y = 0; y < src_height; ++y)
    src_rows[static_cast<std::size_t>(y)] = src0 + y * copy.RowStep();
  std::vector<std::uint8_t*> dst_rows(static_cast<std::size_t>(dst_height));
  std::uint8_t* dst0 = result.ScanLine(0);
  for (int y = 0; y < dst_height; ++y)
    dst_rows[static_cast<std::size_t>(y)] = dst0 + y * result.RowStep();

  std::atomic<std::size_t> recomputed{0};
  // Bands of rows that spare threads may take (runtime/spare_threads.h).
  ForEachBand(work, dst_height, 16, [&](int first, int last) {
    if (forms.column_sums == nullptr) {
      for (int y = first; y < last; ++y)
        ExtendedRow(plan, src_rows, y, dst_rows[static_cast<std::size_t>(y)]);
      return;
    }
    TSeparableScratch scratch(plan);
    std::size_t count = 0;
    for (int y = first; y < last; ++y)
      count += SeparableRow(plan, forms, src_rows, y, dst_rows[static_cast<std::size_t>(y)],
                            scratch, recheck);
    recomputed += count;
  });
  if (rechecked != nullptr) *rechecked = recomputed;
  return result;
}

// The plan and the forms of the rows, worked out once for all the rows.
struct TBilinearStretchRows::TPlan {
  TStretchPlan stretch;
  TArithmeticPath path;
};

TBilinearStretchRows::TBilinearStretchRows(int src_width, int src_height, int dst_width,
                                           int dst_height, TArithmeticPath path)
    : src_width_(src_width),
      src_height_(src_height),
      dst_width_(dst_width),
      dst_height_(dst_height),
      plan_(std::make_unique<TPlan>(
          TPlan{MakePlan(src_width, src_height, dst_width, dst_height), path})) {}

TBilinearStretchRows::~TBilinearStretchRows() = default;

TRowSpan TBilinearStretchRows::RowsRead(int y) const {
  const TAxisSpans& rows = plan_->stretch.row_spans;
  TRowSpan span{src_height_, -1};
  for (std::size_t k = rows.first[static_cast<std::size_t>(y)];
       k < rows.first[static_cast<std::size_t>(y) + 1]; ++k) {
    span.first = std::min(span.first, rows.entries[k].low);
    span.last = std::max(span.last, rows.entries[k].high);
  }
  return span;
}

void TBilinearStretchRows::MakeRow(const TSourceRows& source, int y, std::uint8_t* out) const {
  if (plan_->path == TArithmeticPath::kExtended) {
    ExtendedRow(plan_->stretch, *source.rows, y, out);
    return;
  }
  TSeparableScratch scratch(plan_->stretch);
  SeparableRow(plan_->stretch, Chosen<StretchFormVariants>(), *source.rows, y, out, scratch,
               TRecheck::kNearHalves);
}

}  // namespace qv
