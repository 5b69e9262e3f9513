// Sepia toning through a 256-entry table of the luminance.
#include "imaging/sepia.h"

#include <cmath>

#include "imaging/bitmap.h"
#include "simd/extended_float.h"

namespace qv {

namespace {

std::uint8_t Curve(int luminance, TExtended exponent) {
  if (luminance == 0) return 0;
  // The power in the platform's widest precision: the x87 unit's on x86, elsewhere rounded to
  // 64 bits (extended_float.h). No value lies within 0.0003 of a half, so neither that last bit
  // nor the tie rule matters here.
  const TExtended base = TExtended(luminance) / 255;
  const TExtended value = TExtended(255) * TExtended(std::pow(static_cast<long double>(base),
                                                              static_cast<long double>(exponent)));
  return static_cast<std::uint8_t>(static_cast<int>(Rint(value)));
}

}  // namespace

const std::array<std::array<std::uint8_t, 3>, 256>& SepiaTable() {
  static const auto table = [] {
    std::array<std::array<std::uint8_t, 3>, 256> t{};
    for (int y = 0; y < 256; ++y)
      t[static_cast<std::size_t>(y)] = {Curve(y, TExtended(4) / 3), static_cast<std::uint8_t>(y),
                                        Curve(y, TExtended(3) / 4)};
    return t;
  }();
  return table;
}

void ApplySepiaRow(std::uint8_t* row, int width) {
  const auto& table = SepiaTable();
  std::uint8_t* p = row;
  for (int x = 0; x < width; ++x, p += 3) {
    unsigned luminance = (77u * p[2] + 150u * p[1] + 29u * p[0] + 128u) >> 8;
    const auto& toned = table[luminance];
    p[0] = toned[0];
    p[1] = toned[1];
    p[2] = toned[2];
  }
}

void ApplySepia(TBitmap& image) {
  int width = image.Width();
  int height = image.Height();
  image.SetPixelFormat(TPixelFormat::pf24bit);
  std::uint8_t* row = image.ScanLine(0);  // an empty image fails here, as row access does
  std::ptrdiff_t step = image.RowStep();
  for (int y = 0; y < height; ++y, row += step) ApplySepiaRow(row, width);
}

}  // namespace qv
