// The inner loop of the bilinear stretch, one destination row, in its forms: the arithmetic in
// 64-bit floats with vector code (x86 AVX2) or one channel at a time (portable), both giving the
// same bytes; and the arithmetic as written, in x87 extended precision (bilinear_stretch.cpp).
// For the stretch's own sources and their tests.
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

// The cell spans of every destination position of one axis; list i is spans[first[i]] ..
struct TAxisSpans {
  std::vector<std::size_t> first;
  std::vector<TCellSpan> spans;
};

// The pixels of one destination row, the cell spans of its rows and of every column given.
struct TRowJob {
  const std::vector<const std::uint8_t*>* src_rows;
  const TAxisSpans* columns;
  const TCellSpan* ybegin;
  const TCellSpan* yend;
  double area;
  int width;
  std::uint8_t* out;
  // A source pixel at or past this address is read byte by byte: four bytes from it would pass
  // the end of the picture's buffer.
  const std::uint8_t* safe_end;
};

// One destination row with every operation in 64-bit floats, the portable form.
void StretchRowDouble(const TRowJob& job);

// The forms of the row in 64-bit floats, the portable one (StretchRowDouble) last.
using TStretchRowFunction = void (*)(const TRowJob& job);
std::span<const TVariant<TStretchRowFunction>> StretchRowVariants();

// BilinearStretch (bilinear_stretch.h) with one form of the row.
TBitmap BilinearStretchWith(const TBitmap& source, int dst_width, int dst_height,
                            TStretchRowFunction row_form, const TWorkContext& work = {});

}  // namespace qv
