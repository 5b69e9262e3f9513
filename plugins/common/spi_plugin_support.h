// What every shipped plug-in shares: information texts, input access, building result blocks and
// the bodies of the exported functions (each plug-in still declares its exports itself).
#pragma once

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "spi.h"

namespace spi_plugin {

// Largest image a plug-in builds (the host refuses larger ones as well): the host's limits of
// imaging/image_limits.h, which a plug-in cannot include (test_spi checks that they agree). A
// build may set lower limits (the fuzz targets do, to keep each input fast).
#ifndef SPI_PLUGIN_MAX_PIXELS
#define SPI_PLUGIN_MAX_PIXELS (std::uint64_t{1} << 28)
#endif
#ifndef SPI_PLUGIN_MAX_BLOCK_BYTES
#define SPI_PLUGIN_MAX_BLOCK_BYTES (std::uint64_t{1} << 30)
#endif
inline constexpr std::uint64_t kMaxPixels = SPI_PLUGIN_MAX_PIXELS;
inline constexpr std::uint64_t kMaxBlockBytes = SPI_PLUGIN_MAX_BLOCK_BYTES;

// The four information items of a picture plug-in.
struct TPluginTexts {
  const char *name;
  const char *file_pattern;
  const char *description;
};

// GetPluginInfo for the texts: copies item number into buffer (at most length - 1 bytes and a
// terminating zero); returns the bytes copied, 0 for an unknown item.
inline std::int32_t CopyPluginInfo(const TPluginTexts &texts, std::int32_t number, char *buffer,
                                   std::int32_t length) {
  const char *text = number == 0   ? SPI_PICTURE_VERSION
                     : number == 1 ? texts.name
                     : number == 2 ? texts.file_pattern
                     : number == 3 ? texts.description
                                   : nullptr;
  if (text == nullptr || buffer == nullptr || length <= 0) return 0;
  std::size_t count = std::strlen(text);
  if (count > static_cast<std::size_t>(length - 1)) count = static_cast<std::size_t>(length - 1);
  std::memcpy(buffer, text, count);
  buffer[count] = '\0';
  return static_cast<std::int32_t>(count);
}

// The whole input of GetPicture: the caller's memory, or a file read from an offset.
struct TInput {
  const std::uint8_t *data = nullptr;
  std::size_t size = 0;
  std::vector<std::uint8_t> file;  // holds the bytes of file input
};

// Fills input from GetPicture's buffer, length and flag; an SPI_ result code.
inline std::int32_t OpenInput(const char *buffer, std::int32_t length, std::uint32_t flag,
                              TInput &input) {
  if (buffer == nullptr || length < 0) return SPI_FILE_READ_ERROR;
  if ((flag & 7u) == SPI_INPUT_MEMORY) {
    input.data = reinterpret_cast<const std::uint8_t *>(buffer);
    input.size = static_cast<std::size_t>(length);
    return SPI_SUCCESS;
  }
  if ((flag & 7u) != SPI_INPUT_FILE) return SPI_NOT_IMPLEMENTED;
  // File input: buffer is the file name, length the offset the image starts at.
  std::FILE *file = std::fopen(buffer, "rb");
  if (file == nullptr) return SPI_FILE_READ_ERROR;
  std::int32_t result = SPI_SUCCESS;
  if (std::fseek(file, length, SEEK_SET) != 0) result = SPI_FILE_READ_ERROR;
  std::uint8_t chunk[65536];
  while (result == SPI_SUCCESS) {
    std::size_t got = std::fread(chunk, 1, sizeof chunk, file);
    if (got == 0) break;
    if (input.file.size() + got > kMaxBlockBytes)
      result = SPI_NO_MEMORY;
    else
      input.file.insert(input.file.end(), chunk, chunk + got);
  }
  if (std::ferror(file)) result = SPI_FILE_READ_ERROR;
  std::fclose(file);
  input.data = input.file.data();
  input.size = input.file.size();
  return result;
}

// A memory handle freed unless released to the caller.
class THandle {
 public:
  THandle() = default;
  ~THandle() { LocalFree(handle_); }
  THandle(const THandle &) = delete;
  THandle &operator=(const THandle &) = delete;
  THandle(THandle &&other) noexcept : handle_(other.Release()) {}
  THandle &operator=(THandle &&other) noexcept {
    if (this != &other) {
      LocalFree(handle_);
      handle_ = other.Release();
    }
    return *this;
  }
  bool Allocate(std::size_t bytes) {
    LocalFree(handle_);
    handle_ = LocalAlloc(LHND, bytes);
    return handle_ != nullptr;
  }
  std::uint8_t *Data() const { return static_cast<std::uint8_t *>(handle_); }
  // Gives the block back down to bytes (its first bytes kept); a block that cannot move stays
  // as it was, which is only larger than needed.
  void Shrink(std::size_t bytes) {
    if (HLOCAL smaller = LocalReAlloc(handle_, bytes, 0)) handle_ = smaller;
  }
  // Makes the block bytes long (new bytes zeroed; the first bytes kept); false when memory is
  // short, the block then unchanged.
  bool Grow(std::size_t bytes) {
    HLOCAL larger = LocalReAlloc(handle_, bytes, LMEM_ZEROINIT);
    if (larger == nullptr) return false;
    handle_ = larger;
    return true;
  }
  HLOCAL Release() {
    HLOCAL handle = handle_;
    handle_ = nullptr;
    return handle;
  }

