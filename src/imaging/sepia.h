// Sepia toning: luminance to green, red lifted and blue lowered by two gamma curves.
#pragma once

#include <array>
#include <cstdint>

namespace qv {

class TBitmap;

// The toned pixel (blue, green, red) of each luminance 0..255: blue 255 (Y/255)^(4/3), green Y,
// red 255 (Y/255)^(3/4), each rounded to nearest.
const std::array<std::array<std::uint8_t, 3>, 256>& SepiaTable();

// Tones image in place: it becomes 24 bits per pixel (other formats are converted first) and each
// pixel takes the table entry of its luminance Y = (77 r + 150 g + 29 b + 128) >> 8. The row
// padding is not touched. Throws EInvalidGraphicOperation ("スキャンライン ...") for an empty
// image, and the pixel-format conversion's errors.
void ApplySepia(TBitmap& image);

// Tones width pixels of a 24-bit row in place as ApplySepia tones each row (a row of a picture
// being made can be toned as soon as it is made).
void ApplySepiaRow(std::uint8_t* row, int width);

}  // namespace qv
