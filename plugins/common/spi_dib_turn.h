// Turning and mirroring a bitmap being built, for a plug-in whose library leaves a file's stated
// orientation to its caller.
#pragma once

#include <cstdint>
#include <cstring>
#include <utility>

#include "spi_orientation.h"
#include "spi_plugin_support.h"

namespace spi_plugin {

// Makes dib the picture turned by turn (of 8, 24 or 32 bits, its colour table kept): a new
// bitmap of the turned size is filled and takes the place of the old one, so for a moment both
// are held. An SPI_ result code; dib is unchanged on failure.
inline std::int32_t TurnDib(TDib &dib, const TTurn &turn) {
  if (turn == kAsStored) return SPI_SUCCESS;
  const std::uint32_t width = dib.Width(), height = dib.Height();
  const bool swaps = turn[0] == 0;
  const std::uint32_t new_width = swaps ? height : width, new_height = swaps ? width : height;
  const std::uint32_t colors = dib.ColorCount();
  const std::size_t bytes = static_cast<std::size_t>(dib.Bits()) / 8;
  TDib turned;
  std::int32_t result = turned.Create(new_width, new_height, dib.Bits(), colors, dib.TopDown());
  if (result != SPI_SUCCESS) return result;
  if (colors > 0) std::memcpy(turned.Colors(), dib.Colors(), 4 * std::size_t{colors});
  // Source (x, y) lands at (u, v): each of u and v follows x or y, forwards or backwards.
  auto place = [](int along_x, int along_y, std::uint32_t x, std::uint32_t y, std::uint32_t w,
                  std::uint32_t h) {
    return along_x > 0 ? x : along_x < 0 ? w - 1 - x : along_y > 0 ? y : h - 1 - y;
  };
  for (std::uint32_t y = 0; y < height; ++y) {
    const std::uint8_t *source = dib.Row(y);
    for (std::uint32_t x = 0; x < width; ++x) {
      const std::uint32_t u = place(turn[0], turn[1], x, y, width, height);
      const std::uint32_t v = place(turn[2], turn[3], x, y, width, height);
      std::memcpy(turned.Row(v) + bytes * u, source + bytes * x, bytes);
    }
  }
  dib = std::move(turned);
  return SPI_SUCCESS;
}

}  // namespace spi_plugin
