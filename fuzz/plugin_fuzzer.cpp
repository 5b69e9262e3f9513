// Fuzz target: one shipped picture plug-in's decode (linked in from its source), then the host's
// check and copy of the blocks it hands over.
//
// The input is the file. As the host does, the plug-in first sees it followed by zero bytes in
// IsSupported; a file it accepts goes to GetPictureInfo and to GetPicture from memory. A plug-in
// that reports success must hand over two blocks the host accepts, of the size GetPictureInfo
// told, and a failing one must leave no block behind (a leak is a finding as well). A plug-in
// with GetPictureMetadata is asked for the file's metadata too, whatever GetPicture said: a block
// it hands over must be whole records, each padded to 4 bytes, filling the block exactly.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "codecs/plugin_host/spi_dib_copy.h"
#include "fuzz_check.h"
#include "imaging/bitmap.h"
#include "runtime/exceptions.h"
#include "spi.h"

extern "C" {
std::int32_t IsSupported(const char* file_name, std::uintptr_t dw);
std::int32_t GetPictureInfo(const char* buffer, std::int32_t length, std::uint32_t flag,
                            SpiPictureInfo* info);
std::int32_t GetPicture(const char* buffer, std::int32_t length, std::uint32_t flag,
                        HLOCAL* info_handle, HLOCAL* pixel_handle, SpiProgressCallback progress,
                        std::intptr_t user_data);
// Only some plug-ins have it: weak, so the others link without it.
__attribute__((weak)) std::int32_t GetPictureMetadata(const char* buffer, std::int32_t length,
                                                      std::uint32_t flag, HLOCAL* metadata_handle);
}

namespace {

// Frees both handles on every path, as the host does.
struct TBlocks {
  HLOCAL info = nullptr;
  HLOCAL pixels = nullptr;
  ~TBlocks() {
    LocalFree(pixels);
    LocalFree(info);
  }
};

void CheckMetadata(const std::uint8_t* file, std::size_t size) {
  if (GetPictureMetadata == nullptr) return;
  HLOCAL metadata = nullptr;
  std::int32_t result =
      GetPictureMetadata(reinterpret_cast<const char*>(file), static_cast<std::int32_t>(size),
                         SPI_INPUT_MEMORY, &metadata);
  if (result != SPI_SUCCESS || metadata == nullptr) {
    QV_FUZZ_CHECK(metadata == nullptr);
    return;
  }
  const auto* bytes = static_cast<const std::uint8_t*>(LocalLock(metadata));
  const std::size_t length = LocalSize(metadata);
  std::size_t at = 0;
  while (at < length) {
    QV_FUZZ_CHECK(length - at >= sizeof(SpiMetadataRecord));
    SpiMetadataRecord record;
    std::memcpy(&record, bytes + at, sizeof record);
    const std::size_t padded = (std::size_t{record.length} + 3) / 4 * 4;
    QV_FUZZ_CHECK(record.length > 0 && padded <= length - at - sizeof record);
    if (record.kind == SPI_METADATA_ORIENTATION) {
      QV_FUZZ_CHECK(record.length == 4);
      QV_FUZZ_CHECK(bytes[at + 8] >= 1 && bytes[at + 8] <= 8);
    }
    if (record.kind == SPI_METADATA_EXIF)
      QV_FUZZ_CHECK(std::memcmp(bytes + at + 8, "II", 2) == 0 ||
                    std::memcmp(bytes + at + 8, "MM", 2) == 0);
    at += sizeof record + padded;
  }
  LocalUnlock(metadata);
  LocalFree(metadata);
}

}  // namespace

QV_FUZZ_ENTRY(plugin) {
  std::vector<std::uint8_t> padded(data, data + size);
  padded.resize(size + 2 * SPI_HEADER_BYTES, 0);
  if (IsSupported(nullptr, reinterpret_cast<std::uintptr_t>(padded.data())) == 0) return 0;
  CheckMetadata(padded.data(), size);
  // What the plug-in tells before decoding, asked as the host asks it.
  SpiPictureInfo told{};
  const std::int32_t told_result =
      GetPictureInfo(reinterpret_cast<const char*>(padded.data()), static_cast<std::int32_t>(size),
                     SPI_INPUT_MEMORY, &told);
  QV_FUZZ_CHECK(told.hInfo == nullptr);
  TBlocks blocks;
  std::int32_t result =
      GetPicture(reinterpret_cast<const char*>(padded.data()), static_cast<std::int32_t>(size),
                 SPI_INPUT_MEMORY, &blocks.info, &blocks.pixels, nullptr, 0);
  if (result != SPI_SUCCESS) {
    QV_FUZZ_CHECK(blocks.info == nullptr && blocks.pixels == nullptr);
    return 0;
  }
  QV_FUZZ_CHECK(blocks.info != nullptr && blocks.pixels != nullptr);
  auto* info = static_cast<const std::uint8_t*>(LocalLock(blocks.info));
  auto* pixels = static_cast<const std::uint8_t*>(LocalLock(blocks.pixels));
  QV_FUZZ_CHECK(info != nullptr && pixels != nullptr);
  // What a shipped plug-in hands over always adds up: the host must take it at its own depth.
  qv::TBitmap image;
  try {
    qv::CopyPluginDib(std::span(info, LocalSize(blocks.info)),
                      std::span(pixels, LocalSize(blocks.pixels)), image);
  } catch (const qv::Exception&) {
    QV_FUZZ_CHECK(false);
  }
  QV_FUZZ_CHECK(!image.Empty());
  // The size told beforehand is the size decoded.
  QV_FUZZ_CHECK(told_result == SPI_SUCCESS && told.width == image.Width() &&
                told.height == std::abs(image.Height()));
  volatile std::uint8_t sink = 0;
  for (int y = 0; y < image.Height(); ++y) {
    const std::uint8_t* row = image.ScanLine(y);
    sink = sink + row[0] + row[image.RowSize() - 1];
  }
  LocalUnlock(blocks.pixels);
  LocalUnlock(blocks.info);
  return 0;
}
