// The size limits every reader enforces before it allocates, kept in one place.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qv {

// Any real photo of up to 100 megapixels passes both limits, at up to 8 bytes per pixel.
inline constexpr std::uint64_t kMaxImagePixels = std::uint64_t{1} << 28;   // 268,435,456
inline constexpr std::uint64_t kMaxDecodedBytes = std::uint64_t{1} << 30;  // 1 GiB

// Throws EOutOfMemory, its message naming the limit, when an image of width x height at
// bits_per_pixel (rows padded to 4 bytes) would pass either limit. Negative sizes count as their
// magnitude.
void CheckImageSize(std::int64_t width, std::int64_t height, int bits_per_pixel);

// Throws EOutOfMemory naming the limit when bytes exceed kMaxDecodedBytes.
void CheckDecodedBytes(std::uint64_t bytes);

}  // namespace qv
