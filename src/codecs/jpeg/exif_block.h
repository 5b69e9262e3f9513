// Reading and editing an EXIF block (TIFF data, as a JPEG's APP1 segment or a PNG's eXIf chunk
// holds it).
#pragma once

#include <cstdint>
#include <vector>

#include "runtime/translation.h"

namespace qv {

// The Orientation tag of the block's first image (1 to 8), or 0 when the block cannot be read,
// has no such tag, or holds a value outside 1 to 8.
int ExifOrientation(const std::vector<std::uint8_t>& exif);

// The most bytes a block may have: what a JPEG's APP1 segment holds after its "Exif" header.
inline constexpr std::size_t kMaxExifBytes = 65527;

// What a picture's new output changes in its block.
struct TExifChanges {
  bool reset_orientation = false;  // the pixels were turned upright: every Orientation reads 1
  bool drop_thumbnail = false;     // the pixels were turned or resized: the thumbnail goes
  int width = 0;                   // the picture's new size, for the tags that tell it
  int height = 0;
};

// Why a block was left out.
inline constexpr char kExifNotTiff[] = N_("the block is not TIFF data");
inline constexpr char kExifTooLarge[] = N_("the block is larger than a JPEG segment holds");
inline constexpr char kExifOrientationFixed[] = N_("its orientation cannot be reset");

struct TEditedExif {
  std::vector<std::uint8_t> block;  // empty when left out
  const char* left_out = nullptr;   // why it was left out (a text to translate), or none
};

// The block with the changes made in place, byte for byte as it was otherwise, so that the data
// maker notes point to by offset stays where it was: the Orientation tags of IFD0, the Exif,
// GPS and Interoperability IFDs and IFD1 read 1 with reset_orientation; ImageWidth and
// ImageLength of IFD0 and the Exif IFD's PixelXDimension and PixelYDimension give the new size
// (where the tag's format can hold it); with drop_thumbnail IFD0's link to IFD1 is cut. A link to
// an IFD already met (an IFD that would be read twice, as one that loops back to IFD0) is cut
// too: the entry pointing to it is taken out of its IFD. A block that is not TIFF data libexif
// reads (kExifNotTiff), is longer than kMaxExifBytes (kExifTooLarge), or whose orientation has
// to be reset and cannot be (kExifOrientationFixed) is left out.
TEditedExif EditExif(const std::vector<std::uint8_t>& exif, const TExifChanges& changes);

}  // namespace qv
