// Reading Windows bitmap (.bmp) files into a Raster image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace qv {

class TBitmap;
class TStream;

// Reads one BMP from the stream's position to its end into image, replacing what it held.
// - Zero bytes, or a width or height of 0, give an empty image.
// - Headers: 12-byte core headers (remembered, so an unchanged image is written back as core)
//   and 40-byte or larger ones; the file header's pixel offset is not used: the pixels follow
//   the colour table (or the masks).
// - 1, 4, 8 and 24 bits keep their format; 16 bits is 5-5-5 (pf15bit) or, with bit fields,
//   pf16bit / pf15bit for the two usual mask sets; 32 bits is pf32bit; other masks give pfCustom.
// - RLE8 / RLE4 files are decoded into the display's format (pfDevice, 32 bits) with the colour
//   table as palette; pixels no run reaches show palette entry 0. The whole file is kept as the
//   retained file bytes, written back unchanged while the image is not changed.
// Throws EInvalidGraphic "ビットマップイメージが不正です" (wrong signature, planes other than 1,
// bits per pixel or compression not handled, negative width, top-down or malformed run-length
// data, or a run-length picture far larger than its data), EReadError when the stream ends in
// the headers, the colour table or the pixel rows, and EOutOfMemory (CheckImageSize) for
// pictures beyond the size limits. Nothing is allocated beyond what the file's bytes can fill;
// image is unchanged on failure.
void ReadBitmap(TBitmap& image, TStream& stream);

// Takes a picture's rows top to bottom as 24-bit pixels (blue, green, red): count rows, step
// bytes apart (negative for rows stored bottom-up).
using TBmpRowSink = std::function<void(const std::uint8_t* rows, std::ptrdiff_t step, int count)>;

// As ReadBitmap, except that an uncompressed picture (not run-length) of at least one pixel asks
// choose_sink for a sink with its size and its bits per pixel. Given one, the rows go to it a band
// at a time as they are read (those of a bottom-up file by seeking), converted to 24 bits as
// TBitmap's SetPixelFormat converts them, and image becomes a one-row picture of the file's pixel
// format, palette and fields, its pixels not the picture's; the call then returns true. It fails as
// ReadBitmap fails, before any row goes on.
bool ReadBitmapRows(TBitmap& image, TStream& stream,
                    const std::function<TBmpRowSink(int width, int height, int bits)>& choose_sink);

}  // namespace qv
