// Copies a plug-in's result (information block and pixel block) into a Raster image.
#pragma once

#include <cstdint>
#include <span>

namespace qv {

class TBitmap;

// Checks the information block (header size, bits per pixel, compression, bit-field masks,
// colour count, width and height) against both block sizes before reading a single row, then
// gives image the header's width and height and the block's pixels: at the block's own depth
// when image is of the device format (a fresh image) or custom, else converted into the pixel
// format image had.
// Rows stored top-down (negative height) come out upright. Throws EInvalidGraphic when the
// blocks do not add up, EOutOfMemory when the image passes the size limits; image is unchanged
// on every failure.
void CopyPluginDib(std::span<const std::uint8_t> info, std::span<const std::uint8_t> pixels,
                   TBitmap &image);

}  // namespace qv
