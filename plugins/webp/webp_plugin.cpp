// Picture plug-in for WebP files (still images, and the first frame of animations), over libwebp.
#include <webp/decode.h>
#include <webp/demux.h>

#include <cstdint>
#include <cstring>
#include <new>

#include "spi.h"
#include "spi_metadata_block.h"
#include "spi_plugin_exports.h"
#include "spi_plugin_support.h"

namespace {

using spi_plugin::TDib;

const spi_plugin::TPluginTexts kTexts = {"WebP plug-in for Quenvale 1.0 (libwebp)", "*.webp",
                                         "WebP image"};

// A demuxer over the file, for the first frame of an animation.
class TDemuxer {
 public:
  explicit TDemuxer(const WebPData &data) : demux_(WebPDemux(&data)) {}
  ~TDemuxer() {
    if (demux_ != nullptr) WebPDemuxDelete(demux_);
  }
  TDemuxer(const TDemuxer &) = delete;
  TDemuxer &operator=(const TDemuxer &) = delete;
  WebPDemuxer *Get() const { return demux_; }

 private:
  WebPDemuxer *demux_ = nullptr;
};

class TFrameIterator {
 public:
  TFrameIterator() = default;
  ~TFrameIterator() { WebPDemuxReleaseIterator(&iterator_); }
  TFrameIterator(const TFrameIterator &) = delete;
  TFrameIterator &operator=(const TFrameIterator &) = delete;
  WebPIterator *Get() { return &iterator_; }

 private:
  WebPIterator iterator_{};
};

// Decodes one bitstream (a still image, or an animation's frame) as blue, green, red, alpha
// into the 32-bit top-down bitmap at (left, top); true on success.
bool DecodeInto(const std::uint8_t *data, std::size_t size, int width, int height, int left,
                int top, std::uint32_t canvas_width, std::uint32_t canvas_height,
                std::uint8_t *canvas) {
  if (width <= 0 || height <= 0 || left < 0 || top < 0 ||
      std::uint64_t(left) + std::uint64_t(width) > canvas_width ||
      std::uint64_t(top) + std::uint64_t(height) > canvas_height)
    return false;
  WebPBitstreamFeatures features;
  if (WebPGetFeatures(data, size, &features) != VP8_STATUS_OK || features.width != width ||
      features.height != height)
    return false;
  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config)) return false;
  const std::size_t stride = std::size_t{canvas_width} * 4;
  const std::size_t offset = std::size_t(top) * stride + std::size_t(left) * 4;
  config.options.use_threads = 0;
  config.output.colorspace = MODE_BGRA;
  config.output.is_external_memory = 1;
  config.output.u.RGBA.rgba = canvas + offset;
  config.output.u.RGBA.stride = static_cast<int>(stride);
  config.output.u.RGBA.size = stride * canvas_height - offset;
  bool ok = WebPDecode(data, size, &config) == VP8_STATUS_OK;
  WebPFreeDecBuffer(&config.output);
  return ok;
}

