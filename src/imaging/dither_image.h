// Floyd-Steinberg dithering of a 24-bit image against a colour quantiser.
#pragma once

#include <cstdint>

namespace qv {

class TBitmap;
class TQuantizeColor;

// The row-window callback of the dither (data is a TQuantizeColor): outputs the quantised colour
// of the current pixel and pushes its error, 7/16 right, 3/16 below left, 5/16 below, 1/16 below
// right (each share truncated toward zero, each byte clamped to 0..255). Shares that fall into
// the margins or below the image are lost.
void FloydSteinbergCallback(int x, int y, std::uint8_t* const* window, void* data,
                            std::uint8_t* output);

// A new 24-bit image: image dithered left to right, top to bottom, with quantizer's colours.
// Throws as FilterRows does (image must be 24 bits per pixel).
TBitmap DitherImage(const TBitmap& image, const TQuantizeColor& quantizer);

}  // namespace qv
