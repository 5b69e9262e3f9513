// The image plug-in host: loads ".spi" plug-ins from a folder and decodes files through them.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "runtime/translation.h"

namespace qv {

class TBitmap;
class TMemoryStream;
struct TPicPlug;
struct TPluginMetadata;

// The message of a file whose plug-in failed and said why; %s is its reason (English, as the
// plug-in gives it).
inline constexpr char kPluginFailedText[] = N_("the plug-in could not decode it: %s");

// Owns the loaded picture plug-ins until it is destroyed (or Unload() runs).
class TSpiLib32 {
 public:
  TSpiLib32();
  ~TSpiLib32();
  TSpiLib32(const TSpiLib32 &) = delete;
  TSpiLib32 &operator=(const TSpiLib32 &) = delete;

  // Loads every "*.spi" file (extension in any case) of the folder, file names sorted so the
  // order is stable. A file that is not a loadable shared object, lacks GetPluginInfo,
  // IsSupported or GetPicture, or reports an interface version other than "00IN" is skipped
  // without a message. May be called for several folders; plug-ins add up in call order, and a
  // file named as a plug-in already loaded from an earlier folder is passed over.
  void LoadPlugins(const std::string &folder);

  // Decodes the file through the first picture plug-in whose IsSupported accepts it. Leaves
  // image untouched (an empty image stays empty) when none accepts. Raises EAbort (the silent
  // abort) when an accepting plug-in fails or returns blocks that do not add up; a plug-in that
  // says why it failed (GetPictureError) raises EInvalidGraphic instead, its message
  // kPluginFailedText with the plug-in's reason. A file that cannot be read raises the stream
  // errors of ReadWholeFile.
  // With metadata, a plug-in that has GetPictureMetadata is also asked what it knows of the
  // picture (left empty otherwise, and when the plug-in has nothing or fails to say).
  // May be called from several threads at once: calls to a plug-in that does not say it allows
  // that (GetPluginFlags) are made one at a time.
  void LoadFromFile(const std::string &file_name, TBitmap &image,
                    TPluginMetadata *metadata = nullptr);
  // The same for bytes already in memory (the whole stream content).
  void LoadFromStream(const TMemoryStream &stream, TBitmap &image,
                      TPluginMetadata *metadata = nullptr);
  // The width and height the first plug-in whose IsSupported accepts the file declares through
  // GetPictureInfo, asked before anything is decoded (the file is mapped, not read). Nothing when
  // the file cannot be mapped, none accepts it, or the accepting one has no GetPictureInfo or
  // fails in it.
  std::optional<std::pair<int, int>> PictureSize(const std::string &file_name);

  // Releases every plug-in (also done by the destructor). Names and filters are kept.
  void Unload();

  // File patterns of all loaded picture plug-ins in load order, each followed by ";".
  const std::string &PFilter() const { return p_filter_; }
  // The same for archive plug-ins: always empty (archive plug-ins are not loaded).
  const std::string &AFilter() const { return a_filter_; }
  // Names (information item 1) of the loaded picture plug-ins, in load order.
  const std::vector<std::string> &PicPlugInList() const { return pic_plugin_list_; }
  // Names of archive plug-ins: always empty.
  const std::vector<std::string> &ArcPlugInList() const { return arc_plugin_list_; }
  // The loaded picture plug-in entries, in load order.
  const std::vector<std::unique_ptr<TPicPlug>> &PicPlugs() const { return pic_plugs_; }

 private:
  std::string p_filter_;
  std::string a_filter_;
  std::vector<std::string> pic_plugin_list_;
  std::vector<std::string> arc_plugin_list_;
  std::vector<std::unique_ptr<TPicPlug>> pic_plugs_;
  // Held while a plug-in that does not allow overlapping calls is called.
  std::mutex serial_;
};

// The folders searched for plug-ins: the executable's folder first, then the folder the
// installed program keeps its plug-ins in, found relative to the executable's folder (left out
// when it is the same folder). Each ends in "/".
std::vector<std::string> DefaultPluginFolders();

}  // namespace qv