 private:
  HLOCAL handle_ = nullptr;
};

// A device-independent bitmap being built: header, colour table and rows, bottom-up unless made
// top-down.
class TDib {
 public:
  // Allocates both blocks, zeroed; an SPI_ result code (SPI_NO_MEMORY beyond the limits).
  std::int32_t Create(std::uint32_t width, std::uint32_t height, int bits, std::uint32_t colors,
                      bool top_down = false) {
    if (width == 0 || height == 0) return SPI_BROKEN_DATA;
    if (width > 0x7FFFFFFFu || height > 0x7FFFFFFFu) return SPI_NO_MEMORY;
    if (std::uint64_t{width} * height > kMaxPixels) return SPI_NO_MEMORY;
    row_size_ = RowSize(width, bits);
    if (std::uint64_t{row_size_} * height > kMaxBlockBytes) return SPI_NO_MEMORY;
    width_ = width;
    height_ = height;
    top_down_ = top_down;
    if (!info_.Allocate(sizeof(SpiBitmapInfoHeader) + 4 * std::size_t{colors}) ||
        !pixels_.Allocate(row_size_ * height))
      return SPI_NO_MEMORY;
    SpiBitmapInfoHeader header{};
    header.biSize = sizeof header;
    header.biWidth = static_cast<std::int32_t>(width);
    header.biHeight =
        top_down ? -static_cast<std::int32_t>(height) : static_cast<std::int32_t>(height);
    header.biPlanes = 1;
    header.biBitCount = static_cast<std::uint16_t>(bits);
    header.biCompression = SPI_BI_RGB;
    header.biSizeImage = static_cast<std::uint32_t>(row_size_ * height);
    header.biClrUsed = colors;
    std::memcpy(info_.Data(), &header, sizeof header);
    return SPI_SUCCESS;
  }
  // Turns a 32-bit bitmap into a 24-bit one in place: convert(source, target) makes the three
  // bytes (blue, green, red) of each pixel from its four bytes. The pixel block then shrinks to
  // the 24-bit rows, so a decoder that writes four bytes a pixel never holds a second picture.
  template <typename Convert>
  void PackTo24Bits(Convert convert) {
    Repack(24, convert);
  }
  // Turns a 24- or 32-bit bitmap into an 8-bit grey one in place: convert(source, target) makes
  // the grey level of each pixel from its three or four bytes. The colour table becomes the 256
  // grey levels, and the pixel block shrinks as in PackTo24Bits. Returns SPI_NO_MEMORY when the
  // colour table cannot be had (the bitmap is then unchanged).
  template <typename Convert>
  std::int32_t PackToGrey(Convert convert) {
    if (!info_.Grow(sizeof(SpiBitmapInfoHeader) + 4 * 256)) return SPI_NO_MEMORY;
    Repack(8, convert);
    SpiBitmapInfoHeader header;
    std::memcpy(&header, info_.Data(), sizeof header);
    header.biClrUsed = 256;
    std::memcpy(info_.Data(), &header, sizeof header);
    SetGreyLevels();
    return SPI_SUCCESS;
  }
  // Makes the colour table (of 256 entries) the grey levels 0 to 255.
  void SetGreyLevels() const {
    for (std::uint32_t i = 0; i < 256; ++i) {
      auto v = static_cast<std::uint8_t>(i);
      SetColor(i, v, v, v);
    }
  }
  // The pixel block (memory rows in the bitmap's order).
  std::uint8_t *Pixels() const { return pixels_.Data(); }
  // Colour entry i (i below the colour count given to Create).
  SpiRgbQuad *Colors() const {
    return reinterpret_cast<SpiRgbQuad *>(info_.Data() + sizeof(SpiBitmapInfoHeader));
  }
  void SetColor(std::uint32_t i, std::uint8_t red, std::uint8_t green, std::uint8_t blue) const {
    Colors()[i] = SpiRgbQuad{blue, green, red, 0};
  }
  // Picture row y, 0 being the top row.
  std::uint8_t *Row(std::uint32_t y) const {
    return pixels_.Data() + (top_down_ ? y : height_ - 1 - y) * row_size_;
  }
  std::size_t RowSize() const { return row_size_; }
  std::uint32_t Width() const { return static_cast<std::uint32_t>(width_); }
  std::uint32_t Height() const { return static_cast<std::uint32_t>(height_); }
  bool TopDown() const { return top_down_; }
  // Bits per pixel and colour table entries, as the header says.
  int Bits() const { return Header().biBitCount; }
  std::uint32_t ColorCount() const { return Header().biClrUsed; }
  // Hands both blocks to the caller; returns SPI_SUCCESS.
  std::int32_t Deliver(HLOCAL *info, HLOCAL *pixels) {
    if (info == nullptr || pixels == nullptr) return SPI_INTERNAL_ERROR;
    *info = info_.Release();
    *pixels = pixels_.Release();
    return SPI_SUCCESS;
  }

