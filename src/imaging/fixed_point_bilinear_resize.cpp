// The fixed-point bilinear resize on 32-bit pixels.
//
// Positions are 16.16 fixed point with steps of trunc(extent x 65535 / extent), so the integer
// part (a shift by 16) creeps back by one every 256 columns; weights are the top 8 bits of the
// fraction and run 0..255 (the rows are blended by imaging/blend_row.h).
#include "imaging/fixed_point_bilinear_resize.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "imaging/abitmap.h"
#include "imaging/blend_row.h"
#include "runtime/exceptions.h"
#include "simd/extended_float.h"

namespace qv {

namespace {

// The taps of width destination columns from position x0 on, the first ncols of them the main
// run, in a source row of source_width pixels.
std::vector<TColumnTap> ColumnTaps(std::int64_t x0, std::int64_t xstep, std::int64_t ncols,
                                   std::int64_t width, std::int64_t source_width) {
  std::vector<TColumnTap> taps(static_cast<std::size_t>(width));
  const std::int64_t last = source_width - 1;
  for (std::int64_t i = 0; i < width; ++i) {
    std::int64_t position = x0 + (i < ncols ? i : i - 1) * xstep;
    position = std::max<std::int64_t>(position, 0);  // a tail run before column 0
    std::int64_t ix = std::min(position >> 16, last);
    std::int64_t right = std::min(ix + 1, last);
    taps[static_cast<std::size_t>(i)] = {static_cast<std::uint32_t>(4 * ix),
                                         static_cast<std::uint32_t>(4 * right),
                                         static_cast<std::uint16_t>((position & 0xFFFF) >> 8)};
  }
  return taps;
}

// The step trunc(source x 65535 / dest) of one axis and its inverse trunc((dest x 65535) / source),
// each truncated toward zero as it is converted.
std::int64_t Step(double source_extent, int dest_extent) {
  return static_cast<std::int64_t>(
      static_cast<long long>(TExtended(source_extent) * 65535 / dest_extent));
}
std::int64_t Inverse(double source_extent, int dest_extent) {
  return static_cast<std::int64_t>(static_cast<long long>(
      TExtended(static_cast<long long>(dest_extent) * 65535) / source_extent));
}

bool Within(double value, double low, double high) { return value >= low && value <= high; }

}  // namespace

void FixedPointBilinearResize(int dst_w, int dst_h, const TABitmap& source, double src_x,
                              double src_y, double src_w, double src_h, double dst_x, double dst_y,
                              TABitmap& dest) {
  const int sw_image = source.Width(), sh_image = source.Height();
  const int dw_image = dest.Width(), dh_image = dest.Height();
  if (sw_image < 1 || sh_image < 1) return;
  // The steps come from the arguments as given, before clipping.
  const int step_dst_w = dst_w, step_dst_h = dst_h;
  const double step_src_w = src_w, step_src_h = src_h;

  if (!(Within(src_x, 0, sw_image) && Within(src_y, 0, sh_image) && dst_x < dw_image &&
        dst_y < dh_image && dst_w + dst_x > 0 && dst_h + dst_y > 0))
    return;
  // A rectangle without extent has no steps (they would divide by zero): nothing to draw.
  if (!(src_w > 0 && src_h > 0) || dst_w <= 0 || dst_h <= 0) return;
  double rx = static_cast<double>(TExtended(src_w) / dst_w);
  double ry = static_cast<double>(TExtended(src_h) / dst_h);
  double dw = dst_w, dh = dst_h;  // destination extents while clipping
  if (dst_x < 0) {
    src_w = static_cast<double>((TExtended(dw) + dst_x) * rx);
    src_x = static_cast<double>(src_x + TExtended(rx) * std::fabs(dst_x));
    dw = std::trunc(dw + dst_x);
    dst_x = 0;
  }
  if (dst_y < 0) {
    src_h = static_cast<double>((TExtended(dh) + dst_y) * ry);
    src_y = static_cast<double>(src_y + TExtended(ry) * std::fabs(dst_y));
    dh = std::trunc(dh + dst_y);
    dst_y = 0;
  }
  if (dw + dst_x > dw_image) {
    src_w = static_cast<double>(TExtended(rx) * (dw_image - dst_x));
    dw = std::trunc(dw_image - dst_x);
  }
  if (dh + dst_y > dh_image) {
    src_h = static_cast<double>(TExtended(ry) * (dh_image - dst_y));
    dh = std::trunc(dh_image - dst_y);
  }
  if (dw <= 0 || dh <= 0 || !Within(src_x, 0, sw_image) || !Within(src_y, 0, sh_image)) return;
  if (src_x + src_w > sw_image) src_w = sw_image - src_x;
  if (src_y + src_h > sh_image) src_h = sh_image - src_y;

  // 64-bit throughout, so wide images do not wrap the 16.16 positions; below 65536 pixels the
  // values equal those of 32-bit arithmetic.
  const std::int64_t xstep = Step(step_src_w, step_dst_w);
  const std::int64_t ystep = Step(step_src_h, step_dst_h);
  const std::int64_t xinv = Inverse(step_src_w, step_dst_w);
  const std::int64_t yinv = Inverse(step_src_h, step_dst_h);
  const auto x0 = static_cast<std::int64_t>(static_cast<long long>(TExtended(src_x) * 65535));
  const auto sy0 = static_cast<int>(std::trunc(src_y));
  const auto dx0 = static_cast<int>(std::trunc(dst_x));
  const auto dy0 = static_cast<int>(std::trunc(dst_y));
  const auto sw = static_cast<std::int64_t>(std::trunc(src_w));
  const auto sh = static_cast<std::int64_t>(std::trunc(src_h));
  const auto width = static_cast<std::int64_t>(dw);
  const auto height = static_cast<std::int64_t>(dh);

  const std::int64_t ncols = std::clamp<std::int64_t>(((sw - 1) * xinv) >> 16, 0, width);
  std::int64_t nrows = height;
  bool tail_rows = !(sh_image > sy0 + sh);
  if (tail_rows) nrows = std::clamp<std::int64_t>(((sh - 1) * yinv) / 65535, 0, height);

  const std::vector<TColumnTap> taps = ColumnTaps(x0, xstep, ncols, width, sw_image);

  std::int64_t fetched = -1;
  const std::uint8_t* upper = nullptr;
  const std::uint8_t* lower = nullptr;
  for (std::int64_t k = 0; k < nrows; ++k) {
    std::int64_t y_position = k * ystep;
    std::int64_t y = sy0 + (y_position >> 16);
    if (y != fetched) {  // rows are fetched again only when the integer row changes
      upper = source.ScanLine(static_cast<int>(y));
      lower = source.ScanLine(static_cast<int>(y + 1));
      fetched = y;
    }
    auto fy = static_cast<unsigned>((y_position & 0xFFFF) >> 8);
    BlendRow(upper, lower, fy, taps, dest.ScanLine(static_cast<int>(dy0 + k)) + 4 * dx0);
  }
  if (tail_rows && nrows < height) {
    // Below the last row the picture is mirrored: the weight moves back towards the row above.
    std::int64_t v = sy0 + sh - 1;
    upper = source.ScanLine(static_cast<int>(v));
    lower = source.ScanLine(static_cast<int>(v - 1));
    for (std::int64_t j = 0; j < height - nrows; ++j) {
      auto fy = static_cast<unsigned>(((j * ystep) & 0xFFFF) >> 8);
      BlendRow(upper, lower, fy, taps, dest.ScanLine(static_cast<int>(dy0 + nrows + j)) + 4 * dx0);
    }
  }
}

TFixedPointRows::TFixedPointRows(int src_width, int src_height, int dst_width, int dst_height)
    : src_width_(src_width), src_height_(src_height) {
  // The whole-picture call: nothing is clipped, x0 and the first source row are 0, the
  // rectangle reaches the bottom of the source, so the rows past the main ones are tail rows.
  const std::int64_t xstep = Step(src_width, dst_width);
  const std::int64_t ystep = Step(src_height, dst_height);
  const std::int64_t xinv = Inverse(src_width, dst_width);
  const std::int64_t yinv = Inverse(src_height, dst_height);
  const std::int64_t ncols =
      std::clamp<std::int64_t>(((std::int64_t{src_width} - 1) * xinv) >> 16, 0, dst_width);
  const std::int64_t nrows =
      std::clamp<std::int64_t>(((std::int64_t{src_height} - 1) * yinv) / 65535, 0, dst_height);
  taps_ = ColumnTaps(0, xstep, ncols, dst_width, src_width);
  row_reads_.resize(static_cast<std::size_t>(dst_height));
  for (std::int64_t k = 0; k < dst_height; ++k) {
    TRowRead& read = row_reads_[static_cast<std::size_t>(k)];
    if (k < nrows) {
      const std::int64_t y_position = k * ystep;
      read.upper = static_cast<int>(y_position >> 16);
      read.lower = read.upper + 1;
      read.weight = static_cast<unsigned>((y_position & 0xFFFF) >> 8);
    } else {
      read.upper = src_height - 1;
      read.lower = src_height - 2;
      read.weight = static_cast<unsigned>((((k - nrows) * ystep) & 0xFFFF) >> 8);
    }
  }
}

TRowSpan TFixedPointRows::RowsRead(int y) const {
  const TRowRead& read = row_reads_[static_cast<std::size_t>(y)];
  return {std::min(read.upper, read.lower), std::max(read.upper, read.lower)};
}

void TFixedPointRows::MakeRow(const TSourceRows& source, int y, std::uint8_t* out) const {
  const TRowRead& read = row_reads_[static_cast<std::size_t>(y)];
  BlendRow((*source.rows)[static_cast<std::size_t>(read.upper)],
           (*source.rows)[static_cast<std::size_t>(read.lower)], read.weight, taps_, out);
}

}  // namespace qv
