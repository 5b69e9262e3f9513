// The bilinear stretch: each destination pixel is the mean of the bilinear source surface over
// its footprint, for enlargement and reduction alike.
#pragma once

#include "imaging/arithmetic_path.h"

namespace qv {

class TBitmap;

// How the footprint sums are formed (arithmetic_path.h). kExtended evaluates each statement in x87
// extended precision and stores it as a 64-bit float, as written; kFastest uses 64-bit floats
// throughout (with vector code where the processor has AVX2, the same bytes on every processor),
// which gives the same bytes as kExtended except for a mean within about 1e-13 of a half (see
// the source).

// A new DstW x DstH 24-bit image from source, which is read through a private 24-bit copy and
// left unchanged. Coordinates, lengths, coefficients and accumulators are 64-bit floats; the far
// edge of each footprint is 0.500001 (extended) short of the nominal one, so a mean of exactly
// k + 0.5 rounds to k. Each byte rounds to nearest, ties to even.
// Throws EAssertionFailed ("BitmapUtils", 1066) when source has no pixels, and for a destination
// extent below 1; EOutOfMemory when the result cannot be had.
TBitmap BilinearStretch(const TBitmap& source, int dst_width, int dst_height,
                        TArithmeticPath path = TArithmeticPath::kFastest);

}  // namespace qv
