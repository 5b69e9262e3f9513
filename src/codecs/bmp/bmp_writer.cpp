// Writing a Raster image as a Windows bitmap (.bmp) file.
#include "codecs/bmp/bmp_writer.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "codecs/bmp/bmp_format.h"
#include "imaging/bitmap.h"
#include "runtime/exceptions.h"
#include "runtime/stream.h"

namespace qv {

namespace {

// The layout the file gets: header kind, compression, masks and colour table.
struct BmpLayout {
  bool core = false;
  int bits = 32;
  std::uint32_t compression = bmp::kCompressionNone;
  std::uint32_t masks[3] = {0, 0, 0};
  std::vector<TRGBQuad> table;
  std::uint64_t row_size = 0;
  std::uint64_t pixel_bytes = 0;
};

std::uint32_t CompressionOf(const TBitmap& image) {
  const TDibInfo& dib = image.DibInfo();
  switch (image.PixelFormat()) {
    case TPixelFormat::pf16bit:
    case TPixelFormat::pfCustom: return bmp::kCompressionBitFields;
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf32bit:
      return dib.compression == bmp::kCompressionBitFields ? bmp::kCompressionBitFields
                                                           : bmp::kCompressionNone;
    default: return bmp::kCompressionNone;  // palette formats, 24 bits, the display's format
  }
}

// The colour table: the image's own (palette up to 8 bits, the file's table above), limited by
// colours-used; an image of more bits without one passes its palette.
std::vector<TRGBQuad> TableOf(const TBitmap& image, int bits) {
  const TDibInfo& dib = image.DibInfo();
  std::vector<TRGBQuad> table;
  if (bits <= 8) {
    table = image.Palette();
    // A palette image needs a table: without one a reader would take 2^bits entries of pixels.
    if (table.empty()) {
      TBitmap defaults;
      defaults.Allocate(0, 0, image.PixelFormat());
      table = defaults.Palette();
    }
    table.resize(std::min<std::size_t>(table.size(), std::size_t{1} << bits));
  } else {
    table = dib.color_table;
    if (table.empty() && !dib.core_header) table = image.Palette();
  }
  if (table.size() > 256) table.resize(256);
  if (dib.colors_used != 0 && dib.colors_used < table.size()) table.resize(dib.colors_used);
  return table;
}

BmpLayout LayoutOf(const TBitmap& image) {
  BmpLayout layout;
  layout.bits = image.BitsPerPixel() > 0 ? image.BitsPerPixel() : 32;
  layout.compression = CompressionOf(image);
  if (layout.compression == bmp::kCompressionBitFields) {
    const TDibInfo& dib = image.DibInfo();
    std::copy(dib.masks, dib.masks + 3, layout.masks);
    if (layout.masks[0] == 0) {
      if (layout.bits == 16) {
        layout.masks[0] = 0xF800, layout.masks[1] = 0x07E0, layout.masks[2] = 0x001F;
      } else {
        layout.masks[0] = 0xFF0000, layout.masks[1] = 0x00FF00, layout.masks[2] = 0x0000FF;
      }
    }
  }
  layout.table = TableOf(image, layout.bits);
  // A core header holds 16-bit sizes and no compression; anything else gets a 40-byte header.
  const int bits = layout.bits;
  layout.core = image.DibInfo().core_header && layout.compression == bmp::kCompressionNone &&
                image.Width() <= 0xFFFF && image.Height() <= 0xFFFF &&
                (bits == 1 || bits == 4 || bits == 8 || bits == 24);
  layout.row_size = bmp::StoredRowSize(static_cast<std::uint64_t>(image.Width()),
                                       static_cast<std::uint64_t>(layout.bits));
  layout.pixel_bytes = layout.row_size * static_cast<std::uint64_t>(image.Height());
  return layout;
}

std::vector<std::uint8_t> Headers(const TBitmap& image, const BmpLayout& layout) {
  const TDibInfo& dib = image.DibInfo();
  std::uint32_t info_size = layout.core ? bmp::kCoreHeaderSize : bmp::kInfoHeaderSize;
  std::uint32_t mask_bytes = layout.compression == bmp::kCompressionBitFields ? 12 : 0;
  std::uint32_t table_bytes =
      static_cast<std::uint32_t>(layout.table.size()) * (layout.core ? 3 : 4);
  std::uint32_t offset =
      static_cast<std::uint32_t>(bmp::kFileHeaderSize) + info_size + mask_bytes + table_bytes;
  std::vector<std::uint8_t> out;
  out.reserve(offset);
  bmp::WriteU16Le(out, bmp::kSignature);
  bmp::WriteU32Le(out, static_cast<std::uint32_t>(offset + layout.pixel_bytes));
  bmp::WriteU32Le(out, 0);  // two reserved 16-bit fields
  bmp::WriteU32Le(out, offset);
  bmp::WriteU32Le(out, info_size);
  if (layout.core) {
    bmp::WriteU16Le(out, static_cast<std::uint32_t>(image.Width()));
    bmp::WriteU16Le(out, static_cast<std::uint32_t>(image.Height()));
    bmp::WriteU16Le(out, 1);
    bmp::WriteU16Le(out, static_cast<std::uint32_t>(layout.bits));
    for (const TRGBQuad& entry : layout.table) {
      out.push_back(entry.blue), out.push_back(entry.green), out.push_back(entry.red);
    }
    return out;
  }
  std::uint32_t colors_used = static_cast<std::uint32_t>(layout.table.size());
  bmp::WriteU32Le(out, static_cast<std::uint32_t>(image.Width()));
  bmp::WriteU32Le(out, static_cast<std::uint32_t>(image.Height()));  // rows go out bottom-up
  bmp::WriteU16Le(out, 1);
  bmp::WriteU16Le(out, static_cast<std::uint32_t>(layout.bits));
  bmp::WriteU32Le(out, layout.compression);
  bmp::WriteU32Le(out, static_cast<std::uint32_t>(layout.pixel_bytes));
  bmp::WriteU32Le(out, static_cast<std::uint32_t>(dib.x_pels_per_meter));
  bmp::WriteU32Le(out, static_cast<std::uint32_t>(dib.y_pels_per_meter));
  bmp::WriteU32Le(out, colors_used);
  bmp::WriteU32Le(out, dib.colors_important <= colors_used ? dib.colors_important : 0);
  if (mask_bytes != 0)
    for (std::uint32_t mask : layout.masks) bmp::WriteU32Le(out, mask);
  for (const TRGBQuad& entry : layout.table) {
    out.push_back(entry.blue), out.push_back(entry.green), out.push_back(entry.red);
    out.push_back(entry.reserved);
  }
  return out;
}

}  // namespace

void WriteBitmap(const TBitmap& image, TStream& stream) {
  const TDibInfo& dib = image.DibInfo();
  if (!dib.retained_file.empty()) {
    stream.WriteBuffer(dib.retained_file.data(), dib.retained_file.size());
    return;
  }
  BmpLayout layout = LayoutOf(image);
  stream.WriteBuffer(Headers(image, layout));
  if (image.Empty()) return;
  // Rows bottom-up, the bits past the last pixel of each row cleared.
  std::size_t row_size = static_cast<std::size_t>(layout.row_size);
  std::size_t used_bits =
      static_cast<std::size_t>(image.Width()) * static_cast<std::size_t>(layout.bits);
  std::vector<std::uint8_t> row(row_size);
  for (int y = image.Height() - 1; y >= 0; --y) {
    std::memcpy(row.data(), image.ScanLine(y), row_size);
    std::size_t full = used_bits / 8;
    if (used_bits % 8 != 0) {
      row[full] &= static_cast<std::uint8_t>(0xFF00 >> (used_bits % 8));
      ++full;
    }
    std::fill(row.begin() + static_cast<std::ptrdiff_t>(full), row.end(), 0);
    stream.WriteBuffer(row.data(), row_size);
  }
}

}  // namespace qv
