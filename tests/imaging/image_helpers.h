// Small images built in code for the tests of the pixel operations.
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <vector>

#include "imaging/bitmap.h"

namespace qv::testing {

struct Bgr {
  std::uint8_t b, g, r;
  friend bool operator==(const Bgr&, const Bgr&) = default;
};

// A 24-bit image whose pixel (x, y) (y from the top) is colour(x, y).
inline TBitmap Make24(int width, int height, const std::function<Bgr(int, int)>& colour) {
  TBitmap image;
  image.Allocate(width, height, TPixelFormat::pf24bit);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = image.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      Bgr c = colour(x, y);
      row[3 * x] = c.b, row[3 * x + 1] = c.g, row[3 * x + 2] = c.r;
    }
  }
  return image;
}

inline TBitmap Uniform24(int width, int height, Bgr colour) {
  return Make24(width, height, [colour](int, int) { return colour; });
}

inline TBitmap Random24(int width, int height, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> byte(0, 255);
  return Make24(width, height, [&](int, int) {
    return Bgr{static_cast<std::uint8_t>(byte(random)), static_cast<std::uint8_t>(byte(random)),
               static_cast<std::uint8_t>(byte(random))};
  });
}

// Pixel (x, y) of a 24-bit image.
inline Bgr At24(const TBitmap& image, int x, int y) {
  const std::uint8_t* p = image.ScanLine(y) + 3 * x;
  return {p[0], p[1], p[2]};
}

// The pixel bytes of an image, row by row from the top, without the row padding.
inline std::vector<std::uint8_t> PixelBytes(const TBitmap& image) {
  std::vector<std::uint8_t> bytes;
  std::size_t row_bytes = (static_cast<std::size_t>(image.Width()) * image.BitsPerPixel() + 7) / 8;
  for (int y = 0; y < image.Height(); ++y) {
    const std::uint8_t* row = image.ScanLine(y);
    bytes.insert(bytes.end(), row, row + row_bytes);
  }
  return bytes;
}

}  // namespace qv::testing
