// The bilinear stretch: each destination pixel is the mean of the bilinear source surface over
// its footprint, for enlargement and reduction alike.
#pragma once

namespace qv {

class TBitmap;

// A new DstW x DstH 24-bit image from source, which is read through a private 24-bit copy and
// left unchanged. Coordinates, lengths, coefficients and accumulators are 64-bit floats; the far
// edge of each footprint is 0.500001 (extended) short of the nominal one, so a mean of exactly
// k + 0.5 rounds to k. Each byte rounds to nearest, ties to even.
// Throws EAssertionFailed ("BitmapUtils", 1066) when source has no pixels, and for a destination
// extent below 1; EOutOfMemory when the result cannot be had.
TBitmap BilinearStretch(const TBitmap& source, int dst_width, int dst_height);

}  // namespace qv
