// TMedianCut: a direct-indexed 6-6-5 bit histogram split recursively at channel means.
#include "imaging/median_cut.h"

#include <algorithm>
#include <new>
#include <utility>

#include "runtime/exceptions.h"
#include "simd/extended_float.h"

namespace qv {

namespace {

std::uint32_t Channel(const THistogramCell& cell, int channel) {
  return channel == 0 ? cell.red : channel == 1 ? cell.green : cell.blue;
}

}  // namespace

TMedianCut::TMedianCut() {
  try {
    cells_.assign(kCellCount, THistogramCell{});
    lookup_.assign(kCellCount, 0);
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory();
  }
  for (std::size_t i = 0; i < kCellCount; ++i)
    cells_[i].cell_number = static_cast<std::uint32_t>(i);
}

std::size_t TMedianCut::CellIndex(std::uint32_t color) {
  std::uint32_t r = (color >> 16) & 0xFF, g = (color >> 8) & 0xFF, b = color & 0xFF;
  return (r >> 2) * 2048 + (g >> 2) * 32 + (b >> 3);
}

void TMedianCut::AddColor(std::uint32_t color) {
  THistogramCell& cell = cells_[CellIndex(color)];
  ++cell.count;
  cell.red += (color >> 16) & 3;
  cell.green += (color >> 8) & 3;
  cell.blue += color & 7;
}

void TMedianCut::Quantize(int bits) {
  bits_ = std::clamp(bits, 0, 8);  // the palette holds 256 entries
  for (std::size_t i = 0; i < kCellCount; ++i) {
    THistogramCell& cell = cells_[i];
    auto r6 = static_cast<std::uint32_t>(i >> 11), g6 = static_cast<std::uint32_t>((i >> 5) & 63),
         b5 = static_cast<std::uint32_t>(i & 31);
    if (cell.count > 0) {  // the truncated mean of the cell's pixels
      cell.red = cell.red / cell.count + 4 * r6;
      cell.green = cell.green / cell.count + 4 * g6;
      cell.blue = cell.blue / cell.count + 8 * b5;
    } else {  // the cell's centre
      cell.red = 4 * r6 + 2;
      cell.green = 4 * g6 + 2;
      cell.blue = 8 * b5 + 4;
    }
  }
  palette_count_ = 0;
  palette_ = {};
  Split(0, kCellCount, 0);
  std::fill(lookup_.begin(), lookup_.end(), 0);
  for (const THistogramCell& cell : cells_)
    lookup_[cell.cell_number] = static_cast<std::uint8_t>(cell.palette_index & 0xFF);
}

void TMedianCut::Split(std::size_t start, std::size_t end, int depth) {
  if (start == end) return;
  // Count-weighted statistics; the sums of squares in extended precision.
  std::uint32_t n_total = 0;
  std::uint64_t sum[3] = {0, 0, 0};
  TExtended squares[3] = {0, 0, 0};
  for (std::size_t i = start; i < end; ++i) {
    const THistogramCell& cell = cells_[i];
    std::uint32_t n = cell.count;
    if (n == 0) continue;
    n_total += n;
    for (int c = 0; c < 3; ++c) {
      std::uint64_t v = Channel(cell, c);
      sum[c] += v * n;
      squares[c] += TExtended(v * v) * n;
    }
  }
  std::uint32_t mean[3];
  TExtended variance[3] = {0, 0, 0};
  if (n_total > 0) {
    for (int c = 0; c < 3; ++c) {
      mean[c] = static_cast<std::uint32_t>(sum[c] / n_total);
      variance[c] = squares[c] / n_total - static_cast<std::int32_t>(mean[c] * mean[c]);
    }
  } else {  // only empty cells: the plain average of their colours
    std::uint64_t plain[3] = {0, 0, 0};
    for (std::size_t i = start; i < end; ++i)
      for (int c = 0; c < 3; ++c) plain[c] += Channel(cells_[i], c);
    for (int c = 0; c < 3; ++c) mean[c] = static_cast<std::uint32_t>(plain[c] / (end - start));
  }
  if (depth == bits_ || n_total == 0) {
    auto index = static_cast<std::uint32_t>(palette_count_);
    palette_[static_cast<std::size_t>(palette_count_)] = {static_cast<std::uint8_t>(mean[2]),
                                                          static_cast<std::uint8_t>(mean[1]),
                                                          static_cast<std::uint8_t>(mean[0]), 0};
    for (std::size_t i = start; i < end; ++i)
      cells_[i].palette_index = (cells_[i].palette_index & 0xFFFF0000u) | (index & 0xFFFF);
    ++palette_count_;
    return;
  }
  const TExtended vr = variance[0], vg = variance[1], vb = variance[2];
  int channel = 0;  // red
  if (4 * vg > 3 * vr || 2 * vb > 3 * vr) channel = (3 * vr > 4 * vg || 2 * vb > 3 * vg) ? 2 : 1;
  const std::uint32_t pivot = mean[channel];
  std::size_t i = start, j = end;
  while (true) {
    while (i < j && Channel(cells_[i], channel) <= pivot) ++i;
    while (i < j && Channel(cells_[j - 1], channel) > pivot) --j;
    if (i >= j) break;
    std::swap(cells_[i], cells_[j - 1]);
    ++i;
    --j;
  }
  // The upper part first, so within each box its entries precede those of the lower part.
  Split(i, end, depth + 1);
  Split(start, i, depth + 1);
}

std::vector<TRGBQuad> TMedianCut::MakePalette() const {
  return std::vector<TRGBQuad>(palette_.begin(), palette_.begin() + palette_count_);
}

}  // namespace qv
