// Conversion of the CMYK rows libjpeg gives for CMYK and YCCK JPEGs to blue, green, red rows.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qv {

// Converts width pixels of C, M, Y, K bytes in cmyk to B, G, R bytes in bgr. inverted: the
// file's samples are stored inverted (as Adobe applications write them, told by an Adobe
// marker), so a sample of 255 means no ink; otherwise 0 means no ink. Each channel is
// (255 - ink) x (255 - black ink) / 255, rounded.
void CmykRowToBgr(const std::uint8_t *cmyk, std::uint8_t *bgr, std::size_t width, bool inverted);

}  // namespace qv
