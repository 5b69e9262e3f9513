// Edits of an XMP packet that keep every other byte where it is.
#pragma once

#include <cstdint>
#include <vector>

namespace qv {

// Sets the packet's TIFF Orientation property (an attribute or an element of the prefix that
// the packet binds to "http://ns.adobe.com/tiff/1.0/", of one digit 1 to 8) to 1, in place, as
// a picture turned upright needs. Returns false when the packet states no such orientation.
bool ResetXmpOrientation(std::vector<std::uint8_t>& xmp);

}  // namespace qv
