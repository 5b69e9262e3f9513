// Median-cut colour reduction: histogram, palette, dither, index mapping.
#include "imaging/reduce_colors.h"

#include <cstdint>
#include <unordered_map>

#include "imaging/bitmap.h"
#include "imaging/dither_image.h"
#include "imaging/median_cut.h"
#include "imaging/quantize_color.h"
#include "runtime/exceptions.h"

namespace qv {

namespace {

// The module and the lines the assertion errors name: a negative bit count, an image of
// another depth than 24 bits.
constexpr char kModule[] = "MedianCut";
constexpr int kNegativeBitsLine = 380;
constexpr int kNot24BitLine = 381;

inline std::uint32_t ColorOf(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[0];
}

}  // namespace

TBitmap ReduceColors(const TBitmap& image, int bits) {
  Assert(bits >= 0, kModule, kNegativeBitsLine);
  Assert(image.PixelFormat() == TPixelFormat::pf24bit, kModule, kNot24BitLine);
  const int width = image.Width();
  const int height = image.Height();
  bool has_pixels = width > 0 && height > 0 && !image.Empty();

  TMedianCut median_cut;
  if (has_pixels) {
    const std::uint8_t* row = image.ScanLine(0);
    for (int y = 0; y < height; ++y, row += image.RowStep())
      for (int x = 0; x < width; ++x) median_cut.AddColor(ColorOf(row + 3 * x));
  }
  median_cut.Quantize(bits);

  TBitmap dithered;
  {
    TMedianCutQuantizeColor quantizer(median_cut);
    dithered = DitherImage(image, quantizer);
  }

  TBitmap result;
  result.Allocate(width, height, TPixelFormat::pf8bit);
  result.SetPalette(median_cut.MakePalette());
  if (has_pixels) {
    // Each dithered pixel holds a palette colour; its cell's entry is that colour except when a
    // box's mean lies in a cell of another box (an empty cell split off elsewhere), where the cell
    // lookup alone would show that other box's colour. The entry of the exact colour is used then.
    std::unordered_map<std::uint32_t, std::uint8_t> entry_of;
    const auto& palette = median_cut.PaletteEntries();
    for (int i = median_cut.PaletteCount() - 1; i >= 0; --i) {
      const TRGBQuad& p = palette[static_cast<std::size_t>(i)];
      entry_of[static_cast<std::uint32_t>(p.red) << 16 | static_cast<std::uint32_t>(p.green) << 8 |
               p.blue] = static_cast<std::uint8_t>(i);
    }
    const std::uint8_t* src = static_cast<const TBitmap&>(dithered).ScanLine(0);
    std::uint8_t* dst = result.ScanLine(0);
    for (int y = 0; y < height; ++y, src += dithered.RowStep(), dst += result.RowStep())
      for (int x = 0; x < width; ++x) {
        const std::uint8_t* c = src + 3 * x;
        std::uint8_t index = median_cut.ColorIndex(ColorOf(c));
        const TRGBQuad& shown = palette[index];
        if (shown.blue != c[0] || shown.green != c[1] || shown.red != c[2]) {
          auto found = entry_of.find(ColorOf(c));
          if (found != entry_of.end()) index = found->second;
        }
        dst[x] = index;
      }
  }
  return result;
}

}  // namespace qv
