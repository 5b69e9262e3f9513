// Writing a Raster image as a Windows bitmap (.bmp) file.
#pragma once

namespace qv {

class TBitmap;
class TStream;

// Writes image as one BMP: the retained file bytes of an unchanged run-length file as they were;
// else a 40-byte header (a 12-byte core header for an image read from a core-header file, while
// its layout fits one), the bit-field masks for 16-bit (5-6-5), custom and bit-field images, the
// colour table (the palette of 1, 4 and 8-bit images, at most 2^bits entries), and the rows
// bottom-up with zero padding. An image of the display's format is written as 32 bits.
// Throws EWriteError when the stream refuses bytes.
void WriteBitmap(const TBitmap& image, TStream& stream);

}  // namespace qv
