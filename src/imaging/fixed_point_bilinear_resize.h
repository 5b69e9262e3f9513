// The fixed-point bilinear resize: 16.16 positions and 8-bit weights on 32-bit pixels.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/blend_row.h"
#include "imaging/row_resizer.h"

namespace qv {

class TABitmap;

// Draws the rectangle (src_x, src_y, src_w, src_h) of source, in source pixels, scaled to
// dst_w x dst_h with its top-left corner at (dst_x, dst_y) of dest. The four bytes of each pixel
// are interpolated alike with weights 0..255, every step truncating, so white becomes 253.
// Rectangles outside the images are clipped; one that leaves nothing (or has no extent) draws
// nothing. Positions left of the first or right of the last source column, and right neighbours
// past the last column, use the nearest pixel of the row.
// Throws EInvalidGraphicOperation ("スキャンライン ...") when the rows it must read are missing,
// as for a source of a single row whose bottom is reached (the mirrored tail needs the row above).
void FixedPointBilinearResize(int dst_w, int dst_h, const TABitmap& source, double src_x,
                              double src_y, double src_w, double src_h, double dst_x, double dst_y,
                              TABitmap& dest);

// The conversion job's use of FixedPointBilinearResize, the whole src_width x src_height source
// to the whole dst_width x dst_height destination, made row by row from source rows of 32-bit
// pixels as they come: each row's bytes are those of the call over the whole picture. A source
// of one row reads row -1 in its tail (RowsRead tells; the whole-picture call fails there).
class TFixedPointRows final : public IRowResizer {
 public:
  // All sizes at least 1.
  TFixedPointRows(int src_width, int src_height, int dst_width, int dst_height);

  int SourceWidth() const override { return src_width_; }
  int SourceHeight() const override { return src_height_; }
  int DestHeight() const override { return static_cast<int>(row_reads_.size()); }
  int SourcePixelBytes() const override { return 4; }
  TRowSpan RowsRead(int y) const override;
  void MakeRow(const TSourceRows& source, int y, std::uint8_t* out) const override;

 private:
  // The two source rows a destination row blends and the weight of the lower one.
  struct TRowRead {
    int upper;
    int lower;
    unsigned weight;
  };
  int src_width_, src_height_;
  std::vector<TColumnTap> taps_;
  std::vector<TRowRead> row_reads_;
};

}  // namespace qv
