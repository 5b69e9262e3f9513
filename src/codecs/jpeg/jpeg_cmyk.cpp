// CMYK to blue, green, red rows for four-component JPEGs.
#include "codecs/jpeg/jpeg_cmyk.h"

namespace qv {

namespace {

inline std::uint8_t Mul255(unsigned a, unsigned b) {
  unsigned t = a * b + 128;
  return static_cast<std::uint8_t>((t + (t >> 8)) >> 8);
}

}  // namespace

void CmykRowToBgr(const std::uint8_t *cmyk, std::uint8_t *bgr, std::size_t width, bool inverted) {
  const unsigned flip = inverted ? 0 : 255;
  for (std::size_t x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
    // With inverted samples the stored value already is 255 - ink.
    unsigned c = cmyk[0] ^ flip, m = cmyk[1] ^ flip, y = cmyk[2] ^ flip, k = cmyk[3] ^ flip;
    bgr[0] = Mul255(y, k);
    bgr[1] = Mul255(m, k);
    bgr[2] = Mul255(c, k);
  }
}

}  // namespace qv
