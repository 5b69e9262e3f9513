// The layout of a JPEG stream as its markers tell it, read without decoding: how many scans the
// first picture has and where it ends. A page that embeds a JPEG unread is checked with it, and
// the first picture of a multi-picture file (stereo cameras: pictures one after the other) is
// cut out with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace qv {

struct TJpegStreamLayout {
  // Start-of-scan markers of the first picture (counting stops one past the limit the walk was
  // given).
  int scans = 0;
  // The offset just past the first picture's end-of-image marker; 0 when the walk met damage or
  // the stream's end before it.
  std::size_t end = 0;
};

// Walks the markers of jpeg from its start-of-image marker, over each scan's entropy-coded data
// (stuffed bytes and restart markers), up to the first end-of-image marker or the scan after
// max_scans. A stream that does not start with a start-of-image marker has no scans and no end.
TJpegStreamLayout WalkJpegStream(std::span<const std::uint8_t> jpeg, int max_scans);

}  // namespace qv
