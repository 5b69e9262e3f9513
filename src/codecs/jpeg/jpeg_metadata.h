// The metadata segments of a JPEG stream: the EXIF block (APP1 "Exif"), the ICC colour profile
// (APP2 "ICC_PROFILE", possibly in several pieces), the XMP packet (APP1, with extended XMP in
// further APP1 segments) and the IPTC data (APP13 "Photoshop 3.0"). Read from one stream, written
// into another.
#pragma once

#include <cstdint>
#include <vector>

namespace qv {

struct TJpegMetadata {
  // The EXIF block as TIFF data (from its "II"/"MM" byte-order mark on), or empty.
  std::vector<std::uint8_t> exif{};
  // The whole ICC profile, its pieces joined in sequence order, or empty.
  std::vector<std::uint8_t> icc_profile{};
  // The XMP packet (the text after the segment's namespace name), or empty.
  std::vector<std::uint8_t> xmp{};
  // Extended XMP: each segment's data after its namespace name (the packet's GUID, its full
  // length, the portion's offset and the portion), in file order.
  std::vector<std::vector<std::uint8_t>> xmp_extension{};
  // The APP13 "Photoshop 3.0" segments (Photoshop image resources, IPTC among them), each's data
  // after that name, in file order.
  std::vector<std::vector<std::uint8_t>> photoshop{};
};

// The metadata of a JPEG stream, from the segments before its first scan. The first EXIF block
// counts; an ICC profile with a missing, repeated or inconsistent piece is left out. A stream
// that is no JPEG, or is cut short, gives what was found before the damage.
TJpegMetadata ReadJpegMetadata(const std::vector<std::uint8_t>& jpeg);

// The stream with the metadata's segments inserted after its start-of-image marker and any
// application segments that lead it (the JFIF marker): the EXIF block in one APP1 segment (left
// out when over the 65527 bytes a segment holds), the XMP packet in one APP1 segment (left out
// over 65504 bytes) followed by the extended XMP segments, the profile in APP2 pieces of at most
// 65519 bytes (left out beyond 255 pieces), then the APP13 segments. A stream that does not
// start with the start-of-image marker is returned unchanged.
std::vector<std::uint8_t> InsertJpegMetadata(const std::vector<std::uint8_t>& jpeg,
                                             const TJpegMetadata& metadata);

}  // namespace qv
