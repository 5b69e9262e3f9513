// The bilinear stretch: each destination pixel is the mean of the bilinear source surface over
// its footprint, for enlargement and reduction alike.
#pragma once

#include <memory>

#include "imaging/arithmetic_path.h"
#include "imaging/row_resizer.h"
#include "runtime/work_context.h"

namespace qv {

class TBitmap;

// How the footprint sums are formed (arithmetic_path.h). kExtended evaluates each statement in x87
// extended precision and stores it as a 64-bit float, as written; kFastest forms the same sum
// separably in 64-bit floats (with vector code where the processor has AVX2 and FMA) and
// recomputes as written every pixel whose mean lies near a half, which gives the bytes of
// kExtended on every input and processor (see the source).

// A new DstW x DstH 24-bit image from source, which is read through a private 24-bit copy and
// left unchanged. Coordinates, lengths, coefficients and accumulators are 64-bit floats; the far
// edge of each footprint is 0.500001 (extended) short of the nominal one, so a mean of exactly
// k + 0.5 rounds to k. Each byte rounds to nearest, ties to even.
// Throws EAssertionFailed ("BitmapUtils", 1066) when source has no pixels, and for a destination
// extent below 1; EOutOfMemory when the result cannot be had. The spare threads of work may take
// bands of rows.
TBitmap BilinearStretch(const TBitmap& source, int dst_width, int dst_height,
                        TArithmeticPath path = TArithmeticPath::kFastest,
                        const TWorkContext& work = {});

// BilinearStretch of a src_width x src_height picture (at least 1 x 1) to dst_width x dst_height
// (at least 1 x 1), made row by row from 24-bit source rows: each row's bytes are those
// BilinearStretch gives. Throws EOutOfMemory when the cell spans cannot be had.
class TBilinearStretchRows final : public IRowResizer {
 public:
  TBilinearStretchRows(int src_width, int src_height, int dst_width, int dst_height,
                       TArithmeticPath path = TArithmeticPath::kFastest);
  ~TBilinearStretchRows() override;

  int SourceWidth() const override { return src_width_; }
  int SourceHeight() const override { return src_height_; }
  int DestHeight() const override { return dst_height_; }
  int SourcePixelBytes() const override { return 3; }
  TRowSpan RowsRead(int y) const override;
  void MakeRow(const TSourceRows& source, int y, std::uint8_t* out) const override;

 private:
  struct TPlan;
  int src_width_, src_height_, dst_width_, dst_height_;
  std::unique_ptr<TPlan> plan_;
};

}  // namespace qv
