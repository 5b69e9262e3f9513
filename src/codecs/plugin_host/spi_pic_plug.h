// One loaded picture plug-in: its shared object, its information texts and its exports.
#pragma once

#include <string>

#include "codecs/plugin_host/spi_shared_library.h"
#include "spi.h"

namespace qv {

struct TPicPlug {
  TSharedLibrary module;
  std::string folder;        // left empty, as the plug-in's path is not needed after loading
  std::string file_name;     // name of the plug-in file, without its folder
  std::string name;          // information item 1
  std::string version;       // information item 0 ("00IN")
  std::string file_pattern;  // information item 2
  std::string description;   // information item 3
  SpiGetPluginInfoFunc get_plugin_info = nullptr;
  SpiIsSupportedFunc is_supported = nullptr;
  SpiGetPictureInfoFunc get_picture_info = nullptr;
  SpiGetPictureFunc get_picture = nullptr;
  SpiGetPreviewFunc get_preview = nullptr;
  SpiConfigurationDlgFunc configuration_dlg = nullptr;
  // The optional extensions (null where the plug-in has none).
  SpiGetPictureMetadataFunc get_picture_metadata = nullptr;
  SpiGetPictureErrorFunc get_picture_error = nullptr;
  // GetPluginFlags says every export may run on several threads at once; else the host makes
  // the calls to the plug-in one at a time.
  bool concurrent = false;
};

}  // namespace qv