// The picture (an animation's first frame, on its canvas) decoded straight into the pixel block
// as a 32-bit bitmap and packed to 24 bits over white in place: one picture's memory.
std::int32_t Decode(const std::uint8_t *data, std::size_t size, HLOCAL *info, HLOCAL *pixels) {
  WebPBitstreamFeatures features;
  if (WebPGetFeatures(data, size, &features) != VP8_STATUS_OK) return SPI_BROKEN_DATA;
  if (features.width <= 0 || features.height <= 0) return SPI_BROKEN_DATA;

  WebPData webp_data{data, size};
  TDemuxer demuxer(webp_data);
  TFrameIterator frame;
  std::uint32_t width = static_cast<std::uint32_t>(features.width);
  std::uint32_t height = static_cast<std::uint32_t>(features.height);
  if (features.has_animation) {
    if (demuxer.Get() == nullptr) return SPI_BROKEN_DATA;
    width = WebPDemuxGetI(demuxer.Get(), WEBP_FF_CANVAS_WIDTH);
    height = WebPDemuxGetI(demuxer.Get(), WEBP_FF_CANVAS_HEIGHT);
    if (width == 0 || height == 0) return SPI_BROKEN_DATA;
    if (!WebPDemuxGetFrame(demuxer.Get(), 1, frame.Get())) return SPI_BROKEN_DATA;
  }
  std::uint64_t area = std::uint64_t{width} * height;
  if (area > spi_plugin::kMaxPixels || area * 4 > spi_plugin::kMaxBlockBytes) return SPI_NO_MEMORY;

  TDib dib;
  std::int32_t result = dib.Create(width, height, 32, 0, true);  // zeroed: transparent
  if (result != SPI_SUCCESS) return result;
  bool decoded = features.has_animation
                     ? DecodeInto(frame.Get()->fragment.bytes, frame.Get()->fragment.size,
                                  frame.Get()->width, frame.Get()->height, frame.Get()->x_offset,
                                  frame.Get()->y_offset, width, height, dib.Pixels())
                     : DecodeInto(data, size, features.width, features.height, 0, 0, width, height,
                                  dib.Pixels());
  if (!decoded) return SPI_BROKEN_DATA;
  dib.PackTo24Bits([](const std::uint8_t *bgra, std::uint8_t *bgr) {
    bgr[0] = spi_plugin::OverWhite(bgra[0], bgra[3]);
    bgr[1] = spi_plugin::OverWhite(bgra[1], bgra[3]);
    bgr[2] = spi_plugin::OverWhite(bgra[2], bgra[3]);
  });
  return dib.Deliver(info, pixels);
}

// The picture's size: an animation's canvas, else the still image's; it comes at 24 bits.
std::int32_t Info(const std::uint8_t *data, std::size_t size, std::uint32_t &width,
                  std::uint32_t &height, int &bits) {
  WebPBitstreamFeatures features;
  if (WebPGetFeatures(data, size, &features) != VP8_STATUS_OK) return SPI_BROKEN_DATA;
  if (features.width <= 0 || features.height <= 0) return SPI_BROKEN_DATA;
  width = static_cast<std::uint32_t>(features.width);
  height = static_cast<std::uint32_t>(features.height);
  if (features.has_animation) {
    WebPData webp_data{data, size};
    TDemuxer demuxer(webp_data);
    if (demuxer.Get() == nullptr) return SPI_BROKEN_DATA;
    width = WebPDemuxGetI(demuxer.Get(), WEBP_FF_CANVAS_WIDTH);
    height = WebPDemuxGetI(demuxer.Get(), WEBP_FF_CANVAS_HEIGHT);
  }
  bits = 24;
  return SPI_SUCCESS;
}

// A RIFF container of form "WEBP".
// The EXIF, XMP and ICCP chunks of an extended file.
std::int32_t ReadMetadata(const std::uint8_t *data, std::size_t size,
                          spi_plugin::TMetadataBlock &block) {
  TDemuxer demuxer(WebPData{data, size});
  if (demuxer.Get() == nullptr) return SPI_BROKEN_DATA;
  const std::uint32_t flags = WebPDemuxGetI(demuxer.Get(), WEBP_FF_FORMAT_FLAGS);
  auto chunk = [&](const char *fourcc, std::uint32_t flag, auto add) {
    if ((flags & flag) == 0) return;
    WebPChunkIterator iterator{};
    if (WebPDemuxGetChunk(demuxer.Get(), fourcc, 1, &iterator))
      add(iterator.chunk.bytes, iterator.chunk.size);
    WebPDemuxReleaseChunkIterator(&iterator);
  };
  chunk("EXIF", EXIF_FLAG,
        [&](const std::uint8_t *bytes, std::size_t n) { block.AddExif(bytes, n); });
  chunk("XMP ", XMP_FLAG,
        [&](const std::uint8_t *bytes, std::size_t n) { block.Add(SPI_METADATA_XMP, bytes, n); });
  chunk("ICCP", ICCP_FLAG,
        [&](const std::uint8_t *bytes, std::size_t n) { block.Add(SPI_METADATA_ICC, bytes, n); });
  return SPI_SUCCESS;
}

bool IsWebp(const std::uint8_t *head) {
  return std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WEBP", 4) == 0;
}

}  // namespace

// The exported functions spi.h asks for.
extern "C" {

SPI_PICTURE_PLUGIN_EXPORTS(kTexts, IsWebp, Info, Decode)
SPI_METADATA_EXPORT(ReadMetadata)

}  // extern "C"
