// TMedianCut: the colour histogram and the median-cut style palette built from it.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "imaging/bitmap.h"

namespace qv {

// One histogram cell: 6 bits of red, 6 of green and 5 of blue select it.
struct THistogramCell {
  std::uint32_t palette_index;  // palette entry of the cell's box (low 16 bits written)
  std::uint32_t cell_number;    // the cell's own index, kept while cells are reordered
  std::uint32_t count;          // pixels that fell into the cell
  // While collecting: sums of the discarded low bits. After Quantize: the cell's colour.
  std::uint32_t red;
  std::uint32_t green;
  std::uint32_t blue;
};
static_assert(sizeof(THistogramCell) == 24);

class TMedianCut {
 public:
  static constexpr std::size_t kCellCount = 64 * 64 * 32;

  // Allocates the zeroed histogram (3 MB). Throws EOutOfMemory when it cannot be had.
  TMedianCut();

  // Cell of a colour given as 0x00RRGGBB.
  static std::size_t CellIndex(std::uint32_t color);

  // Counts one pixel of colour 0x00RRGGBB.
  void AddColor(std::uint32_t color);

  // Builds the palette of at most 2^bits entries (bits above 8 act as 8, the palette's size) and
  // the cell-to-entry lookup table. Call once, after the last AddColor.
  void Quantize(int bits);

  // Palette entry of the cell of colour 0x00RRGGBB.
  std::uint8_t ColorIndex(std::uint32_t color) const { return lookup_[CellIndex(color)]; }

  int PaletteCount() const { return palette_count_; }
  // The palette as built, entries blue, green, red, 0.
  const std::array<TRGBQuad, 256>& PaletteEntries() const { return palette_; }
  // A palette of PaletteCount() entries for an 8-bit image.
  std::vector<TRGBQuad> MakePalette() const;

 private:
  void Split(std::size_t start, std::size_t end, int depth);

  std::vector<THistogramCell> cells_;
  std::vector<std::uint8_t> lookup_;
  int palette_count_ = 0;
  int bits_ = 0;
  std::array<TRGBQuad, 256> palette_{};
};

}  // namespace qv
