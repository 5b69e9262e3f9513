// The decoded pixels a PNG header holds: a bottom-up Raster image with a 256-entry colour table
// and, for colour types with alpha, a separate alpha plane. The pixels are a TBitmap so the image
// handed out shares them instead of copying them (the copy-on-write of TBitmap keeps the two
// apart once either changes).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "imaging/bitmap.h"

namespace qv {

// Bits per pixel of the internal image for a PNG colour type and bit depth: 1, 4 or 8 (indexed)
// or 24 (blue, green, red); 0 for a combination the PNG standard forbids.
int InternalBitsFor(int colour_type, int bit_depth);

struct TPngInternalImage {
  int width = 0;
  int height = 0;  // the picture's height, also when one row is held
  int bits = 0;
  std::size_t row_size = 0;            // ((bits x width + 31) div 32) x 4
  TBitmap pixels;                      // rows bottom-up, at bits per pixel; empty before Build
  std::array<TRGBQuad, 256> colors{};  // colour table, black beyond the entries given
  std::vector<std::uint8_t> alpha;     // width x height, top row first; empty without alpha
  // Only one row (and its alpha) is held: the decoder makes each row there in turn and hands it
  // on, so the pixels are never the picture.
  bool one_row = false;

  // Discards the old image and makes an all-zero one (palette: the format's default). Throws
  // EOutOfMemory (before allocating) when the pixels and alpha plane would pass the reader limits
  // of image_limits.h. With hold_one_row only one row is allocated (the limits are those of the
  // whole picture all the same, so a file fails or passes them as it always did).
  void Build(int new_width, int new_height, int new_bits, bool with_alpha,
             bool hold_one_row = false);
  // Makes an image that holds one row hold every row, all zero, keeping the colour table.
  void HoldAllRows();
  void Clear();

  // True before Build and after Clear.
  bool Empty() const { return pixels.Empty(); }
  // Row y counted from the top (the last row in memory is the top row). The non-const form gives
  // the image a private buffer first when it shares one.
  std::uint8_t* RowFromTop(int y) { return pixels.ScanLine(y); }
  const std::uint8_t* RowFromTop(int y) const { return std::as_const(pixels).ScanLine(y); }
  std::uint8_t* AlphaRow(int y) { return alpha.data() + static_cast<std::size_t>(y) * width; }
  const std::uint8_t* AlphaRow(int y) const {
    return alpha.data() + static_cast<std::size_t>(y) * width;
  }
};

}  // namespace qv
