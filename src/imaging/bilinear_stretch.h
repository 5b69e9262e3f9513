// The bilinear stretch: each destination pixel is the mean of the bilinear source surface over
// its footprint, for enlargement and reduction alike.
#pragma once

namespace qv {

class TBitmap;

// How the footprint sums are formed. kExtended evaluates each statement in x87 extended precision
// and stores it as a 64-bit float, as written; kFastest uses 64-bit floats throughout on
// processors with AVX2 (four channels side by side), which gives the same bytes except for a
// mean within about 1e-13 of a half (see the source), and kExtended elsewhere.
enum class TStretchPath { kFastest, kExtended };

// A new DstW x DstH 24-bit image from source, which is read through a private 24-bit copy and
// left unchanged. Coordinates, lengths, coefficients and accumulators are 64-bit floats; the far
// edge of each footprint is 0.500001 (extended) short of the nominal one, so a mean of exactly
// k + 0.5 rounds to k. Each byte rounds to nearest, ties to even.
// Throws EAssertionFailed ("BitmapUtils", 1066) when source has no pixels, and for a destination
// extent below 1; EOutOfMemory when the result cannot be had.
TBitmap BilinearStretch(const TBitmap& source, int dst_width, int dst_height,
                        TStretchPath path = TStretchPath::kFastest);

}  // namespace qv
