// Median-cut colour reduction of a 24-bit image to a dithered 8-bit palette image.
#pragma once

namespace qv {

class TBitmap;

// A new 8-bit image of image's size with a palette of at most 2^bits colours (bits above 8 act
// as 8): the median-cut palette of image's colours, Floyd-Steinberg dithered, each pixel the
// palette index of its dithered colour's histogram cell, or, where that cell's entry is another
// colour, the entry of the dithered colour itself. image is not changed.
// Throws EAssertionFailed ("MedianCut", 380) for bits < 0 and ("MedianCut", 381) when image is
// not 24 bits per pixel; EOutOfMemory when buffers cannot be had.
TBitmap ReduceColors(const TBitmap& image, int bits);

}  // namespace qv
