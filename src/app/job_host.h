// What the conversion job asks of its host: cursor, message box, display size and plug-ins.
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "codecs/plugin_host/spi_metadata.h"

namespace qv {

class TBitmap;

enum class TCursor { crDefault, crHourGlass };

class IJobHost {
 public:
  virtual ~IJobHost() = default;
  virtual TCursor Cursor() const = 0;
  virtual void SetCursor(TCursor cursor) = 0;
  // A message box of the error kind with one "OK" button; text may hold CR LF line breaks.
  virtual void ShowErrorMessage(const std::string& text, const std::string& caption) = 0;
  // Width and height of the primary display in pixels (throws when there is none to ask).
  virtual std::pair<int, int> PrimaryDisplaySize() = 0;
  // Reads a file through the plug-in host into image; leaves image empty when no plug-in
  // accepts the file, raises the silent abort when an accepting plug-in fails.
  virtual void ReadByPlugins(const std::string& file_name, TBitmap& image) = 0;
  // The same, and metadata gets what the accepting plug-in tells of the picture (its EXIF block,
  // ICC profile, XMP packet and the orientation it already turned it by). A host that cannot ask
  // reads as ReadByPlugins and leaves metadata empty, which is what this default does.
  virtual void ReadByPluginsWithMetadata(const std::string& file_name, TBitmap& image,
                                         TPluginMetadata& metadata) {
    metadata = TPluginMetadata();
    ReadByPlugins(file_name, image);
  }
  // True when ReadByPlugins and ReadByPluginsWithMetadata may run on several threads at once
  // (the plug-in host then takes turns only for the plug-ins that ask for it); the jobs of a
  // parallel drop otherwise read through the plug-ins one at a time.
  virtual bool PluginReadsMayOverlap() const { return false; }
  // The width and height a plug-in that accepts the file says its picture has, read before it
  // is decoded; nothing when none accepts it or the accepting one does not tell.
  virtual std::optional<std::pair<int, int>> PictureSizeByPlugins(
      const std::string& /*file_name*/) {
    return std::nullopt;
  }
  // A file was converted, but with a reservation the user should hear about (text in English,
  // without the file name, e.g. that the picture may be incomplete). Hosts that have nowhere to
  // say it keep silent.
  virtual void FileWarning(const std::string& /*file_name*/, const std::string& /*text*/) {}
  // A second input of the drop has the output an earlier one was written to; overwritten tells
  // whether it replaces it (OverWrite 1) or is passed over.
  virtual void SameOutputTwice(const std::string& /*earlier_input*/, const std::string& /*input*/,
                               const std::string& /*output*/, bool /*overwritten*/) {}
};

}  // namespace qv
