// Building the PNG header's internal image within the reader size limits.
#include "codecs/png/png_internal_image.h"

#include "imaging/image_limits.h"

namespace qv {

int InternalBitsFor(int colour_type, int bit_depth) {
  switch (colour_type) {
    case 0:
      if (bit_depth == 1 || bit_depth == 4 || bit_depth == 8) return bit_depth;
      if (bit_depth == 2) return 4;
      if (bit_depth == 16) return 8;
      return 0;
    case 3:
      if (bit_depth == 1 || bit_depth == 4 || bit_depth == 8) return bit_depth;
      if (bit_depth == 2) return 4;
      return 0;
    case 4:
      if (bit_depth == 8 || bit_depth == 16) return 8;
      return 0;
    case 2:
    case 6:
      if (bit_depth == 8 || bit_depth == 16) return 24;
      return 0;
    default: return 0;
  }
}

void TPngInternalImage::Build(int new_width, int new_height, int new_bits, bool with_alpha,
                              bool hold_one_row) {
  Clear();
  CheckImageSize(new_width, new_height, new_bits);
  std::size_t new_row = RowSizeFor(new_width, new_bits);
  std::uint64_t total = std::uint64_t{new_row} * static_cast<std::uint64_t>(new_height);
  if (with_alpha)
    total += static_cast<std::uint64_t>(new_width) * static_cast<std::uint64_t>(new_height);
  CheckDecodedBytes(total);
  const int held = hold_one_row ? 1 : new_height;
  pixels.Allocate(new_width, held,
                  new_bits == 1   ? TPixelFormat::pf1bit
                  : new_bits == 4 ? TPixelFormat::pf4bit
                  : new_bits == 8 ? TPixelFormat::pf8bit
                                  : TPixelFormat::pf24bit);
  if (with_alpha) alpha.assign(static_cast<std::size_t>(new_width) * held, 0);
  width = new_width;
  height = new_height;
  bits = new_bits;
  row_size = new_row;
  one_row = hold_one_row;
}

void TPngInternalImage::HoldAllRows() {
  if (!one_row) return;
  const std::array<TRGBQuad, 256> kept = colors;
  Build(width, height, bits, !alpha.empty());
  colors = kept;
}

void TPngInternalImage::Clear() {
  width = height = bits = 0;
  row_size = 0;
  one_row = false;
  pixels = TBitmap();
  alpha.clear();
  alpha.shrink_to_fit();
  colors.fill(TRGBQuad{});
}

}  // namespace qv
