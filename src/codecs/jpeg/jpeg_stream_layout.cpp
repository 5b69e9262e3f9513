// The layout of a JPEG stream from its markers: scans counted, the first picture's end found.
#include "codecs/jpeg/jpeg_stream_layout.h"

namespace qv {

namespace {

constexpr std::uint8_t kSos = 0xDA, kEoi = 0xD9;

// Markers without a length (the JPEG standard, B.1.1.3): TEM, RST0..7, SOI, EOI.
bool StandsAlone(std::uint8_t marker) {
  return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD9);
}

// The offset of the marker that ends the entropy-coded data starting at at (its 0xFF byte), or
// the stream's size. In the data a 0xFF byte is followed by 0x00 (a stuffed byte) or a restart
// marker; any other byte after it (fill bytes aside) is the next marker.
std::size_t EndOfScanData(std::span<const std::uint8_t> jpeg, std::size_t at) {
  while (at + 1 < jpeg.size()) {
    if (jpeg[at] != 0xFF) {
      ++at;
      continue;
    }
    const std::uint8_t next = jpeg[at + 1];
    if (next == 0x00 || (next >= 0xD0 && next <= 0xD7))
      at += 2;
    else if (next == 0xFF)
      ++at;
    else
      return at;
  }
  return jpeg.size();
}

}  // namespace

TJpegStreamLayout WalkJpegStream(std::span<const std::uint8_t> jpeg, int max_scans) {
  TJpegStreamLayout layout;
  if (jpeg.size() < 2 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) return layout;
  std::size_t at = 2;
  while (at + 1 < jpeg.size()) {
    if (jpeg[at] != 0xFF) return layout;
    while (at < jpeg.size() && jpeg[at] == 0xFF) ++at;  // fill bytes
    if (at >= jpeg.size()) return layout;
    const std::uint8_t marker = jpeg[at++];
    if (marker == kEoi) {
      layout.end = at;
      return layout;
    }
    if (StandsAlone(marker)) continue;
    if (at + 2 > jpeg.size()) return layout;
    const std::size_t length = static_cast<std::size_t>(jpeg[at] << 8 | jpeg[at + 1]);
    if (length < 2 || at + length > jpeg.size()) return layout;
    at += length;
    if (marker == kSos) {
      if (++layout.scans > max_scans) return layout;
      at = EndOfScanData(jpeg, at);
    }
  }
  return layout;
}

}  // namespace qv
