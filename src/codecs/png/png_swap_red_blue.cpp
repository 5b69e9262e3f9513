// The red and blue swap of PNG rows: a byte loop, and a byte shuffle on x86 processors.
#include "codecs/png/png_swap_red_blue.h"

#include "codecs/png/png_swap_red_blue_x86.h"

namespace qv {

void SwapRedBluePortable(const std::uint8_t* rgb, std::uint8_t* bgr, std::size_t pixels) {
  for (std::size_t i = 0; i < pixels; ++i, rgb += 3, bgr += 3) {
    const std::uint8_t red = rgb[0], green = rgb[1], blue = rgb[2];
    bgr[0] = blue;
    bgr[1] = green;
    bgr[2] = red;
  }
}

std::span<const TVariant<TSwapRedBlueFunction>> SwapRedBlueVariants() {
  static constexpr TVariant<TSwapRedBlueFunction> kForms[] = {QV_X86_FORM(
      "avx2", {TCpuFeature::kAvx2}, SwapRedBlueAvx2){"portable", {}, SwapRedBluePortable}};
  return kForms;
}

void SwapRedBlue(const std::uint8_t* rgb, std::uint8_t* bgr, std::size_t pixels) {
  Chosen<SwapRedBlueVariants>()(rgb, bgr, pixels);
}

}  // namespace qv
