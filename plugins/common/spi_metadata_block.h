// Building the metadata block a plug-in's GetPictureMetadata hands over (see spi.h): EXIF, ICC
// profile, XMP and the orientation the picture was already turned by, as tagged records.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "spi.h"
#include "spi_plugin_support.h"

namespace spi_plugin {

class TMetadataBlock {
 public:
  // Adds a record of kind with size bytes of data; an empty one, or one of 1 GiB or more, is
  // left out.
  void Add(std::uint32_t kind, const std::uint8_t *data, std::size_t size) {
    if (size == 0 || size >= kMaxBlockBytes) return;
    SpiMetadataRecord head{kind, static_cast<std::uint32_t>(size)};
    const std::size_t at = bytes_.size();
    bytes_.resize(at + sizeof head + (size + 3) / 4 * 4, 0);
    std::memcpy(bytes_.data() + at, &head, sizeof head);
    std::memcpy(bytes_.data() + at + sizeof head, data, size);
  }
  void Add(std::uint32_t kind, const std::vector<std::uint8_t> &data) {
    Add(kind, data.data(), data.size());
  }
  // The orientation (1 to 8, as EXIF numbers them) the picture was turned by.
  void AddOrientation(std::uint32_t orientation) {
    std::uint8_t value[4] = {static_cast<std::uint8_t>(orientation), 0, 0, 0};
    Add(SPI_METADATA_ORIENTATION, value, sizeof value);
  }
  // An EXIF block as a file format stores it (possibly behind a "Exif\0\0" header or an offset
  // field): the TIFF data from the first byte-order mark in its first 64 bytes on.
  void AddExif(const std::uint8_t *data, std::size_t size) {
    for (std::size_t at = 0; at + 4 <= size && at < 64; ++at)
      if (std::memcmp(data + at, "II*\0", 4) == 0 || std::memcmp(data + at, "MM\0*", 4) == 0) {
        Add(SPI_METADATA_EXIF, data + at, size - at);
        return;
      }
  }

  // Hands the block to the caller (null when it is empty); an SPI_ result code.
  std::int32_t Deliver(HLOCAL *handle) const {
    if (handle == nullptr) return SPI_INTERNAL_ERROR;
    *handle = nullptr;
    if (bytes_.empty()) return SPI_SUCCESS;
    THandle block;
    if (!block.Allocate(bytes_.size())) return SPI_NO_MEMORY;
    std::memcpy(block.Data(), bytes_.data(), bytes_.size());
    *handle = block.Release();
    return SPI_SUCCESS;
  }

 private:
  std::vector<std::uint8_t> bytes_;
};

// What a plug-in adds for GetPictureMetadata: the metadata of a whole file (an SPI_ result
// code; it may throw, GetPictureMetadata catches).
using TMetadataFunc = std::int32_t (*)(const std::uint8_t *data, std::size_t size,
                                       TMetadataBlock &block);

// GetPictureMetadata for read: takes the input (memory or file) and hands over what read found.
// No exception leaves the plug-in.
inline std::int32_t GetPictureMetadata(const char *buffer, std::int32_t length, std::uint32_t flag,
                                       HLOCAL *metadata, TMetadataFunc read) noexcept {
  if (metadata == nullptr) return SPI_INTERNAL_ERROR;
  *metadata = nullptr;
  try {
    TInput input;
    std::int32_t result = OpenInput(buffer, length, flag, input);
    if (result != SPI_SUCCESS) return result;
    TMetadataBlock block;
    result = read(input.data, input.size, block);
    if (result != SPI_SUCCESS) return result;
    return block.Deliver(metadata);
  } catch (const std::bad_alloc &) {
    return SPI_NO_MEMORY;
  } catch (...) {
    return SPI_INTERNAL_ERROR;
  }
}

}  // namespace spi_plugin
