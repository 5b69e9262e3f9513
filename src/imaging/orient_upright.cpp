// Orientation by whole pixels: every output pixel is copied from the source pixel it shows.
#include "imaging/orient_upright.h"

#include <cstring>

#include "imaging/bitmap.h"

namespace qv {

bool TurnsPicture(int orientation) { return orientation >= 2 && orientation <= 8; }

bool SwapsSides(int orientation) { return orientation >= 5 && orientation <= 8; }

int UprightRotation(int orientation) {
  switch (orientation) {
    case 3: return 180;
    case 6: return 90;
    case 8: return 270;
    case 2:
    case 4:
    case 5:
    case 7: return -1;
    default: return 0;
  }
}

void OrientUpright(TBitmap& image, int orientation) {
  if (!TurnsPicture(orientation) || image.Empty()) return;
  // Whole pixels of 1, 3 or 4 bytes; packed, 16-bit and bit-field formats become 24 bits.
  const TPixelFormat format = image.PixelFormat();
  if (format != TPixelFormat::pf8bit && format != TPixelFormat::pf24bit &&
      format != TPixelFormat::pf32bit)
    image.SetPixelFormat(TPixelFormat::pf24bit);
  const int width = image.Width(), height = image.Height();
  const std::size_t bytes = static_cast<std::size_t>(image.BitsPerPixel() / 8);
  const bool swap = SwapsSides(orientation);
  const int out_width = swap ? height : width, out_height = swap ? width : height;

  TBitmap turned;
  turned.Allocate(out_width, out_height, image.PixelFormat());
  if (!image.Palette().empty()) turned.SetPalette(image.Palette());
  turned.SetTransparent(image.Transparent(), image.TransparentColor());

  for (int y = 0; y < out_height; ++y) {
    std::uint8_t* out = turned.ScanLine(y);
    for (int x = 0; x < out_width; ++x) {
      int sx = x, sy = y;  // the source pixel shown at (x, y), rows counted from the top
      switch (orientation) {
        case 2: sx = width - 1 - x; break;
        case 3: sx = width - 1 - x, sy = height - 1 - y; break;
        case 4: sy = height - 1 - y; break;
        case 5: sx = y, sy = x; break;
        case 6: sx = y, sy = height - 1 - x; break;
        case 7: sx = width - 1 - y, sy = height - 1 - x; break;
        case 8: sx = width - 1 - y, sy = x; break;
      }
      std::memcpy(out + bytes * static_cast<std::size_t>(x),
                  image.ScanLine(sy) + bytes * static_cast<std::size_t>(sx), bytes);
    }
  }
  image = std::move(turned);
}

}  // namespace qv
