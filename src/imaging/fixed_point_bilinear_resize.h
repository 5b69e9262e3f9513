// The fixed-point bilinear resize: 16.16 positions and 8-bit weights on 32-bit pixels.
#pragma once

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

}  // namespace qv
