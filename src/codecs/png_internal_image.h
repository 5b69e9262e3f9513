// The decoded pixels a PNG header holds: a bottom-up device-independent image with a 256-entry
// colour table and, for colour types with alpha, a separate alpha plane.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/bitmap.h"

namespace qv {

// Bits per pixel of the internal image for a PNG colour type and bit depth: 1, 4 or 8 (indexed)
// or 24 (blue, green, red); 0 for a combination the PNG standard forbids.
int InternalBitsFor(int colour_type, int bit_depth);

struct TPngInternalImage {
  int width = 0;
  int height = 0;
  int bits = 0;
  std::size_t row_size = 0;            // ((bits x width + 31) div 32) x 4
  std::vector<std::uint8_t> pixels;    // rows bottom-up
  std::array<TRGBQuad, 256> colors{};  // colour table, black beyond the entries given
  std::vector<std::uint8_t> alpha;     // width x height, top row first; empty without alpha

  // Discards the old image and makes an all-zero one. Throws EOutOfMemory (before allocating)
  // when the pixels and alpha plane would pass the reader limits of image_limits.h.
  void Build(int new_width, int new_height, int new_bits, bool with_alpha);
  void Clear();

  // Row y counted from the top (the last row in memory is the top row).
  std::uint8_t* RowFromTop(int y) { return pixels.data() + RowOffset(y); }
  const std::uint8_t* RowFromTop(int y) const { return pixels.data() + RowOffset(y); }
  std::uint8_t* AlphaRow(int y) { return alpha.data() + static_cast<std::size_t>(y) * width; }
  const std::uint8_t* AlphaRow(int y) const {
    return alpha.data() + static_cast<std::size_t>(y) * width;
  }

 private:
  std::size_t RowOffset(int y) const { return static_cast<std::size_t>(height - 1 - y) * row_size; }
};

}  // namespace qv
