// Picture plug-in for WebP files (still images, and the first frame of animations), over libwebp.
#include <webp/decode.h>
#include <webp/demux.h>

#include <cstdint>
#include <cstring>
#include <new>

#include "spi.h"
#include "spi_plugin_support.h"

namespace {

using spi_plugin::TDib;

const spi_plugin::TPluginTexts kTexts = {"WebP plug-in for Quenvale 1.0 (libwebp)", "*.webp",
                                         "WebP image"};

// Writes RGBA rows (top row first, stride bytes apart) over white into a 24-bit bitmap.
std::int32_t Deliver(const std::uint8_t *rgba, std::uint32_t width, std::uint32_t height,
                     std::size_t stride, HLOCAL *info, HLOCAL *pixels) {
  TDib dib;
  std::int32_t result = dib.Create(width, height, 24, 0);
  if (result != SPI_SUCCESS) return result;
  for (std::uint32_t y = 0; y < height; ++y) {
    const std::uint8_t *source = rgba + y * stride;
    std::uint8_t *row = dib.Row(y);
    for (std::uint32_t x = 0; x < width; ++x, source += 4) {
      unsigned alpha = source[3];
      row[3 * x] = spi_plugin::OverWhite(source[2], alpha);
      row[3 * x + 1] = spi_plugin::OverWhite(source[1], alpha);
      row[3 * x + 2] = spi_plugin::OverWhite(source[0], alpha);
    }
  }
  return dib.Deliver(info, pixels);
}

class TAnimDecoder {
 public:
  explicit TAnimDecoder(const WebPData &data) {
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) return;
    options.color_mode = MODE_RGBA;
    options.use_threads = 0;
    decoder_ = WebPAnimDecoderNew(&data, &options);
  }
  ~TAnimDecoder() {
    if (decoder_ != nullptr) WebPAnimDecoderDelete(decoder_);
  }
  TAnimDecoder(const TAnimDecoder &) = delete;
  TAnimDecoder &operator=(const TAnimDecoder &) = delete;
  WebPAnimDecoder *Get() const { return decoder_; }

 private:
  WebPAnimDecoder *decoder_ = nullptr;
};

std::int32_t DecodeAnimation(const std::uint8_t *data, std::size_t size, HLOCAL *info,
                             HLOCAL *pixels) {
  WebPData webp_data{data, size};
  TAnimDecoder decoder(webp_data);
  if (decoder.Get() == nullptr) return SPI_BROKEN_DATA;
  WebPAnimInfo anim_info;
  if (!WebPAnimDecoderGetInfo(decoder.Get(), &anim_info)) return SPI_BROKEN_DATA;
  std::uint8_t *canvas = nullptr;
  int timestamp = 0;
  if (!WebPAnimDecoderGetNext(decoder.Get(), &canvas, &timestamp)) return SPI_BROKEN_DATA;
  return Deliver(canvas, anim_info.canvas_width, anim_info.canvas_height,
                 std::size_t{anim_info.canvas_width} * 4, info, pixels);
}

class TDecodedRgba {
 public:
  TDecodedRgba(const std::uint8_t *data, std::size_t size)
      : rgba_(WebPDecodeRGBA(data, size, &width_, &height_)) {}
  ~TDecodedRgba() { WebPFree(rgba_); }
  TDecodedRgba(const TDecodedRgba &) = delete;
  TDecodedRgba &operator=(const TDecodedRgba &) = delete;
  const std::uint8_t *Data() const { return rgba_; }
  int Width() const { return width_; }
  int Height() const { return height_; }

 private:
  int width_ = 0;
  int height_ = 0;
  std::uint8_t *rgba_ = nullptr;
};

std::int32_t Decode(const std::uint8_t *data, std::size_t size, HLOCAL *info, HLOCAL *pixels) {
  WebPBitstreamFeatures features;
  if (WebPGetFeatures(data, size, &features) != VP8_STATUS_OK) return SPI_BROKEN_DATA;
  if (features.width <= 0 || features.height <= 0) return SPI_BROKEN_DATA;
  std::uint64_t area = std::uint64_t(features.width) * std::uint64_t(features.height);
  if (area > spi_plugin::kMaxPixels || area * 4 > spi_plugin::kMaxBlockBytes) return SPI_NO_MEMORY;
  if (features.has_animation) return DecodeAnimation(data, size, info, pixels);
  TDecodedRgba decoded(data, size);
  if (decoded.Data() == nullptr) return SPI_BROKEN_DATA;
  return Deliver(decoded.Data(), static_cast<std::uint32_t>(decoded.Width()),
                 static_cast<std::uint32_t>(decoded.Height()),
                 static_cast<std::size_t>(decoded.Width()) * 4, info, pixels);
}

}  // namespace

extern "C" {

SPI_EXPORT std::int32_t GetPluginInfo(std::int32_t info_number, char *buffer,
                                      std::int32_t buffer_length) {
  return spi_plugin::CopyPluginInfo(kTexts, info_number, buffer, buffer_length);
}

// A RIFF container of form "WEBP".
SPI_EXPORT std::int32_t IsSupported(const char * /*file_name*/, std::uintptr_t dw) {
  if (dw == 0) return 0;
  const char *head = reinterpret_cast<const char *>(dw);
  return std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WEBP", 4) == 0;
}

SPI_EXPORT std::int32_t GetPicture(const char *buffer, std::int32_t length, std::uint32_t flag,
                                   HLOCAL *info_handle, HLOCAL *pixel_handle,
                                   SpiProgressCallback /*progress*/, std::intptr_t /*user_data*/) {
  try {
    spi_plugin::TInput input;
    std::int32_t result = spi_plugin::OpenInput(buffer, length, flag, input);
    if (result != SPI_SUCCESS) return result;
    return Decode(input.data, input.size, info_handle, pixel_handle);
  } catch (const std::bad_alloc &) {
    return SPI_NO_MEMORY;
  } catch (...) {
    return SPI_INTERNAL_ERROR;
  }
}

}  // extern "C"
