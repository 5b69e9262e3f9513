// Writing a Raster image as a Windows bitmap (.bmp) file.
#pragma once

namespace qv {

class TBitmap;
class TStream;

// Writes image as one BMP (the retained file bytes of an unchanged run-length file, else the
// image's own layout). Throws EWriteError when the stream refuses bytes.
void WriteBitmap(const TBitmap& image, TStream& stream);

}  // namespace qv
