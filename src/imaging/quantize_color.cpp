// The median-cut colour quantiser.
#include "imaging/quantize_color.h"

#include <algorithm>

#include "imaging/median_cut.h"

namespace qv {

TMedianCutQuantizeColor::TMedianCutQuantizeColor(const TMedianCut& median_cut)
    : median_cut_(median_cut) {
  std::vector<TRGBQuad> palette = median_cut.MakePalette();
  std::size_t count = std::min<std::size_t>(palette.size(), palette_.size());
  for (std::size_t i = 0; i < count; ++i)
    palette_[i] = {palette[i].red, palette[i].green, palette[i].blue, 0};
}

void TMedianCutQuantizeColor::Quantize(std::uint32_t color, std::uint8_t* output) const {
  const TEntry& entry = palette_[median_cut_.ColorIndex(color)];
  output[0] = entry.blue;
  output[1] = entry.green;
  output[2] = entry.red;
}

}  // namespace qv
