// Picture plug-in for GIF files (first frame, with its palette; transparency shows white), over
// giflib.
#include <gif_lib.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "spi.h"
#include "spi_plugin_exports.h"
#include "spi_plugin_support.h"

namespace {

using spi_plugin::TDib;

const spi_plugin::TPluginTexts kTexts = {"GIF plug-in for Quenvale 1.0 (giflib)", "*.gif",
                                         "GIF image"};

struct TMemorySource {
  const std::uint8_t *data;
  std::size_t size;
  std::size_t position;
};

int ReadMemory(GifFileType *gif, GifByteType *buffer, int count) {
  auto *source = static_cast<TMemorySource *>(gif->UserData);
  if (count <= 0) return 0;
  std::size_t left = source->size - source->position;
  std::size_t n = static_cast<std::size_t>(count) < left ? static_cast<std::size_t>(count) : left;
  std::memcpy(buffer, source->data + source->position, n);
  source->position += n;
  return static_cast<int>(n);
}

// Closes the giflib decoder on every path.
class TGifFile {
 public:
  explicit TGifFile(TMemorySource &source) {
    int error = 0;
    gif_ = DGifOpen(&source, ReadMemory, &error);
  }
  ~TGifFile() {
    int error = 0;
    if (gif_ != nullptr) DGifCloseFile(gif_, &error);
  }
  TGifFile(const TGifFile &) = delete;
  TGifFile &operator=(const TGifFile &) = delete;
  GifFileType *Get() const { return gif_; }

 private:
  GifFileType *gif_ = nullptr;
};

// Skips the rest of an extension's sub-blocks; false on an error.
bool SkipSubBlocks(GifFileType *gif, GifByteType *block) {
  while (block != nullptr)
    if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return false;
  return true;
}

// Reads the frame's rows (in interlaced order when the frame is interlaced) into frame.
bool ReadFrameRows(GifFileType *gif, int width, int height, bool interlaced,
                   std::vector<GifPixelType> &frame) {
  static const int kStart[4] = {0, 4, 2, 1};
  static const int kStep[4] = {8, 8, 4, 2};
  auto row = [&](int y) {
    return frame.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
  };
  if (!interlaced) {
    for (int y = 0; y < height; ++y)
      if (DGifGetLine(gif, row(y), width) == GIF_ERROR) return false;
    return true;
  }
  for (int pass = 0; pass < 4; ++pass)
    for (int y = kStart[pass]; y < height; y += kStep[pass])
      if (DGifGetLine(gif, row(y), width) == GIF_ERROR) return false;
  return true;
}

// Reads up to the first frame's descriptor, noting the transparent index a graphic control
// extension before it gives; then the canvas: the logical screen, grown to hold a frame that
// reaches past it. An SPI_ result code.
std::int32_t ReadCanvas(GifFileType *gif, int &transparent, std::uint32_t &width,
                        std::uint32_t &height) {
  transparent = -1;
  for (;;) {
    GifRecordType record;
    if (DGifGetRecordType(gif, &record) == GIF_ERROR) return SPI_BROKEN_DATA;
    if (record == TERMINATE_RECORD_TYPE) return SPI_BROKEN_DATA;  // no image at all
    if (record == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType *block = nullptr;
      if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return SPI_BROKEN_DATA;
      // Graphic control: flags, delay (2 bytes), transparent index.
      if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= 4)
        transparent = (block[1] & 1) ? block[4] : -1;
      if (!SkipSubBlocks(gif, block)) return SPI_BROKEN_DATA;
      continue;
    }
    if (record != IMAGE_DESC_RECORD_TYPE) continue;
    if (DGifGetImageDesc(gif) == GIF_ERROR) return SPI_BROKEN_DATA;
    break;
  }
  const GifImageDesc &frame_desc = gif->Image;
  int left = frame_desc.Left, top = frame_desc.Top;
  int frame_width = frame_desc.Width, frame_height = frame_desc.Height;
  if (left < 0 || top < 0 || frame_width <= 0 || frame_height <= 0) return SPI_BROKEN_DATA;
  width = static_cast<std::uint32_t>(gif->SWidth > left + frame_width ? gif->SWidth
                                                                      : left + frame_width);
  height = static_cast<std::uint32_t>(gif->SHeight > top + frame_height ? gif->SHeight
                                                                        : top + frame_height);
  if (std::uint64_t{width} * height > spi_plugin::kMaxPixels) return SPI_NO_MEMORY;
  return SPI_SUCCESS;
}

