// The forms of the fixed-point blend of one row and the choice among them.
#include "imaging/blend_row.h"

#include "imaging/blend_row_x86.h"

namespace qv {

void BlendRowPortable(const std::uint8_t* upper, const std::uint8_t* lower, unsigned fy,
                      std::span<const TColumnTap> taps, std::uint8_t* out) {
  std::size_t count = taps.size();
  for (std::size_t i = 0; i < count; ++i) {
    const TColumnTap& tap = taps[i];
    unsigned fx = tap.weight;
    for (int c = 0; c < 4; ++c) {
      unsigned top = (upper[tap.low + c] * (255 - fx) + upper[tap.high + c] * fx) >> 8;
      unsigned bottom = (lower[tap.low + c] * (255 - fx) + lower[tap.high + c] * fx) >> 8;
      out[4 * i + c] = static_cast<std::uint8_t>((top * (255 - fy) + bottom * fy) >> 8);
    }
  }
}

std::span<const TVariant<TBlendRowFunction>> BlendRowVariants() {
  static constexpr TVariant<TBlendRowFunction> kForms[] = {
      QV_X86_FORM("sse2", {TCpuFeature::kSse2}, BlendRowSse2){"portable", {}, BlendRowPortable}};
  return kForms;
}

void BlendRow(const std::uint8_t* upper, const std::uint8_t* lower, unsigned fy,
              std::span<const TColumnTap> taps, std::uint8_t* out) {
  Chosen<BlendRowVariants>()(upper, lower, fy, taps, out);
}

}  // namespace qv
