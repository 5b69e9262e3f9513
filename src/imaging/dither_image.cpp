// Floyd-Steinberg dithering through the row-window filter.
#include "imaging/dither_image.h"

#include <algorithm>

#include "imaging/bitmap.h"
#include "imaging/filter_rows.h"
#include "imaging/quantize_color.h"

namespace qv {

namespace {

inline std::uint8_t Push(std::uint8_t value, int share) {
  return static_cast<std::uint8_t>(std::clamp(value - share, 0, 255));
}

}  // namespace

void FloydSteinbergCallback(int, int, std::uint8_t* const* window, void* data,
                            std::uint8_t* output) {
  const auto& quantizer = *static_cast<const TQuantizeColor*>(data);
  std::uint8_t* current = window[5] + kFilterMarginBytes;
  std::uint8_t* below = window[6] + kFilterMarginBytes;
  std::uint32_t color = static_cast<std::uint32_t>(current[2]) << 16 |
                        static_cast<std::uint32_t>(current[1]) << 8 | current[0];
  quantizer.Quantize(color, output);
  for (int c = 0; c < 3; ++c) {
    int error = output[c] - current[c];
    if (error == 0) continue;
    current[3 + c] = Push(current[3 + c], error * 7 / 16);
    below[c - 3] = Push(below[c - 3], error * 3 / 16);
    below[c] = Push(below[c], error * 5 / 16);
    below[3 + c] = Push(below[3 + c], error / 16);
  }
}

TBitmap DitherImage(const TBitmap& image, const TQuantizeColor& quantizer) {
  // The callback only reads the quantiser; the filter's data pointer is untyped.
  return FilterRows(image, FloydSteinbergCallback,
                    const_cast<void*>(static_cast<const void*>(&quantizer)));
}

}  // namespace qv
