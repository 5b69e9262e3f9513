// The bilinear stretch's inner loops: the footprint sums as written (x87 extended precision, one
// cell pair after another), and as a separable sum of taps in 64-bit floats, in its forms (x86
// AVX2 with fused multiply-adds, portable), which give the bytes of the first everywhere because
// the means near a half are recomputed as written. For the stretch's own sources and their tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "runtime/work_context.h"
#include "simd/variants.h"

namespace qv {

class TBitmap;

// The overlap of one destination footprint with one interpolation cell along one axis: the two
// clamped source indices bounding the cell, the overlap's length and its centre from the cell.
struct TCellSpan {
  int low;   // pixel index of the cell's near corner (row or column)
  int high;  // pixel index of its far corner
  double length;
  double centre;
};

// One list of entries for every destination position of one axis: list i is
// entries[first[i]] .. entries[first[i + 1]].
template <class TEntry>
struct TAxisLists {
  std::vector<std::size_t> first;
  std::vector<TEntry> entries;
};

// The cell spans of every destination position of one axis.
using TAxisSpans = TAxisLists<TCellSpan>;

// One term of a separable sum: a source index (column or row) and its weight, the sum over the
// position's cells of length x (1 - centre) at the cells' low index and length x centre at their
// high index.
struct TStretchTap {
  int index;
  double weight;
};

// The taps of every destination position of one axis, in increasing index, one per index. They
// read the same indices as the position's spans.
using TAxisTaps = TAxisLists<TStretchTap>;

// The pixels of one destination row as written: the cell spans of its rows and of every column.
struct TRowJob {
  const std::vector<const std::uint8_t*>* src_rows;
  const TAxisSpans* columns;
  const TCellSpan* ybegin;
  const TCellSpan* yend;
  double area;
  int width;
  std::uint8_t* out;
};

// Pixel x of the row (three bytes at out + 3 x), each statement as written in extended precision.
void StretchPixelExtended(const TRowJob& job, int x);

// The two passes of the separable sum, in one form.
struct TStretchForms {
  // sums[b] = sum over the taps of weight x rows[index][b], for b in 0 .. bytes - 1 (0 without
  // taps).
  void (*column_sums)(const std::vector<const std::uint8_t*>& rows, const TStretchTap* begin,
                      const TStretchTap* end, int bytes, double* sums);
  // out[3 x + c] = sum over the taps of column x of weight x sums[3 index + c], for x in
  // 0 .. width - 1 and the three channels c. sums holds one more double after the last pixel's
  // three (read and not used), out room for one more after 3 width.
  void (*row_sums)(const double* sums, const TAxisTaps& columns, int width, double* out);
  // The row's bytes from its pixel sums: out[i] is the integer part of
  // sums[i] x inverse_area + 0.5 clamped to 0 .. 256, and 256 made 255, for i in 0 .. 3 width - 1.
  // near receives, in increasing order, each pixel x for which one of its three shifted sums
  // lies within margin of an integer (a clamped one is an integer); returns how many.
  int (*row_bytes)(const double* sums, int width, double inverse_area, double margin,
                   std::uint8_t* out, int* near);
};

// TStretchForms::row_bytes in plain code: the portable form, and the vector forms' last pixels.
int StretchRowBytes(const double* sums, int width, double inverse_area, double margin,
                    std::uint8_t* out, int* near);

// The forms, the portable one last.
std::span<const TVariant<TStretchForms>> StretchFormVariants();

// Whether the means near a half are recomputed as written. kNever is for tests, to show which
// bytes the recheck mends.
enum class TRecheck { kNearHalves, kNever };

// BilinearStretch (bilinear_stretch.h) with one form of the separable sums; rechecked, when
// given, receives the number of pixels recomputed as written.
TBitmap BilinearStretchWith(const TBitmap& source, int dst_width, int dst_height,
                            const TStretchForms& forms, TRecheck recheck = TRecheck::kNearHalves,
                            std::size_t* rechecked = nullptr, const TWorkContext& work = {});

}  // namespace qv
