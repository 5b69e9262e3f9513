// Colour quantisers: the abstract TQuantizeColor and the median-cut one.
#pragma once

#include <array>
#include <cstdint>

#include "imaging/bitmap.h"

namespace qv {

class TMedianCut;

// Maps a colour to the output colour of a reduced palette.
class TQuantizeColor {
 public:
  virtual ~TQuantizeColor() = default;
  // Writes the output colour of color (0x00RRGGBB) to output as the bytes blue, green, red.
  virtual void Quantize(std::uint32_t color, std::uint8_t* output) const = 0;
};

// Quantises through a TMedianCut that has been quantised: the palette entry of the colour's cell.
class TMedianCutQuantizeColor : public TQuantizeColor {
 public:
  // Copies the palette of median_cut, which must outlive this object (it is not owned).
  explicit TMedianCutQuantizeColor(const TMedianCut& median_cut);
  void Quantize(std::uint32_t color, std::uint8_t* output) const override;

 private:
  struct TEntry {
    std::uint8_t red, green, blue, flags;
  };
  const TMedianCut& median_cut_;
  std::array<TEntry, 256> palette_{};  // entries beyond the palette count are 0
};

}  // namespace qv
