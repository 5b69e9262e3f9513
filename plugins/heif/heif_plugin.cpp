// Picture plug-in for HEIF files (HEIC, and AVIF where libheif decodes AV1), over libheif: the
// primary picture, a grid whole, turned and mirrored as its properties say; never a thumbnail.
#include <libheif/heif.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "heif_orientation.h"
#include "spi.h"
#include "spi_metadata_block.h"
#include "spi_owned.h"
#include "spi_plugin_exports.h"
#include "spi_plugin_support.h"

namespace {

using spi_plugin::TDib;

const spi_plugin::TPluginTexts kTexts = {"HEIF plug-in for Quenvale 1.0 (libheif)",
                                         "*.heic;*.heif;*.hif;*.avif", "HEIF image (HEIC, AVIF)"};

// libheif's plug-ins are registered once, while the plug-in is loaded, before any thread decodes.
struct TLibrary {
  TLibrary() { heif_init(nullptr); }
  ~TLibrary() { heif_deinit(); }
} library;

struct TContext : spi_plugin::TOwned<heif_context, heif_context_free> {
  TContext() : TOwned(heif_context_alloc()) {}
};

using TImageHandle = spi_plugin::TOwned<heif_image_handle, heif_image_handle_release>;

using TImage = spi_plugin::TOwned<heif_image, heif_image_release>;

struct TDecodingOptions : spi_plugin::TOwned<heif_decoding_options, heif_decoding_options_free> {
  TDecodingOptions() : TOwned(heif_decoding_options_alloc()) {}
};

bool Failed(const heif_error &error) { return error.code != heif_error_Ok; }

// The result code for a libheif error, its text kept for GetPictureError.
std::int32_t Failure(const heif_error &error) {
  spi_plugin::SetLastError("HEIF: ", error.message);
  switch (error.code) {
    case heif_error_Memory_allocation_error: return SPI_NO_MEMORY;
    case heif_error_Unsupported_filetype:
    case heif_error_Unsupported_feature: return SPI_UNKNOWN_FORMAT;
    default: return SPI_BROKEN_DATA;
  }
}

// The file read into context and its primary picture's handle; an SPI_ result code.
std::int32_t OpenPrimary(const std::uint8_t *data, std::size_t size, TContext &context,
                         TImageHandle &handle) {
  if (context.Get() == nullptr) return SPI_NO_MEMORY;
  // Grid tiles are decoded on the calling thread: a host converting several files at once keeps
  // its threads busy itself, and a tile thread would hold a tile more in memory.
  heif_context_set_max_decoding_threads(context.Get(), 0);
  heif_error error = heif_context_read_from_memory_without_copy(context.Get(), data, size, nullptr);
  if (Failed(error)) return Failure(error);
  error = heif_context_get_primary_image_handle(context.Get(), handle.Receiver());
  if (Failed(error)) return Failure(error);
  return SPI_SUCCESS;
}

// One plane of the decoded picture: its rows and depth.
struct TPlane {
  const std::uint8_t *rows = nullptr;
  int stride = 0;
  std::uint32_t max = 255;  // the largest sample: 255, or 1023, 4095 ... for more than 8 bits
  bool wide = false;        // two bytes a sample

  bool Take(const heif_image *image, heif_channel channel) {
    rows = heif_image_get_plane_readonly(image, channel, &stride);
    int bits = heif_image_get_bits_per_pixel_range(image, channel);
    if (rows == nullptr || bits < 1 || bits > 16) return false;
    max = (1u << bits) - 1;
    wide = heif_image_get_bits_per_pixel(image, channel) > 8;
    return true;
  }
  std::uint32_t At(std::uint32_t x, std::uint32_t y) const {
    const std::uint8_t *row = rows + std::size_t{y} * static_cast<std::size_t>(stride);
    if (!wide) return row[x];
    std::uint16_t sample;
    std::memcpy(&sample, row + 2 * std::size_t{x}, 2);
    return sample;
  }
};

// A sample at its plane's depth as an 8-bit level, over white by its alpha when there is one
// (premultiplied: the colour already carries the alpha).
struct TLevel {
  const TPlane *alpha = nullptr;
  bool premultiplied = false;