 private:
  SpiBitmapInfoHeader Header() const {
    SpiBitmapInfoHeader header;
    std::memcpy(&header, info_.Data(), sizeof header);
    return header;
  }
  // Repacks the rows in place to target_bits (24 or 8) from the bitmap's own depth, which is
  // larger: row y's target bytes never pass its source bytes still to be read.
  template <typename Convert>
  void Repack(int target_bits, Convert convert) {
    SpiBitmapInfoHeader header;
    std::memcpy(&header, info_.Data(), sizeof header);
    const std::size_t source_bytes = header.biBitCount / 8u;
    const std::size_t target_bytes = static_cast<std::size_t>(target_bits) / 8u;
    const std::size_t new_row = RowSize(static_cast<std::uint32_t>(width_), target_bits);
    std::uint8_t *base = pixels_.Data();
    for (std::size_t y = 0; y < height_; ++y) {
      const std::uint8_t *source = base + y * row_size_;
      std::uint8_t *target = base + y * new_row;
      for (std::size_t x = 0; x < width_; ++x) {
        std::uint8_t pixel[4];
        std::memcpy(pixel, source + source_bytes * x, source_bytes);
        convert(pixel, target + target_bytes * x);
      }
      std::memset(target + target_bytes * width_, 0, new_row - target_bytes * width_);
    }
    row_size_ = new_row;
    pixels_.Shrink(row_size_ * height_);
    header.biBitCount = static_cast<std::uint16_t>(target_bits);
    header.biSizeImage = static_cast<std::uint32_t>(row_size_ * height_);
    std::memcpy(info_.Data(), &header, sizeof header);
  }
  static std::size_t RowSize(std::uint32_t width, int bits) {
    return static_cast<std::size_t>((std::uint64_t{width} * static_cast<unsigned>(bits) + 31) / 32 *
                                    4);
  }
  THandle info_;
  THandle pixels_;
  std::size_t row_size_ = 0;
  std::size_t width_ = 0;
  std::size_t height_ = 0;
  bool top_down_ = false;
};

// The reason the calling thread's last GetPicture failed, for GetPictureError: one short English
// text, cut to fit. Each thread keeps its own, so files decoded at once do not mix them up.
inline char *LastErrorText() {
  thread_local char text[256] = {};
  return text;
}
inline void SetLastError(const char *prefix, const char *reason) {
  char *text = LastErrorText();
  std::snprintf(text, 256, "%s%s", prefix, reason != nullptr ? reason : "");
  // A library's message may end in a line break, which is no part of a one-line reason.
  for (std::size_t end = std::strlen(text);
       end > 0 && std::isspace(static_cast<unsigned char>(text[end - 1]));)
    text[--end] = '\0';
}
inline void ClearLastError() { LastErrorText()[0] = '\0'; }

// GetPictureError: copies the calling thread's last reason (at most length - 1 bytes and a
// zero); the bytes copied.
inline std::int32_t CopyLastError(char *buffer, std::int32_t length) {
  if (buffer == nullptr || length <= 0) return 0;
  const char *text = LastErrorText();
  std::size_t count = std::strlen(text);
  if (count > static_cast<std::size_t>(length - 1)) count = static_cast<std::size_t>(length - 1);
  std::memcpy(buffer, text, count);
  buffer[count] = '\0';
  return static_cast<std::int32_t>(count);
}

// What a plug-in adds to the shared parts: whether a file start is its format (head holds
// SPI_HEADER_BYTES bytes), and the decoder of a whole file into both result blocks (an SPI_
// result code; it may throw, GetPicture catches).
using TMatchFunc = bool (*)(const std::uint8_t *head);
using TDecodeFunc = std::int32_t (*)(const std::uint8_t *data, std::size_t size, HLOCAL *info,
                                     HLOCAL *pixels);

// IsSupported for match: 0 without a file start, else whether match knows it.
inline std::int32_t IsSupported(std::uintptr_t dw, TMatchFunc match) {
  if (dw == 0) return 0;
  return match(reinterpret_cast<const std::uint8_t *>(dw)) ? 1 : 0;
}

// GetPicture for decode: takes the input (memory or file) and decodes it. No exception leaves
// the plug-in: running out of memory gives SPI_NO_MEMORY, anything else SPI_INTERNAL_ERROR.
inline std::int32_t GetPicture(const char *buffer, std::int32_t length, std::uint32_t flag,
                               HLOCAL *info, HLOCAL *pixels, TDecodeFunc decode) noexcept {
  ClearLastError();
  try {
    TInput input;
    std::int32_t result = OpenInput(buffer, length, flag, input);
    if (result != SPI_SUCCESS) return result;
    return decode(input.data, input.size, info, pixels);
  } catch (const std::bad_alloc &) {
    return SPI_NO_MEMORY;
  } catch (...) {
    return SPI_INTERNAL_ERROR;
  }
}

// What a plug-in tells of a whole file before decoding it: the picture's width and height and
// its bits per pixel as GetPicture would give them (an SPI_ result code; it may throw,
// GetPictureInfo catches).
using TInfoFunc = std::int32_t (*)(const std::uint8_t *data, std::size_t size, std::uint32_t &width,
                                   std::uint32_t &height, int &bits);

// GetPictureInfo for read: takes the input (memory or file) and fills info from it, with no
// text information. No exception leaves the plug-in.
inline std::int32_t GetPictureInfo(const char *buffer, std::int32_t length, std::uint32_t flag,
                                   SpiPictureInfo *info, TInfoFunc read) noexcept {
  if (info == nullptr) return SPI_INTERNAL_ERROR;
  try {
    TInput input;
    std::int32_t result = OpenInput(buffer, length, flag, input);
    if (result != SPI_SUCCESS) return result;
    std::uint32_t width = 0, height = 0;
    int bits = 0;
    result = read(input.data, input.size, width, height, bits);
    if (result != SPI_SUCCESS) return result;
    if (width == 0 || height == 0) return SPI_BROKEN_DATA;
    if (width > 0x7FFFFFFFu || height > 0x7FFFFFFFu) return SPI_NO_MEMORY;
    *info = SpiPictureInfo{};
    info->width = static_cast<std::int32_t>(width);
    info->height = static_cast<std::int32_t>(height);
    info->colorDepth = static_cast<std::int16_t>(bits);
    return SPI_SUCCESS;
  } catch (const std::bad_alloc &) {
    return SPI_NO_MEMORY;
  } catch (...) {
    return SPI_INTERNAL_ERROR;
  }
}

// A colour channel composed over white by its alpha (both 0..255).
inline std::uint8_t OverWhite(unsigned value, unsigned alpha) {
  return static_cast<std::uint8_t>((value * alpha + 255u * (255u - alpha) + 127u) / 255u);
}

// A sample of 0..max scaled to 0..255, rounded to the nearest level: a 10-bit 3 is 1 (0.75),
// where dropping the low bits gives 0, and 1020 is 254 (254.25), where dropping them gives 255.
inline std::uint8_t ScaleTo8Bits(std::uint32_t value, std::uint32_t max) {
  if (value >= max) return 255;
  return static_cast<std::uint8_t>((std::uint64_t{value} * 255u + max / 2) / max);
}

}  // namespace spi_plugin
