// The row-window filter: 11 zero-margined row copies slide down the image.
#include "imaging/filter_rows.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <vector>

#include "imaging/bitmap.h"
#include "runtime/exceptions.h"

namespace qv {

TBitmap FilterRows(const TBitmap& image, TFilterCallback callback, void* data) {
  if (image.PixelFormat() != TPixelFormat::pf24bit) throw Exception(Tr(kFilterNeeds24Bit));
  const int width = image.Width();
  const int height = image.Height();
  TBitmap result;
  result.Allocate(width, height, TPixelFormat::pf24bit);
  if (width < 1 || height < 1 || image.Empty()) return result;

  const std::size_t row_bytes = 3 * static_cast<std::size_t>(width);
  const std::size_t buffer_bytes = row_bytes + 2 * kFilterMarginBytes;
  std::array<std::vector<std::uint8_t>, kFilterWindowRows> buffers;
  // buffers[slot[k]] holds window row k, image row y - 5 + k.
  std::array<int, kFilterWindowRows> slot;
  auto load = [&](std::vector<std::uint8_t>& buffer, int row) {
    std::fill(buffer.begin(), buffer.end(), 0);
    if (row >= 0 && row < height)
      std::memcpy(buffer.data() + kFilterMarginBytes, image.ScanLine(row), row_bytes);
  };
  try {
    for (int k = 0; k < kFilterWindowRows; ++k) {
      buffers[static_cast<std::size_t>(k)].resize(buffer_bytes);
      slot[static_cast<std::size_t>(k)] = k;
      load(buffers[static_cast<std::size_t>(k)], k - 5);
    }
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory();
  }

  std::uint8_t* out_row = result.ScanLine(0);
  const std::ptrdiff_t out_step = result.RowStep();
  std::array<std::uint8_t*, kFilterWindowRows> window;
  for (int y = 0; y < height; ++y, out_row += out_step) {
    for (int k = 0; k < kFilterWindowRows; ++k)
      window[static_cast<std::size_t>(k)] =
          buffers[static_cast<std::size_t>(slot[static_cast<std::size_t>(k)])].data();
    std::uint8_t* out = out_row;
    for (int x = 0; x < width; ++x, out += 3) {
      callback(x, y, window.data(), data, out);
      for (auto& pointer : window) pointer += 3;
    }
    // Row y - 5 leaves the window; its buffer comes back at the bottom with row y + 6.
    std::rotate(slot.begin(), slot.begin() + 1, slot.end());
    load(buffers[static_cast<std::size_t>(slot.back())], y + 6);
  }
  return result;
}

}  // namespace qv
