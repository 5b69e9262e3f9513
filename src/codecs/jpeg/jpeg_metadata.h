// The metadata segments of a JPEG stream: the EXIF block (APP1 "Exif") and the ICC colour
// profile (APP2 "ICC_PROFILE", possibly in several pieces). Read from one stream, written into
// another.
#pragma once

#include <cstdint>
#include <vector>

namespace qv {

struct TJpegMetadata {
  // The EXIF block as TIFF data (from its "II"/"MM" byte-order mark on), or empty.
  std::vector<std::uint8_t> exif;
  // The whole ICC profile, its pieces joined in sequence order, or empty.
  std::vector<std::uint8_t> icc_profile;
};

// The metadata of a JPEG stream, from the segments before its first scan. The first EXIF block
// counts; an ICC profile with a missing, repeated or inconsistent piece is left out. A stream
// that is no JPEG, or is cut short, gives what was found before the damage.
TJpegMetadata ReadJpegMetadata(const std::vector<std::uint8_t>& jpeg);

// The stream with the metadata's segments inserted after its start-of-image marker and any
// application segments that lead it (the JFIF marker): the EXIF block in one APP1 segment (left
// out when over the 65527 bytes a segment holds), the profile in APP2 pieces of at most 65519
// bytes (left out beyond 255 pieces). A stream that does not start with the start-of-image
// marker is returned unchanged.
std::vector<std::uint8_t> InsertJpegMetadata(const std::vector<std::uint8_t>& jpeg,
                                             const TJpegMetadata& metadata);

}  // namespace qv