std::int32_t Decode(const std::uint8_t *data, std::size_t size, HLOCAL *info, HLOCAL *pixels) {
  TMemorySource source{data, size, 0};
  TGifFile file(source);
  GifFileType *gif = file.Get();
  if (gif == nullptr) return SPI_UNKNOWN_FORMAT;
  int transparent = -1;
  std::uint32_t width = 0, height = 0;
  std::int32_t canvas = ReadCanvas(gif, transparent, width, height);
  if (canvas != SPI_SUCCESS) return canvas;
  const GifImageDesc &frame_desc = gif->Image;
  int left = frame_desc.Left, top = frame_desc.Top;
  int frame_width = frame_desc.Width, frame_height = frame_desc.Height;

  const ColorMapObject *map = frame_desc.ColorMap != nullptr ? frame_desc.ColorMap : gif->SColorMap;
  std::uint32_t colors =
      map != nullptr && map->ColorCount > 0 ? static_cast<std::uint32_t>(map->ColorCount) : 256;
  if (colors > 256) colors = 256;
  if (transparent >= 0 && static_cast<std::uint32_t>(transparent) >= colors)
    colors = static_cast<std::uint32_t>(transparent) + 1;

  std::vector<GifPixelType> frame(static_cast<std::size_t>(frame_width) *
                                  static_cast<std::size_t>(frame_height));
  if (!ReadFrameRows(gif, frame_width, frame_height, frame_desc.Interlace, frame))
    return SPI_BROKEN_DATA;

  TDib dib;
  std::int32_t result = dib.Create(width, height, 8, colors);
  if (result != SPI_SUCCESS) return result;
  for (std::uint32_t i = 0; i < colors; ++i) {
    if (map != nullptr && i < static_cast<std::uint32_t>(map->ColorCount)) {
      const GifColorType &c = map->Colors[i];
      dib.SetColor(i, c.Red, c.Green, c.Blue);
    } else if (map == nullptr) {
      auto v = static_cast<std::uint8_t>(i);  // no colour table: a grey ramp
      dib.SetColor(i, v, v, v);
    }
  }
  // Transparent pixels, and the canvas around a frame that has them, show white.
  if (transparent >= 0) dib.SetColor(static_cast<std::uint32_t>(transparent), 255, 255, 255);
  std::uint8_t background = static_cast<std::uint8_t>(
      transparent >= 0 ? transparent
                       : (gif->SBackGroundColor >= 0 &&
                                  static_cast<std::uint32_t>(gif->SBackGroundColor) < colors
                              ? gif->SBackGroundColor
                              : 0));
  for (std::uint32_t y = 0; y < height; ++y) {
    std::uint8_t *row = dib.Row(y);
    std::memset(row, background, width);
    if (y < static_cast<std::uint32_t>(top) || y >= static_cast<std::uint32_t>(top + frame_height))
      continue;
    std::memcpy(row + left,
                frame.data() + static_cast<std::size_t>(y - static_cast<std::uint32_t>(top)) *
                                   static_cast<std::size_t>(frame_width),
                static_cast<std::size_t>(frame_width));
  }
  return dib.Deliver(info, pixels);
}

std::int32_t Info(const std::uint8_t *data, std::size_t size, std::uint32_t &width,
                  std::uint32_t &height, int &bits) {
  TMemorySource source{data, size, 0};
  TGifFile file(source);
  if (file.Get() == nullptr) return SPI_UNKNOWN_FORMAT;
  int transparent = -1;
  bits = 8;
  return ReadCanvas(file.Get(), transparent, width, height);
}

bool IsGif(const std::uint8_t *head) {
  return std::memcmp(head, "GIF87a", 6) == 0 || std::memcmp(head, "GIF89a", 6) == 0;
}

}  // namespace

// The exported functions spi.h asks for.
extern "C" {

SPI_PICTURE_PLUGIN_EXPORTS(kTexts, IsGif, Info, Decode)

}  // extern "C"
