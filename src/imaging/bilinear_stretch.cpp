// The bilinear stretch: footprint integration over a bilinear surface with 64-bit floats.
#include "imaging/bilinear_stretch.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
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
  axis.spans.reserve(
      static_cast<std::size_t>(static_cast<long long>(cells_per_position * dest_extent)));
  int last = source_extent - 1;
  for (int d = 0; d < dest_extent; ++d) {
    axis.first[static_cast<std::size_t>(d)] = axis.spans.size();
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
      axis.spans.push_back({low, high, length, centre});
    }
  }
  axis.first[static_cast<std::size_t>(dest_extent)] = axis.spans.size();
  return axis;
}

double RoundHalfEven(double value) { return std::nearbyint(value); }
TExtended RoundHalfEven(TExtended value) { return Rint(value); }

// One destination row with each statement evaluated in T and the sums stored as doubles: in
// TExtended the arithmetic as written (x87 extended precision); in double the portable form of
// the row in doubles (bilinear_stretch_forms.h). The expressions are the same, in the same order.
template <class T>
void StretchRow(const TRowJob& job) {
  for (int x = 0; x < job.width; ++x) {
    const TCellSpan* xbegin =
        job.columns->spans.data() + job.columns->first[static_cast<std::size_t>(x)];
    const TCellSpan* xend =
        job.columns->spans.data() + job.columns->first[static_cast<std::size_t>(x) + 1];
    double acc[3] = {0.0, 0.0, 0.0};
    for (const TCellSpan* ys = job.ybegin; ys != job.yend; ++ys) {
      const std::uint8_t* upper = (*job.src_rows)[static_cast<std::size_t>(ys->low)];
      const std::uint8_t* lower = (*job.src_rows)[static_cast<std::size_t>(ys->high)];
      T ly = ys->length, my = ys->centre;
      for (const TCellSpan* xs = xbegin; xs != xend; ++xs) {
        const std::uint8_t* p00 = upper + 3 * xs->low;
        const std::uint8_t* p10 = upper + 3 * xs->high;
        const std::uint8_t* p01 = lower + 3 * xs->low;
        const std::uint8_t* p11 = lower + 3 * xs->high;
        T lx = xs->length, mx = xs->centre;
        for (int c = 0; c < 3; ++c) {
          // Differences of small integers: exact in either type.
          T a = p00[c];
          T bx = p10[c] - p00[c];
          T by = p01[c] - p00[c];
          T bxy = p11[c] - p10[c] - p01[c] + p00[c];
          acc[c] = static_cast<double>(acc[c] + lx * ly * (bx * mx + bxy * mx * my + by * my + a));
        }
      }
    }
    // Round to nearest even (the default mode). The surface lies within 0..255 and the footprint
    // falls short of the area, so the clamp only guards against the last unit of a rounding.
    for (int c = 0; c < 3; ++c) {
      const T mean = static_cast<T>(acc[c]) / static_cast<T>(job.area);
      job.out[3 * x + c] = static_cast<std::uint8_t>(static_cast<int>(
          std::clamp(RoundHalfEven(mean), static_cast<T>(0), static_cast<T>(255))));
    }
  }
}

}  // namespace

// The same statements with every operation in 64-bit floats. They differ from the extended form
// only below the last unit of a double, which changes a byte only for a mean within about 1e-13
// of a half; the footprint's shortfall keeps the exact halves of regular pictures about 1e-6
// away from that.
void StretchRowDouble(const TRowJob& job) { StretchRow<double>(job); }

std::span<const TVariant<TStretchRowFunction>> StretchRowVariants() {
  static constexpr TVariant<TStretchRowFunction> kForms[] = {QV_X86_FORM(
      "avx2", {TCpuFeature::kAvx2}, StretchRowDoubleAvx2){"portable", {}, StretchRowDouble}};
  return kForms;
}

TBitmap BilinearStretch(const TBitmap& source, int dst_width, int dst_height, TArithmeticPath path,
                        const TWorkContext& work) {
  return BilinearStretchWith(
      source, dst_width, dst_height,
      path == TArithmeticPath::kFastest ? Chosen<StretchRowVariants>() : StretchRow<TExtended>,
      work);
}

