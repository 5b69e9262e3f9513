// The byte order of a 24-bit PNG row (red, green, blue) turned into that of a 24-bit Raster row
// (blue, green, red).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "simd/variants.h"

namespace qv {

// Writes pixels pixels of rgb (three bytes each, red first) to bgr (blue first). The two may not
// overlap.
void SwapRedBlue(const std::uint8_t* rgb, std::uint8_t* bgr, std::size_t pixels);

// SwapRedBlue in a byte loop: the portable form, and the vector form's last pixels.
void SwapRedBluePortable(const std::uint8_t* rgb, std::uint8_t* bgr, std::size_t pixels);

// The forms of SwapRedBlue, the portable one last (simd/variants.h).
using TSwapRedBlueFunction = void (*)(const std::uint8_t* rgb, std::uint8_t* bgr,
                                      std::size_t pixels);
std::span<const TVariant<TSwapRedBlueFunction>> SwapRedBlueVariants();

}  // namespace qv
