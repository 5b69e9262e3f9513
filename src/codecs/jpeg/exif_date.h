// When a photo was taken, as its EXIF block tells.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <vector>

namespace qv {

// The DateTimeOriginal tag ("YYYY:MM:DD HH:MM:SS", the camera's local time) of an EXIF block
// (TIFF data); none when the block cannot be read, lacks the tag or holds no valid date.
std::optional<std::tm> ExifDateTaken(const std::vector<std::uint8_t>& exif);

}  // namespace qv
