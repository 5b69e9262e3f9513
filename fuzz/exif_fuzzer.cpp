// Fuzz target: EXIF blocks edited in place and XMP packets turned upright. The first byte picks
// the changes; the rest is the block (and the packet). An edited block keeps its size, and one
// whose orientation was reset reads 1.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "codecs/jpeg/exif_block.h"
#include "codecs/jpeg/xmp_packet.h"
#include "fuzz_check.h"

QV_FUZZ_ENTRY(exif) {
  if (size < 1) return 0;
  const std::uint8_t settings = data[0];
  const std::vector<std::uint8_t> block(data + 1, data + size);
  const bool reset = (settings & 1) != 0 && qv::ExifOrientation(block) != 0;
  const qv::TEditedExif edited =
      qv::EditExif(block, {.reset_orientation = reset,
                           .drop_thumbnail = (settings & 2) != 0,
                           .width = (settings & 4) ? 65536 + settings : settings,
                           .height = 1 + settings / 8});
  if (edited.left_out == nullptr) {
    QV_FUZZ_CHECK(edited.block.size() == block.size());
    if (reset) QV_FUZZ_CHECK(qv::ExifOrientation(edited.block) == 1);
  } else {
    QV_FUZZ_CHECK(edited.block.empty());
  }
  std::vector<std::uint8_t> xmp = block;
  qv::ResetXmpOrientation(xmp);
  QV_FUZZ_CHECK(xmp.size() == block.size());
  return 0;
}
