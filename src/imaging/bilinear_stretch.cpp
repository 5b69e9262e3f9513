// The bilinear stretch: footprint integration over a bilinear surface with 64-bit floats.
#include "imaging/bilinear_stretch.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <vector>

#include "imaging/bitmap.h"
#include "runtime/exceptions.h"

namespace qv {

namespace {

constexpr char kModule[] = "BitmapUtils";
constexpr int kAssertLine = 1066;
// One millionth short of the nominal far edge, as an extended constant.
constexpr long double kFarEdge = 0.500001L;

// The overlap of one destination footprint with one interpolation cell along one axis: the two
// clamped source indices bounding the cell, the overlap's length and its centre from the cell.
struct TCellSpan {
  int low;
  int high;
  double length;
  double centre;
};

// The cell spans of every destination position of one axis; list i is spans[first[i]] ..
struct TAxisSpans {
  std::vector<std::size_t> first;
  std::vector<TCellSpan> spans;
};

TAxisSpans BuildAxis(double ratio, int source_extent, int dest_extent) {
  TAxisSpans axis;
  axis.first.resize(static_cast<std::size_t>(dest_extent) + 1);
  long double cells_per_position = std::ceil(static_cast<long double>(ratio)) + 2.0L;
  if (cells_per_position * dest_extent > static_cast<long double>(std::size_t{1} << 26))
    throw EOutOfMemory();
  axis.spans.reserve(static_cast<std::size_t>(cells_per_position * dest_extent));
  int last = source_extent - 1;
  for (int d = 0; d < dest_extent; ++d) {
    axis.first[static_cast<std::size_t>(d)] = axis.spans.size();
    auto x0 = static_cast<double>(static_cast<long double>(d) * ratio - 0.5L);
    auto x1 = static_cast<double>(static_cast<long double>(ratio) * (d + 1) - kFarEdge);
    auto first_cell = static_cast<std::int64_t>(std::floor(x0));
    auto last_cell = static_cast<std::int64_t>(std::floor(x1));
    for (std::int64_t cell = first_cell; cell <= last_cell; ++cell) {
      long double c = static_cast<long double>(cell);
      long double lx0 = x0, lx1 = x1;
      double length, centre;
      bool starts_before = c > lx0;       // the cell begins after the footprint's near edge
      bool ends_before = c + 1.0L < lx1;  // the cell ends before the footprint's far edge
      if (starts_before && ends_before) {
        length = 1.0;
        centre = 0.5;
      } else if (ends_before) {
        length = static_cast<double>(1.0L - (lx0 - c));
        centre = static_cast<double>(((lx0 - c) + 1.0L) / 2.0L);
      } else if (starts_before) {
        length = static_cast<double>(lx1 - c);
        centre = length / 2.0;
      } else {
        length = static_cast<double>(lx1 - lx0);
        centre = static_cast<double>(((lx1 - c) + (lx0 - c)) / 2.0L);
      }
      int low = static_cast<int>(std::clamp<std::int64_t>(cell, 0, last));
      int high = static_cast<int>(std::clamp<std::int64_t>(cell + 1, 0, last));
      axis.spans.push_back({low, high, length, centre});
    }
  }
  axis.first[static_cast<std::size_t>(dest_extent)] = axis.spans.size();
  return axis;
}

}  // namespace

TBitmap BilinearStretch(const TBitmap& source, int dst_width, int dst_height) {
  int src_width = source.Width();
  int src_height = source.Height();
  Assert(src_width >= 1 && src_height >= 1 && !source.Empty(), kModule, kAssertLine);
  Assert(dst_width >= 1 && dst_height >= 1, kModule, kAssertLine);
  auto xr = static_cast<double>(static_cast<long double>(src_width) / dst_width);
  auto yr = static_cast<double>(static_cast<long double>(src_height) / dst_height);
  auto area = static_cast<double>(
      static_cast<long double>(static_cast<std::int64_t>(src_width) * src_height) / dst_width /
      dst_height);

  TBitmap result;
  result.Allocate(dst_width, dst_height, TPixelFormat::pf24bit);
  TBitmap copy = source;  // shares the pixels until converted; source itself is never written
  copy.SetPixelFormat(TPixelFormat::pf24bit);

  std::vector<const std::uint8_t*> src_rows(static_cast<std::size_t>(src_height));
  std::vector<std::uint8_t*> dst_rows(static_cast<std::size_t>(dst_height));
  const TBitmap& readable = copy;
  const std::uint8_t* src0 = readable.ScanLine(0);
  for (int y = 0; y < src_height; ++y) src_rows[static_cast<std::size_t>(y)] = src0 + y * copy.RowStep();
  std::uint8_t* dst0 = result.ScanLine(0);
  for (int y = 0; y < dst_height; ++y) dst_rows[static_cast<std::size_t>(y)] = dst0 + y * result.RowStep();

  TAxisSpans columns = BuildAxis(xr, src_width, dst_width);
  TAxisSpans rows = BuildAxis(yr, src_height, dst_height);

  for (int y = 0; y < dst_height; ++y) {
    std::uint8_t* out = dst_rows[static_cast<std::size_t>(y)];
    const TCellSpan* ybegin = rows.spans.data() + rows.first[static_cast<std::size_t>(y)];
    const TCellSpan* yend = rows.spans.data() + rows.first[static_cast<std::size_t>(y) + 1];
    for (int x = 0; x < dst_width; ++x) {
      const TCellSpan* xbegin = columns.spans.data() + columns.first[static_cast<std::size_t>(x)];
      const TCellSpan* xend = columns.spans.data() + columns.first[static_cast<std::size_t>(x) + 1];
      double acc[3] = {0.0, 0.0, 0.0};
      for (const TCellSpan* ys = ybegin; ys != yend; ++ys) {
        const std::uint8_t* upper = src_rows[static_cast<std::size_t>(ys->low)];
        const std::uint8_t* lower = src_rows[static_cast<std::size_t>(ys->high)];
        long double ly = ys->length, my = ys->centre;
        for (const TCellSpan* xs = xbegin; xs != xend; ++xs) {
          const std::uint8_t* p00 = upper + 3 * xs->low;
          const std::uint8_t* p10 = upper + 3 * xs->high;
          const std::uint8_t* p01 = lower + 3 * xs->low;
          const std::uint8_t* p11 = lower + 3 * xs->high;
          long double lx = xs->length, mx = xs->centre;
          for (int c = 0; c < 3; ++c) {
            long double a = p00[c];
            long double bx = p10[c] - p00[c];
            long double by = p01[c] - p00[c];
            long double bxy = p11[c] - p10[c] - p01[c] + p00[c];
            acc[c] = static_cast<double>(acc[c] +
                                         lx * ly * (bx * mx + bxy * mx * my + by * my + a));
          }
        }
      }
      for (int c = 0; c < 3; ++c) {
        long double value = std::nearbyint(static_cast<long double>(acc[c]) / area);
        out[3 * x + c] = static_cast<std::uint8_t>(std::clamp(value, 0.0L, 255.0L));
      }
    }
  }
  return result;
}

}  // namespace qv