  std::uint8_t operator()(const TPlane &plane, std::uint32_t x, std::uint32_t y) const {
    std::uint32_t value = plane.At(x, y);
    if (alpha == nullptr)
      return plane.max == 255 ? static_cast<std::uint8_t>(value)
                              : spi_plugin::ScaleTo8Bits(value, plane.max);
    const std::uint64_t max = plane.max;
    const std::uint64_t a = std::min<std::uint64_t>(alpha->At(x, y) * max / alpha->max, max);
    const std::uint64_t colour =
        premultiplied ? std::min<std::uint64_t>(value, a) * max : value * a;
    // (colour + white) / max^2, scaled to 255 and rounded.
    const std::uint64_t level = colour + max * (max - a);
    return static_cast<std::uint8_t>((level * 255 + max * max / 2) / (max * max));
  }
};

bool SamePlanes(const TPlane &a, const TPlane &b, std::uint32_t width, std::uint32_t height) {
  const std::size_t bytes = std::size_t{width} * (a.wide ? 2 : 1);
  if (a.wide != b.wide || a.max != b.max) return false;
  for (std::uint32_t y = 0; y < height; ++y)
    if (std::memcmp(a.rows + std::size_t{y} * static_cast<std::size_t>(a.stride),
                    b.rows + std::size_t{y} * static_cast<std::size_t>(b.stride), bytes) != 0)
      return false;
  return true;
}

std::int32_t Decode(const std::uint8_t *data, std::size_t size, HLOCAL *info, HLOCAL *pixels) {
  TContext context;
  TImageHandle handle;
  std::int32_t result = OpenPrimary(data, size, context, handle);
  if (result != SPI_SUCCESS) return result;

  // Refused by its declared size before anything is decoded: the picture as shown and as coded
  // (its size before the properties turn or crop it) must both be within the limits.
  const int shown_width = heif_image_handle_get_width(handle.Get());
  const int shown_height = heif_image_handle_get_height(handle.Get());
  const int coded_width = heif_image_handle_get_ispe_width(handle.Get());
  const int coded_height = heif_image_handle_get_ispe_height(handle.Get());
  if (shown_width <= 0 || shown_height <= 0) {
    spi_plugin::SetLastError("HEIF: ", "the picture has no pixels");
    return SPI_BROKEN_DATA;
  }
  for (std::uint64_t area : {std::uint64_t(shown_width) * std::uint64_t(shown_height),
                             std::uint64_t(coded_width > 0 ? coded_width : 0) *
                                 std::uint64_t(coded_height > 0 ? coded_height : 0)})
    if (area > spi_plugin::kMaxPixels || area * 4 > spi_plugin::kMaxBlockBytes) {
      spi_plugin::SetLastError("HEIF: ", "the picture is larger than a picture may be");
      return SPI_NO_MEMORY;
    }

  // The items the picture is made of (a grid's tiles, an overlay's canvas) state sizes of their
  // own, which libheif allocates by: none may be larger than the picture itself on either side,
  // or than 4096 (a tile may be larger than a small picture it is cut to).
  int side = std::max({4096, shown_width, shown_height, coded_width, coded_height});
  heif_context_set_maximum_image_size_limit(context.Get(), side + 1);

  TDecodingOptions options;
  if (options.Get() == nullptr) return SPI_NO_MEMORY;
  // Left undefined, libheif gives a grey picture as grey and any other as red, green and blue
  // planes at the coded depth.
  TImage image;
  heif_error error = heif_decode_image(handle.Get(), image.Receiver(), heif_colorspace_undefined,
                                       heif_chroma_undefined, options.Get());
  if (Failed(error)) return Failure(error);
  const auto width = static_cast<std::uint32_t>(heif_image_get_primary_width(image.Get()));
  const auto height = static_cast<std::uint32_t>(heif_image_get_primary_height(image.Get()));
  if (width != static_cast<std::uint32_t>(shown_width) ||
      height != static_cast<std::uint32_t>(shown_height)) {
    spi_plugin::SetLastError("HEIF: ", "the decoded picture is not of the size the file states");
    return SPI_BROKEN_DATA;
  }

  TPlane red, green, blue, alpha;
  const heif_colorspace colorspace = heif_image_get_colorspace(image.Get());
  bool colour;
  if (colorspace == heif_colorspace_monochrome) {
    colour = false;
    if (!red.Take(image.Get(), heif_channel_Y)) return SPI_BROKEN_DATA;
  } else if (colorspace == heif_colorspace_RGB &&
             heif_image_get_chroma_format(image.Get()) == heif_chroma_444) {
    if (!red.Take(image.Get(), heif_channel_R) || !green.Take(image.Get(), heif_channel_G) ||
        !blue.Take(image.Get(), heif_channel_B))
      return SPI_BROKEN_DATA;
    // A grey picture libheif gave in colour (the tiles of a grid are always joined in colour)
    // is still grey.
    colour = !SamePlanes(red, green, width, height) || !SamePlanes(red, blue, width, height);
  } else {
    spi_plugin::SetLastError("HEIF: ", "the picture came out in a layout this plug-in cannot read");
    return SPI_UNKNOWN_FORMAT;
  }
  TLevel level;
  if (heif_image_has_channel(image.Get(), heif_channel_Alpha)) {
    if (!alpha.Take(image.Get(), heif_channel_Alpha)) return SPI_BROKEN_DATA;
    level.alpha = &alpha;
    level.premultiplied = heif_image_handle_is_premultiplied_alpha(handle.Get()) != 0;
  }

  TDib dib;
  result = dib.Create(width, height, colour ? 24 : 8, colour ? 0 : 256, true);
  if (result != SPI_SUCCESS) return result;
  if (!colour) dib.SetGreyLevels();
  const bool plain = level.alpha == nullptr && red.max == 255;
  for (std::uint32_t y = 0; y < height; ++y) {
    std::uint8_t *row = dib.Row(y);
    if (!colour && plain) {
      std::memcpy(row, red.rows + std::size_t{y} * static_cast<std::size_t>(red.stride), width);
    } else if (!colour) {
      for (std::uint32_t x = 0; x < width; ++x) row[x] = level(red, x, y);
    } else if (plain) {
      const std::uint8_t *r = red.rows + std::size_t{y} * static_cast<std::size_t>(red.stride);
      const std::uint8_t *g = green.rows + std::size_t{y} * static_cast<std::size_t>(green.stride);
      const std::uint8_t *b = blue.rows + std::size_t{y} * static_cast<std::size_t>(blue.stride);
      for (std::uint32_t x = 0; x < width; ++x, row += 3) {
        row[0] = b[x];
        row[1] = g[x];
        row[2] = r[x];
      }
    } else {
      for (std::uint32_t x = 0; x < width; ++x, row += 3) {
        row[0] = level(blue, x, y);
        row[1] = level(green, x, y);
        row[2] = level(red, x, y);
      }
    }
  }
  return dib.Deliver(info, pixels);
}

// The primary picture's size as shown (turned and cropped as its properties say), read from the
// container alone; its depth as the colour picture it most often is.
std::int32_t Info(const std::uint8_t *data, std::size_t size, std::uint32_t &width,
                  std::uint32_t &height, int &bits) {
  TContext context;
  TImageHandle handle;
  std::int32_t result = OpenPrimary(data, size, context, handle);
  if (result != SPI_SUCCESS) return result;
  const int shown_width = heif_image_handle_get_width(handle.Get());
  const int shown_height = heif_image_handle_get_height(handle.Get());
  if (shown_width <= 0 || shown_height <= 0) return SPI_BROKEN_DATA;
  width = static_cast<std::uint32_t>(shown_width);
  height = static_cast<std::uint32_t>(shown_height);
  bits = 24;
  return SPI_SUCCESS;
}

// The primary picture's EXIF block, XMP packet, ICC profile and the orientation its properties
// turned it by.
std::int32_t ReadMetadata(const std::uint8_t *data, std::size_t size,
                          spi_plugin::TMetadataBlock &block) {
  TContext context;
  TImageHandle handle;
  std::int32_t result = OpenPrimary(data, size, context, handle);
  if (result != SPI_SUCCESS) return result;

  const int count = heif_image_handle_get_number_of_metadata_blocks(handle.Get(), nullptr);
  std::vector<heif_item_id> ids(count > 0 ? static_cast<std::size_t>(count) : 0);
  heif_image_handle_get_list_of_metadata_block_IDs(handle.Get(), nullptr, ids.data(), count);
  bool have_exif = false, have_xmp = false;
  for (heif_item_id id : ids) {
    const std::string type = heif_image_handle_get_metadata_type(handle.Get(), id);
    const std::string content_type = heif_image_handle_get_metadata_content_type(handle.Get(), id);
    const bool exif = type == "Exif" && !have_exif;
    const bool xmp = type == "mime" && content_type == "application/rdf+xml" && !have_xmp;
    if (!exif && !xmp) continue;
    const std::size_t bytes = heif_image_handle_get_metadata_size(handle.Get(), id);
    if (bytes == 0 || bytes >= spi_plugin::kMaxBlockBytes) continue;
    std::vector<std::uint8_t> content(bytes);
    if (Failed(heif_image_handle_get_metadata(handle.Get(), id, content.data()))) continue;
    if (exif) {
      block.AddExif(content.data(), content.size());  // after its offset field, at the TIFF data
      have_exif = true;
    } else {
      block.Add(SPI_METADATA_XMP, content);
      have_xmp = true;
    }
  }

  const heif_color_profile_type profile = heif_image_handle_get_color_profile_type(handle.Get());
  if (profile == heif_color_profile_type_prof || profile == heif_color_profile_type_rICC) {
    std::vector<std::uint8_t> icc(heif_image_handle_get_raw_color_profile_size(handle.Get()));
    if (!icc.empty() && !Failed(heif_image_handle_get_raw_color_profile(handle.Get(), icc.data())))
      block.Add(SPI_METADATA_ICC, icc);
  }

  if (int orientation = heif_plugin::PrimaryItemOrientation(data, size); orientation > 0)
    block.AddOrientation(static_cast<std::uint32_t>(orientation));
  return SPI_SUCCESS;
}

bool IsHeif(const std::uint8_t *head) {
  return heif_check_filetype(head, SPI_HEADER_BYTES) == heif_filetype_yes_supported;
}

}  // namespace

// The exported functions spi.h asks for, and its extensions.
extern "C" {

SPI_PICTURE_PLUGIN_EXPORTS(kTexts, IsHeif, Info, Decode)
SPI_METADATA_EXPORT(ReadMetadata)
SPI_ERROR_AND_FLAGS_EXPORTS(SPI_PLUGIN_CONCURRENT)

}  // extern "C"
