// The functions a plug-in exports, each passing to the shared code of spi_plugin_support.h and
// spi_metadata_block.h with the plug-in's own parts. Used inside the plug-in's extern "C" block:
//
//   extern "C" {
//   SPI_PICTURE_PLUGIN_EXPORTS(kTexts, IsGif, Info, Decode)
//   SPI_METADATA_EXPORT(ReadMetadata)                 // a plug-in that hands over metadata
//   SPI_ERROR_AND_FLAGS_EXPORTS(SPI_PLUGIN_CONCURRENT) // one that says why it failed
//   }
#pragma once

#include <cstdint>

#include "spi.h"

// GetPluginInfo, IsSupported, GetPictureInfo and GetPicture: texts is the plug-in's
// TPluginTexts, match its TMatchFunc, info its TInfoFunc, decode its TDecodeFunc.
#define SPI_PICTURE_PLUGIN_EXPORTS(texts, match, info, decode)                               \
  SPI_EXPORT std::int32_t GetPluginInfo(std::int32_t info_number, char *buffer,              \
                                        std::int32_t buffer_length) {                        \
    return spi_plugin::CopyPluginInfo(texts, info_number, buffer, buffer_length);            \
  }                                                                                          \
  SPI_EXPORT std::int32_t IsSupported(const char * /*file_name*/, std::uintptr_t dw) {       \
    return spi_plugin::IsSupported(dw, match);                                               \
  }                                                                                          \
  SPI_EXPORT std::int32_t GetPictureInfo(const char *buffer, std::int32_t length,            \
                                         std::uint32_t flag, SpiPictureInfo *picture_info) { \
    return spi_plugin::GetPictureInfo(buffer, length, flag, picture_info, info);             \
  }                                                                                          \
  SPI_EXPORT std::int32_t GetPicture(                                                        \
      const char *buffer, std::int32_t length, std::uint32_t flag, HLOCAL *info_handle,      \
      HLOCAL *pixel_handle, SpiProgressCallback /*progress*/, std::intptr_t /*user_data*/) { \
    return spi_plugin::GetPicture(buffer, length, flag, info_handle, pixel_handle, decode);  \
  }

// GetPictureMetadata: read is the plug-in's TMetadataFunc.
#define SPI_METADATA_EXPORT(read)                                                           \
  SPI_EXPORT std::int32_t GetPictureMetadata(const char *buffer, std::int32_t length,       \
                                             std::uint32_t flag, HLOCAL *metadata_handle) { \
    return spi_plugin::GetPictureMetadata(buffer, length, flag, metadata_handle, read);     \
  }

// GetPictureError (the reason SetLastError recorded) and GetPluginFlags.
#define SPI_ERROR_AND_FLAGS_EXPORTS(flags)                                            \
  SPI_EXPORT std::int32_t GetPictureError(char *buffer, std::int32_t buffer_length) { \
    return spi_plugin::CopyLastError(buffer, buffer_length);                          \
  }                                                                                   \
  SPI_EXPORT std::uint32_t GetPluginFlags() { return flags; }
