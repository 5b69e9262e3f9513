// Reading and editing an EXIF block (TIFF data, as a JPEG's APP1 segment or a PNG's eXIf chunk
// holds it) through libexif.
#pragma once

#include <cstdint>
#include <vector>

namespace qv {

// The Orientation tag of the block's first image (1 to 8), or 0 when the block cannot be read,
// has no such tag, or holds a value outside 1 to 8.
int ExifOrientation(const std::vector<std::uint8_t>& exif);

// The block rewritten for a picture now width x height pixels: with orientation_reset, an
// Orientation tag reads 1 (normal); the pixel dimensions and image width and length tags that
// the block holds give the new size. Every other tag is kept as it was. A block libexif cannot
// read comes back unchanged, or empty with orientation_reset (an orientation it cannot reset
// would turn the upright picture again).
std::vector<std::uint8_t> EditExif(const std::vector<std::uint8_t>& exif, bool orientation_reset,
                                   int width, int height);

}  // namespace qv
