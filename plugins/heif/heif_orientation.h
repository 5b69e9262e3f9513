// The orientation a HEIF file gives its primary picture with the rotation ('irot') and mirror
// ('imir') properties, read from the file's boxes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace heif_plugin {

// The turn that the primary item's rotation and mirror properties make, in the order the file
// associates them with the item, as the EXIF orientation (1 to 8) that asks for the same turn;
// 0 when the item has neither property, or the boxes cannot be read. A decoder applies these
// properties to the picture, so an EXIF orientation of the same file must not turn it again.
int PrimaryItemOrientation(const std::uint8_t *data, std::size_t size);

}  // namespace heif_plugin