TBitmap BilinearStretchWith(const TBitmap& source, int dst_width, int dst_height,
                            TStretchRowFunction row_form, const TWorkContext& work) {
  int src_width = source.Width();
  int src_height = source.Height();
  Assert(src_width >= 1 && src_height >= 1 && !source.Empty(), kModule, kNoPixelsLine);
  Assert(dst_width >= 1 && dst_height >= 1, kModule, kNoPixelsLine);
  auto xr = static_cast<double>(TExtended(src_width) / dst_width);
  auto yr = static_cast<double>(TExtended(src_height) / dst_height);
  auto area = static_cast<double>(TExtended(static_cast<long long>(src_width) * src_height) /
                                  dst_width / dst_height);

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

  TAxisSpans columns = BuildAxis(xr, src_width, dst_width);
  TAxisSpans rows = BuildAxis(yr, src_height, dst_height);

  // A pixel whose four-byte load would pass the end of the buffer is read byte by byte.
  const std::uint8_t* safe_end = readable.Bits() + readable.BitsSize() - 3;
  // Bands of rows that spare threads may take (runtime/spare_threads.h).
  ForEachBand(work, dst_height, 16, [&](int first, int last) {
    for (int y = first; y < last; ++y) {
      row_form({&src_rows, &columns, rows.spans.data() + rows.first[static_cast<std::size_t>(y)],
                rows.spans.data() + rows.first[static_cast<std::size_t>(y) + 1], area, dst_width,
                dst_rows[static_cast<std::size_t>(y)], safe_end});
    }
  });
  return result;
}

// The spans of both axes and the form of the row, worked out once for all the rows.
struct TBilinearStretchRows::TPlan {
  TAxisSpans columns;
  TAxisSpans rows;
  double area;
  TStretchRowFunction row_form;
};

TBilinearStretchRows::TBilinearStretchRows(int src_width, int src_height, int dst_width,
                                           int dst_height, TArithmeticPath path)
    : src_width_(src_width),
      src_height_(src_height),
      dst_width_(dst_width),
      dst_height_(dst_height) {
  Assert(src_width >= 1 && src_height >= 1, kModule, kNoPixelsLine);
  Assert(dst_width >= 1 && dst_height >= 1, kModule, kNoPixelsLine);
  // The ratios and the area as BilinearStretch has them.
  auto xr = static_cast<double>(TExtended(src_width) / dst_width);
  auto yr = static_cast<double>(TExtended(src_height) / dst_height);
  auto area = static_cast<double>(TExtended(static_cast<long long>(src_width) * src_height) /
                                  dst_width / dst_height);
  TStretchRowFunction row_form =
      path == TArithmeticPath::kFastest ? Chosen<StretchRowVariants>() : StretchRow<TExtended>;
  plan_ = std::make_unique<TPlan>(TPlan{BuildAxis(xr, src_width, dst_width),
                                        BuildAxis(yr, src_height, dst_height), area, row_form});
}

TBilinearStretchRows::~TBilinearStretchRows() = default;

TRowSpan TBilinearStretchRows::RowsRead(int y) const {
  const TAxisSpans& rows = plan_->rows;
  TRowSpan span{src_height_, -1};
  for (std::size_t k = rows.first[static_cast<std::size_t>(y)];
       k < rows.first[static_cast<std::size_t>(y) + 1]; ++k) {
    span.first = std::min(span.first, rows.spans[k].low);
    span.last = std::max(span.last, rows.spans[k].high);
  }
  return span;
}

void TBilinearStretchRows::MakeRow(const TSourceRows& source, int y, std::uint8_t* out) const {
  const TAxisSpans& rows = plan_->rows;
  plan_->row_form({source.rows, &plan_->columns,
                   rows.spans.data() + rows.first[static_cast<std::size_t>(y)],
                   rows.spans.data() + rows.first[static_cast<std::size_t>(y) + 1], plan_->area,
                   dst_width_, out, source.safe_end});
}

}  // namespace qv
