// The row-window filter over 24-bit images: a callback sees 11 rows around each pixel.
#pragma once

#include <cstdint>

#include "runtime/translation.h"

namespace qv {

class TBitmap;

inline constexpr char kFilterNeeds24Bit[] = N_("BitmapFiletr accepts only 24Bit DIB");
inline constexpr int kFilterWindowRows = 11;   // rows y - 5 .. y + 5
inline constexpr int kFilterMarginBytes = 15;  // 5 zero pixels before and after each row copy

// Called for each pixel (x, y) with the window of row pointers and the caller's data; fills the
// 3-byte output pixel. The current pixel of window row k is at window[k] + 15, its left neighbour
// at + 12, its right one at + 18; window row 5 is the current row, row 6 the next. The callback
// may change the window's bytes: they are working copies, and changes to later rows carry over.
using TFilterCallback = void (*)(int x, int y, std::uint8_t* const* window, void* data,
                                 std::uint8_t* output);

// A new 24-bit image of image's size whose pixel (x, y) is the callback's output. Rows outside the
// image and the margins read as zero; only 11 row copies are held at a time. Throws Exception
// "BitmapFiletr accepts only 24Bit DIB" when image is not 24 bits per pixel, EOutOfMemory when a
// buffer cannot be had; the callback's errors pass on (every buffer is freed).
TBitmap FilterRows(const TBitmap& image, TFilterCallback callback, void* data);

}  // namespace qv
