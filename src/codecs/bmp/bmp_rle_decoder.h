// Decoding the run-length pixel data of BMP files (RLE8 and RLE4) into palette indices.
#pragma once

#include <cstdint>
#include <span>

namespace qv {

enum class TRleKind { kRle8, kRle4 };

// Decodes data into indices, one byte per pixel, width x height, row 0 the bottom row of the
// picture (the order of the file). Pixels no run reaches keep the value indices had (callers
// give 0, the first palette entry). Decoding stops at the end-of-bitmap code, when the rows run
// past the top of the image (those rows are ignored) or at the end of data that ends between
// two codes. Throws EInvalidGraphic when a run or a delta goes past the end of a row and
// EReadError when the data ends inside a code. Never reads or writes outside the spans.
void DecodeBmpRle(std::span<const std::uint8_t> data, TRleKind kind, int width, int height,
                  std::span<std::uint8_t> indices);

}  // namespace qv
