// Converting a Raster image's colours to sRGB.
#include "colour/picture_colour.h"

#include "colour/colour_transforms.h"
#include "imaging/bitmap.h"

namespace qv {

namespace {

// Applies the transform to count pixels of the layout in place; a grey table goes over each of
// blue, green and red of pixels of step bytes.
void ApplyInPlace(const TColourTransform& transform, std::uint8_t* pixels, std::size_t count,
                  std::size_t step) {
  if (transform.Layout() != TPixelLayout::kGrey8) {
    transform.Apply(pixels, pixels, count);
    return;
  }
  if (step == 3) {
    transform.Apply(pixels, pixels, 3 * count);
    return;
  }
  for (std::size_t i = 0; i < count; ++i, pixels += step) transform.Apply(pixels, pixels, 3);
}

}  // namespace

void ConvertToSrgb(TBitmap& picture, TColourTransforms& transforms,
                   const std::vector<std::uint8_t>& profile) {
  const bool grey = transforms.Profile(profile)->Space() == TColourSpace::kGrey;
  const TPixelFormat format = picture.PixelFormat();
  const bool indexed = format == TPixelFormat::pf1bit || format == TPixelFormat::pf4bit ||
                       format == TPixelFormat::pf8bit;
  const bool four_bytes =
      indexed || format == TPixelFormat::pf32bit || format == TPixelFormat::pfDevice;
  const auto transform = transforms.ToSrgb(profile, grey         ? TPixelLayout::kGrey8
                                                    : four_bytes ? TPixelLayout::kBgra8
                                                                 : TPixelLayout::kBgr8);
  if (indexed) {
    std::vector<TRGBQuad> palette = picture.Palette();
    ApplyInPlace(*transform, reinterpret_cast<std::uint8_t*>(palette.data()), palette.size(), 4);
    picture.SetPalette(std::move(palette));
  } else {
    if (!four_bytes && format != TPixelFormat::pf24bit)
      picture.SetPixelFormat(TPixelFormat::pf24bit);
    const std::size_t step = four_bytes ? 4 : 3;
    const auto width = static_cast<std::size_t>(picture.Width());
    for (int y = 0; y < picture.Height(); ++y)
      ApplyInPlace(*transform, picture.ScanLine(y), width, step);
  }
  if (picture.Transparent()) {
    TRGBQuad colour = picture.TransparentColor();
    ApplyInPlace(*transform, reinterpret_cast<std::uint8_t*>(&colour), 1, 4);
    picture.SetTransparent(true, colour);
  }
}

}  // namespace qv
