// The Raster image: a device-independent bitmap with directly addressable, bottom-up rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/pixel_buffer.h"

namespace qv {

enum class TPixelFormat {
  pfDevice,
  pf1bit,
  pf4bit,
  pf8bit,
  pf15bit,
  pf16bit,
  pf24bit,
  pf32bit,
  pfCustom
};

// One palette or colour-table entry, in the file order blue, green, red, reserved.
struct TRGBQuad {
  std::uint8_t blue = 0;
  std::uint8_t green = 0;
  std::uint8_t red = 0;
  std::uint8_t reserved = 0;
  friend bool operator==(const TRGBQuad&, const TRGBQuad&) = default;
};
static_assert(sizeof(TRGBQuad) == 4);

// What a BMP file said about itself beyond size, format and palette, kept with the image so an
// unchanged image is written back as it was read.
struct TDibInfo {
  bool core_header = false;            // read from a 12-byte core header
  std::uint32_t compression = 0;       // 0 plain rows, 3 bit fields (pixel buffer layout)
  std::uint32_t masks[3] = {0, 0, 0};  // red, green, blue bit fields for compression 3
  std::int32_t x_pels_per_meter = 0;
  std::int32_t y_pels_per_meter = 0;
  std::uint32_t colors_used = 0;
  std::uint32_t colors_important = 0;
  std::vector<TRGBQuad> color_table;  // a colour table of a file with more than 8 bits per pixel
  std::vector<std::uint8_t>
      retained_file;  // whole file of a run-length file, written back unchanged
};

// Bits per pixel of a format's buffer (device-dependent images are kept at 32 bits, the depth of
// today's displays; custom is 0).
int BitsPerPixel(TPixelFormat format);

// Bytes of one row: ((width x bits + 31) AND NOT 31) / 8.
std::size_t RowSizeFor(int width, int bits_per_pixel);

// The 16 colours of the system palette and the 256-entry halftone palette used for 8-bit images.
const std::vector<TRGBQuad>& SystemPalette16();
const std::vector<TRGBQuad>& HalftonePalette256();

class TBitmap {
 public:
  TBitmap();
  // Copies share the pixel buffer and palette until one of them changes or exposes its pixels.
  TBitmap(const TBitmap&) = default;
  TBitmap& operator=(const TBitmap&) = default;
  TBitmap(TBitmap&&) noexcept = default;
  TBitmap& operator=(TBitmap&&) noexcept = default;

  int Width() const;
  int Height() const;
  // Re-create the buffer at the new size; pixels stay at the top-left, new pixels are white (the
  // palette entry nearest white for palette formats). Negative values count as 0; the current
  // size does nothing. Throws EOutOfMemory (image unchanged) when the buffer cannot be had.
  void SetWidth(int width);
  void SetHeight(int height);
  void SetSize(int width, int height);

  TPixelFormat PixelFormat() const;
  int BitsPerPixel() const;
  // Converts the pixels into the new format (8 bits through HalftonePalette256, 4 bits through
  // SystemPalette16, 1 bit through black and white, nearest colour). The current format does
  // nothing. Custom throws EInvalidGraphicOperation "画像フォーマットが不正です"; EOutOfMemory
  // leaves the image unchanged. File information is reset (16 bits becomes 5-6-5 bit fields).
  void SetPixelFormat(TPixelFormat format);

  // Bytes per row (padded to 4 bytes).
  std::size_t RowSize() const;
  // Address of row y + 1 minus address of row y: minus the row size for bottom-up images.
  std::ptrdiff_t RowStep() const;
  bool TopDown() const;
  // Address of row y (0 is the top row). Throws EInvalidGraphicOperation
  // "スキャンライン のインデックスが範囲を越えました" when y < 0 or y >= height.
  // The non-const form gives this image a private buffer first and counts as a change.
  std::uint8_t* ScanLine(int y);
  const std::uint8_t* ScanLine(int y) const;

  // Palette of a 1, 4 or 8-bit image; images of more bits have one only when a file or a caller
  // gave it.
  const std::vector<TRGBQuad>& Palette() const;
  void SetPalette(std::vector<TRGBQuad> palette);

  // Becomes a copy of source; nullptr makes this image empty.
  void Assign(const TBitmap* source);
  // True when the image has no pixel buffer.
  bool Empty() const;
  // Makes the image empty (width and height 0, format kept, the format's default palette).
  void Clear();

  // Single-colour transparency, set when the image was read from a PNG with one transparent
  // colour; copies carry it, and a PNG writer writes it back.
  bool Transparent() const;
  TRGBQuad TransparentColor() const;
  void SetTransparent(bool transparent, TRGBQuad color = {});

  // For codecs: a new buffer of the given size and format, every byte zero, memory order top-down
  // when top_down is set (as a BMP with negative height). The palette becomes the format's
  // default (black and white, the 16 system colours, the halftone palette; none above 8 bits)
  // and the file information is reset (16 bits: 5-6-5 bit fields). A custom format needs
  // custom_bits 16 or 32 (else EInvalidGraphicOperation) and its masks set through MutableDibInfo.
  // Throws EOutOfMemory, before allocating, for a buffer beyond kMaxDecodedBytes (image_limits.h).
  void Allocate(int width, int height, TPixelFormat format, bool top_down = false,
                int custom_bits = 0);
  // The whole buffer in memory order (first byte is the bottom row unless top-down).
  std::uint8_t* Bits();
  const std::uint8_t* Bits() const;
  std::size_t BitsSize() const;

  // File information from the BMP reader; the mutable form discards nothing by itself. Any
  // change of pixels, palette, size or format (including non-const ScanLine and Bits) discards
  // the retained file bytes and resets colours-used and colours-important.
  const TDibInfo& DibInfo() const;
  TDibInfo& MutableDibInfo();

 private:
  struct Data;
  Data& Unshare(bool keep_retained_file);  // private copy when shared
  Data& Mutable();                         // private copy, retained file bytes discarded
  // Installs a new buffer built from this image's data (the last step of a size/format change).
  void Replace(TPixelBuffer pixels, int width, int height, TPixelFormat format, int bits,
               std::vector<TRGBQuad> palette, bool reset_dib);
  std::shared_ptr<Data> data_;
};

}  // namespace qv
