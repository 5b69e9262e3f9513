// A Raster image brought to sRGB in place through a profile's transforms.
#pragma once

#include <cstdint>
#include <vector>

namespace qv {

class TBitmap;
class TColourTransforms;

// Converts the picture's colours, described by profile, to sRGB in place, row by row, with no
// copy of the picture: 24-bit rows through the kBgr8 transform, 32-bit rows through kBgra8 (the
// fourth byte kept), and a 1, 4 or 8-bit picture's palette entries through kBgra8 (its pixels
// stay). A grey profile's kGrey8 table is applied to blue, green and red alike, so grey stays
// grey. A 15- or 16-bit picture becomes 24-bit first. A transparent colour is converted with
// the pixels. Throws EColourProfile as transforms does, the picture unchanged.
void ConvertToSrgb(TBitmap& picture, TColourTransforms& transforms,
                   const std::vector<std::uint8_t>& profile);

}  // namespace qv
