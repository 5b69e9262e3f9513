// Reading a plug-in's metadata block: records of a kind and a length, each padded to 4 bytes.
#include "codecs/plugin_host/spi_metadata.h"

#include <cstring>

#include "spi.h"

namespace qv {

TPluginMetadata ParsePluginMetadata(std::span<const std::uint8_t> block) {
  TPluginMetadata metadata;
  bool have_exif = false, have_icc = false, have_xmp = false, have_orientation = false;
  std::size_t at = 0;
  while (block.size() - at >= sizeof(SpiMetadataRecord)) {
    SpiMetadataRecord record;
    std::memcpy(&record, block.data() + at, sizeof record);
    at += sizeof record;
    if (record.length > block.size() - at) break;
    const std::span<const std::uint8_t> data = block.subspan(at, record.length);
    const std::size_t padding = (4 - record.length % 4) % 4;
    at += std::min(block.size() - at, record.length + padding);
    if (record.kind == SPI_METADATA_EXIF && !have_exif) {
      have_exif = true;
      if (data.size() >= 8 &&
          (std::memcmp(data.data(), "II", 2) == 0 || std::memcmp(data.data(), "MM", 2) == 0))
        metadata.exif.assign(data.begin(), data.end());
    } else if (record.kind == SPI_METADATA_ICC && !have_icc) {
      have_icc = true;
      metadata.icc_profile.assign(data.begin(), data.end());
    } else if (record.kind == SPI_METADATA_XMP && !have_xmp) {
      have_xmp = true;
      metadata.xmp.assign(data.begin(), data.end());
    } else if (record.kind == SPI_METADATA_ORIENTATION && !have_orientation) {
      have_orientation = true;
      std::uint32_t value = 0;
      if (data.size() == 4) {
        for (int i = 3; i >= 0; --i) value = value << 8 | data[static_cast<std::size_t>(i)];
        if (value >= 1 && value <= 8) metadata.orientation = static_cast<int>(value);
      }
    }
  }
  return metadata;
}

}  // namespace qv
