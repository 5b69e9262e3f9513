// Copies a plug-in's device-independent bitmap into a Raster image after checking every field.
#include "codecs/plugin_host/spi_dib_copy.h"

#include <bit>
#include <cstring>
#include <limits>
#include <vector>

#include "codecs/bmp/bmp_format.h"
#include "imaging/bitmap.h"
#include "imaging/image_limits.h"
#include "runtime/exceptions.h"
#include "runtime/messages.h"
#include "runtime/translation.h"

namespace qv {

namespace {

[[noreturn]] void Invalid() { throw EInvalidGraphic(Tr(messages::kInvalidBitmap)); }

// A mask is usable when its bits are one run inside the pixel's bits (zero reads as 0).
bool UsableMask(std::uint32_t mask, int bits) {
  if (mask == 0) return true;
  if (bits == 16 && mask > 0xFFFF) return false;
  std::uint32_t run = mask >> std::countr_zero(mask);
  return (run & (run + 1)) == 0;
}

struct DibLayout {
  int width = 0;
  int height = 0;  // magnitude
  bool top_down = false;
  int bits = 0;
  TPixelFormat format = TPixelFormat::pf24bit;
  bool custom_masks = false;
  std::uint32_t masks[3] = {0, 0, 0};
  std::vector<TRGBQuad> palette;
  std::size_t row_size = 0;
};

DibLayout ReadLayout(std::span<const std::uint8_t> info, std::size_t pixel_bytes) {
  if (info.size() < bmp::kInfoHeaderSize) Invalid();
  DibLayout layout;
  bmp::TInfoHeader header = bmp::ReadInfoHeader(info);
  std::uint32_t header_size = header.header_size;
  if (header_size < bmp::kInfoHeaderSize || header_size > info.size()) Invalid();
  std::int32_t width = header.width;
  std::int32_t height = header.height;
  layout.bits = header.bits;
  std::uint32_t compression = header.compression;
  std::uint32_t colors_used = header.colors_used;

  if (width <= 0 || height == 0 || height == std::numeric_limits<std::int32_t>::min()) Invalid();
  layout.width = width;
  layout.top_down = height < 0;
  layout.height = height < 0 ? -height : height;
  if (!bmp::IsPixelDepth(layout.bits)) Invalid();
  if (compression != bmp::kCompressionNone &&
      !(compression == bmp::kCompressionBitFields && (layout.bits == 16 || layout.bits == 32)))
    Invalid();
  CheckImageSize(layout.width, layout.height, layout.bits);

  std::size_t table_at = header_size;
  if (compression == bmp::kCompressionBitFields) {
    // The masks follow a 40-byte header and sit inside the larger header versions.
    if (!header.has_masks) {
      if (info.size() < bmp::kHeaderWithMasksSize) Invalid();
      bmp::ReadMasks(info.data() + bmp::kInfoHeaderSize, header.masks);
    }
    for (int i = 0; i < 3; ++i) {
      layout.masks[i] = header.masks[i];
      if (!UsableMask(layout.masks[i], layout.bits)) Invalid();
    }
    if (header_size == bmp::kInfoHeaderSize) table_at += 12;
  }

  if (layout.bits <= 8) {
    std::uint32_t full = 1u << layout.bits;
    std::uint32_t colors = colors_used == 0 ? full : colors_used;
    if (colors > full) Invalid();
    if (table_at > info.size() || (info.size() - table_at) / 4 < colors) Invalid();
    layout.palette.resize(colors);
    for (std::uint32_t i = 0; i < colors; ++i) {
      const std::uint8_t *entry = info.data() + table_at + 4 * static_cast<std::size_t>(i);
      layout.palette[i] = {entry[0], entry[1], entry[2], 0};
    }
    layout.format = layout.bits == 1   ? TPixelFormat::pf1bit
                    : layout.bits == 4 ? TPixelFormat::pf4bit
                                       : TPixelFormat::pf8bit;
  } else if (layout.bits == 16) {
    bool bit_fields = compression == bmp::kCompressionBitFields;
    if (!bit_fields ||
        (layout.masks[0] == 0x7C00 && layout.masks[1] == 0x03E0 && layout.masks[2] == 0x001F)) {
      layout.format = TPixelFormat::pf15bit;
    } else if (layout.masks[0] == 0xF800 && layout.masks[1] == 0x07E0 &&
               layout.masks[2] == 0x001F) {
      layout.format = TPixelFormat::pf16bit;
    } else {
      layout.format = TPixelFormat::pfCustom;
      layout.custom_masks = true;
    }
  } else if (layout.bits == 24) {
    layout.format = TPixelFormat::pf24bit;
  } else {
    bool bit_fields = compression == bmp::kCompressionBitFields;
    if (!bit_fields || (layout.masks[0] == 0xFF0000 && layout.masks[1] == 0x00FF00 &&
                        layout.masks[2] == 0x0000FF)) {
      layout.format = TPixelFormat::pf32bit;
    } else {
      layout.format = TPixelFormat::pfCustom;
      layout.custom_masks = true;
    }
  }

  layout.row_size = RowSizeFor(layout.width, layout.bits);
  if (pixel_bytes / layout.row_size < static_cast<std::size_t>(layout.height)) Invalid();
  return layout;
}

}  // namespace

void CopyPluginDib(std::span<const std::uint8_t> info, std::span<const std::uint8_t> pixels,
                   TBitmap &image) {
  DibLayout layout = ReadLayout(info, pixels.size());

  TBitmap decoded;
  decoded.Allocate(layout.width, layout.height, layout.format, false,
                   layout.format == TPixelFormat::pfCustom ? layout.bits : 0);
  if (layout.bits <= 8) decoded.SetPalette(layout.palette);
  if (layout.custom_masks) {
    TDibInfo &dib = decoded.MutableDibInfo();
    dib.compression = bmp::kCompressionBitFields;
    std::memcpy(dib.masks, layout.masks, sizeof dib.masks);
  }
  // The new image is bottom-up: memory row r holds picture row height - 1 - r.
  std::uint8_t *bits = decoded.Bits();
  if (!layout.top_down) {
    std::memcpy(bits, pixels.data(), layout.row_size * static_cast<std::size_t>(layout.height));
  } else {
    for (int y = 0; y < layout.height; ++y)
      std::memcpy(bits + static_cast<std::size_t>(layout.height - 1 - y) * layout.row_size,
                  pixels.data() + static_cast<std::size_t>(y) * layout.row_size, layout.row_size);
  }

  // The device format (what a fresh image has) asks for nothing: the picture keeps the block's
  // own depth, so a 1-bit picture stays 1 bit instead of four bytes a pixel.
  TPixelFormat wanted = image.PixelFormat();
  if (wanted != TPixelFormat::pfCustom && wanted != TPixelFormat::pfDevice &&
      wanted != decoded.PixelFormat())
    decoded.SetPixelFormat(wanted);
  image.Assign(&decoded);
}

}  // namespace qv
