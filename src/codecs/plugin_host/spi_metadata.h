// What a plug-in tells of the picture it decoded, read from the metadata block its optional
// GetPictureMetadata hands over (records of kinds, see plugins/include/spi.h).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace qv {

struct TPluginMetadata {
  // The EXIF block as TIFF data (from its "II"/"MM" byte-order mark on), or empty.
  std::vector<std::uint8_t> exif;
  // The ICC profile of the pixels handed over, or empty.
  std::vector<std::uint8_t> icc_profile;
  // The XMP packet (UTF-8), or empty.
  std::vector<std::uint8_t> xmp;
  // The file's own orientation (1 to 8, as EXIF numbers them) that the plug-in has already turned
  // the picture by, or 0 when the file states none: then an EXIF orientation is the only one, not
  // yet applied. With an orientation of the file's own, EXIF's must not turn the picture again.
  int orientation = 0;

  bool Empty() const {
    return exif.empty() && icc_profile.empty() && xmp.empty() && orientation == 0;
  }
};

// The records of a metadata block. A record of an unknown kind is skipped; one that passes the
// block's end ends the reading (the records before it count); the first record of each kind
// counts; an orientation record that is not 4 bytes of 1 to 8 is ignored, as is an EXIF block
// that does not start with a byte-order mark.
TPluginMetadata ParsePluginMetadata(std::span<const std::uint8_t> block);

}  // namespace qv
