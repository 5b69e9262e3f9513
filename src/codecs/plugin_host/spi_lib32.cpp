// The image plug-in host: finding and loading ".spi" plug-ins and decoding through them.
#include "codecs/plugin_host/spi_lib32.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <span>
#include <utility>

#include "codecs/plugin_host/spi_dib_copy.h"
#include "codecs/plugin_host/spi_metadata.h"
#include "codecs/plugin_host/spi_pic_plug.h"
#include "imaging/bitmap.h"
#include "imaging/image_limits.h"
#include "runtime/exceptions.h"
#include "runtime/install_layout.h"
#include "runtime/mapped_file.h"
#include "runtime/paths.h"
#include "runtime/stream.h"
#include "runtime/strings.h"
#include "spi.h"

namespace qv {

namespace {

// Zero bytes after the file copy, so a plug-in's IsSupported may read SPI_HEADER_BYTES of a
// shorter file. Twice the promise, for plug-ins that look a little further.
constexpr std::size_t kZeroPadding = 2 * SPI_HEADER_BYTES;

bool HasPluginExtension(const std::string &name) {
  if (name.size() <= 4 || name[0] == '.') return false;  // dot files are hidden
  std::string ext = name.substr(name.size() - 4);
  for (char &c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return ext == ".spi";
}

// The plug-in file names of the folder, sorted.
std::vector<std::string> PluginFiles(const std::string &folder) {
  std::vector<std::string> names;
  DIR *dir = opendir(folder.c_str());
  if (dir == nullptr) return names;
  while (dirent *entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (HasPluginExtension(name)) names.push_back(std::move(name));
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  std::vector<std::string> files;
  for (std::string &name : names) {
    std::string path = folder + name;
    struct stat status;
    if (stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode))
      files.push_back(std::move(name));
  }
  return files;
}

// Information item number, as a zero-terminated text however the plug-in filled the buffer.
std::string PluginInfo(SpiGetPluginInfoFunc get_plugin_info, int number) {
  char buffer[256] = {};
  get_plugin_info(number, buffer, 255);
  buffer[255] = '\0';
  return buffer;
}

template <typename Function>
Function Export(const TSharedLibrary &module, const char *name) {
  return reinterpret_cast<Function>(module.Symbol(name));
}

// The two result handles of one GetPicture call: on every path, unlocks the pixel block, then
// the information block, then frees the pixel block, then the information block. Null handles
// are accepted by all four calls.
class TResultHandles {
 public:
  TResultHandles() = default;
  ~TResultHandles() {
    LocalUnlock(pixels_);
    LocalUnlock(info_);
    LocalFree(pixels_);
    LocalFree(info_);
  }
  TResultHandles(const TResultHandles &) = delete;
  TResultHandles &operator=(const TResultHandles &) = delete;

  HLOCAL *InfoReceiver() { return &info_; }
  HLOCAL *PixelReceiver() { return &pixels_; }
  HLOCAL Info() const { return info_; }
  HLOCAL Pixels() const { return pixels_; }

 private:
  HLOCAL info_ = nullptr;
  HLOCAL pixels_ = nullptr;
};

// One call of a plug-in's exports: under the host's lock unless the plug-in allows overlapping
// calls.
class TPluginCall {
 public:
  TPluginCall(const TPicPlug &plug, std::mutex &serial) : lock_(serial, std::defer_lock) {
    if (!plug.concurrent) lock_.lock();
  }

 private:
  std::unique_lock<std::mutex> lock_;
};

// Why the plug-in's last GetPicture on this thread failed, as it says (empty when it cannot).
std::string FailureReason(const TPicPlug &plug) {
  if (plug.get_picture_error == nullptr) return {};
  char buffer[256] = {};
  plug.get_picture_error(buffer, 255);
  buffer[255] = '\0';
  std::string reason = buffer;
  // One line: whatever ends the text (a line break a library left in) is no part of it.
  reason.erase(reason.find_last_not_of(" \t\r\n") + 1);
  return reason;
}

// The plug-in's metadata block for the input, read (empty when it has none or fails to say).
TPluginMetadata MetadataFrom(const TPicPlug &plug, const std::vector<std::uint8_t> &buffer,
                             std::size_t file_length) {
  class TBlock {
   public:
    ~TBlock() {
      LocalUnlock(handle);
      LocalFree(handle);
    }
    HLOCAL handle = nullptr;
  } block;
  std::int32_t result = plug.get_picture_metadata(reinterpret_cast<const char *>(buffer.data()),
                                                  static_cast<std::int32_t>(file_length),
                                                  SPI_INPUT_MEMORY, &block.handle);
  auto *bytes = static_cast<const std::uint8_t *>(LocalLock(block.handle));
  if (result != SPI_SUCCESS || bytes == nullptr) return {};
  return ParsePluginMetadata(std::span(bytes, LocalSize(block.handle)));
}

// Decodes the padded buffer (file bytes, then zeros) through the accepting plug-in, and asks it
// for the picture's metadata when there is a place for it.
void DecodeWith(const TPicPlug &plug, std::mutex &serial, const std::vector<std::uint8_t> &buffer,
                std::size_t file_length, TBitmap &image, TPluginMetadata *metadata) {
  TResultHandles handles;
  std::int32_t result = SPI_INTERNAL_ERROR;
  std::string reason;
  {
    TPluginCall call(plug, serial);
    try {
      result = plug.get_picture(reinterpret_cast<const char *>(buffer.data()),
                                static_cast<std::int32_t>(file_length), SPI_INPUT_MEMORY,
                                handles.InfoReceiver(), handles.PixelReceiver(), nullptr, 0);
    } catch (const std::exception &) {
      // A plug-in written in C++ that lets an exception out is a failed decode as well.
    }
    if (result != SPI_SUCCESS) reason = FailureReason(plug);
  }
  // A plug-in that says why it failed has its reason in the file's message; for the others the
  // failure is the silent abort.
  if (result != SPI_SUCCESS && !reason.empty())
    throw EInvalidGraphic(FormatText(Tr(kPluginFailedText), {reason}));
  try {
    if (result != SPI_SUCCESS) Abort();
    auto *pixels = static_cast<const std::uint8_t *>(LocalLock(handles.Pixels()));
    auto *info = static_cast<const std::uint8_t *>(LocalLock(handles.Info()));
    if (pixels == nullptr || info == nullptr) Abort();
    CopyPluginDib(std::span(info, LocalSize(handles.Info())),
                  std::span(pixels, LocalSize(handles.Pixels())), image);
  } catch (const EOutOfMemory &) {
    throw;  // a well-formed image beyond the size limits: say so, as the other readers do
  } catch (const std::exception &) {
    Abort();
  }
  if (metadata != nullptr && plug.get_picture_metadata != nullptr) {
    TPluginCall call(plug, serial);
    *metadata = MetadataFrom(plug, buffer, file_length);
  }
}

// The file's bytes followed by zeros, for IsSupported.
std::vector<std::uint8_t> PaddedCopy(std::span<const std::uint8_t> bytes) {
  std::vector<std::uint8_t> buffer;
  try {
    buffer.reserve(bytes.size() + kZeroPadding);
  } catch (const std::bad_alloc &) {
    throw EOutOfMemory();
  }
  buffer.assign(bytes.begin(), bytes.end());
  buffer.resize(bytes.size() + kZeroPadding, 0);
  return buffer;
}

}  // namespace

TSpiLib32::TSpiLib32() = default;

TSpiLib32::~TSpiLib32() { Unload(); }

void TSpiLib32::LoadPlugins(const std::string &folder) {
  std::string base = folder.empty() ? std::string() : IncludeTrailingPathDelimiter(folder);
  if (base.empty()) return;
  for (const std::string &file_name : PluginFiles(base)) {
    // A plug-in of a folder searched earlier (the program's own) stands for the same file here.
    if (std::any_of(pic_plugs_.begin(), pic_plugs_.end(),
                    [&](const auto &plug) { return plug->file_name == file_name; }))
      continue;
    TSharedLibrary module = TSharedLibrary::Open(base + file_name);
    if (!module.Loaded()) continue;
    auto get_plugin_info = Export<SpiGetPluginInfoFunc>(module, "GetPluginInfo");
    if (get_plugin_info == nullptr) continue;
    if (PluginInfo(get_plugin_info, 0) != SPI_PICTURE_VERSION) continue;

    auto plug = std::make_unique<TPicPlug>();
    plug->get_plugin_info = get_plugin_info;
    plug->is_supported = Export<SpiIsSupportedFunc>(module, "IsSupported");
    plug->get_picture_info = Export<SpiGetPictureInfoFunc>(module, "GetPictureInfo");
    plug->get_picture = Export<SpiGetPictureFunc>(module, "GetPicture");
    plug->get_preview = Export<SpiGetPreviewFunc>(module, "GetPreview");
    plug->configuration_dlg = Export<SpiConfigurationDlgFunc>(module, "ConfigurationDlg");
    plug->get_picture_metadata = Export<SpiGetPictureMetadataFunc>(module, "GetPictureMetadata");
    plug->get_picture_error = Export<SpiGetPictureErrorFunc>(module, "GetPictureError");
    if (auto flags = Export<SpiGetPluginFlagsFunc>(module, "GetPluginFlags"))
      plug->concurrent = (flags() & SPI_PLUGIN_CONCURRENT) != 0;
    // The two calls every decode makes: a plug-in without them cannot serve and is not taken.
    if (plug->is_supported == nullptr || plug->get_picture == nullptr) continue;
    plug->file_name = file_name;
    plug->version = PluginInfo(get_plugin_info, 0);
    plug->name = PluginInfo(get_plugin_info, 1);
    plug->file_pattern = PluginInfo(get_plugin_info, 2);
    plug->description = PluginInfo(get_plugin_info, 3);
    plug->module = std::move(module);
    p_filter_ += plug->file_pattern + ";";
    pic_plugin_list_.push_back(plug->name);
    pic_plugs_.push_back(std::move(plug));
  }
}

void TSpiLib32::LoadFromFile(const std::string &file_name, TBitmap &image,
                             TPluginMetadata *metadata) {
  TFileStream file(file_name);
  std::int64_t size = file.Size();
  CheckDecodedBytes(static_cast<std::uint64_t>(size));
  TMemoryStream stream;
  stream.SetSize(static_cast<std::size_t>(size));
  file.ReadBuffer(stream.Bytes().data(), static_cast<std::size_t>(size));
  LoadFromStream(stream, image, metadata);
}

void TSpiLib32::LoadFromStream(const TMemoryStream &stream, TBitmap &image,
                               TPluginMetadata *metadata) {
  const std::vector<std::uint8_t> &bytes = stream.Bytes();
  // The length a plug-in receives is 32-bit; the size limit keeps files far below it.
  CheckDecodedBytes(bytes.size());
  static_assert(kMaxDecodedBytes <= std::numeric_limits<std::int32_t>::max());
  if (metadata != nullptr) *metadata = TPluginMetadata();
  if (pic_plugs_.empty()) return;
  // The plug-ins get their own copy, padded with zeros for IsSupported.
  const std::vector<std::uint8_t> buffer = PaddedCopy(bytes);
  for (const auto &plug : pic_plugs_) {
    std::int32_t accepted;
    {
      TPluginCall call(*plug, serial_);
      accepted = plug->is_supported(nullptr, reinterpret_cast<std::uintptr_t>(buffer.data()));
    }
    if (accepted == 0) continue;
    DecodeWith(*plug, serial_, buffer, bytes.size(), image, metadata);
    return;
  }
}

std::optional<std::pair<int, int>> TSpiLib32::PictureSize(const std::string &file_name) {
  if (pic_plugs_.empty()) return std::nullopt;
  TMappedFile file(file_name);
  const std::span<const std::uint8_t> bytes = file.Bytes();
  if (bytes.empty() || bytes.size() > kMaxDecodedBytes) return std::nullopt;
  // IsSupported looks at the file's start, padded with zeros as for decoding.
  std::vector<std::uint8_t> head(2 * kZeroPadding, 0);
  std::copy_n(bytes.begin(), std::min(bytes.size(), kZeroPadding), head.begin());
  for (const auto &plug : pic_plugs_) {
    if (plug->is_supported(nullptr, reinterpret_cast<std::uintptr_t>(head.data())) == 0) continue;
    if (plug->get_picture_info == nullptr) return std::nullopt;
    SpiPictureInfo info{};
    std::int32_t result = SPI_INTERNAL_ERROR;
    try {
      result =
          plug->get_picture_info(reinterpret_cast<const char *>(bytes.data()),
                                 static_cast<std::int32_t>(bytes.size()), SPI_INPUT_MEMORY, &info);
    } catch (...) {
      return std::nullopt;  // a plug-in written in C++ that lets an exception out tells nothing
    }
    LocalFree(info.hInfo);
    if (result != SPI_SUCCESS || info.width <= 0 || info.height <= 0) return std::nullopt;
    return std::make_pair(static_cast<int>(info.width), static_cast<int>(info.height));
  }
  return std::nullopt;
}

void TSpiLib32::Unload() {
  while (!pic_plugs_.empty()) pic_plugs_.pop_back();  // last loaded is released first
}

std::vector<std::string> DefaultPluginFolders() {
  std::string own = ExtractFilePath(ExecutableFileName());
  if (own.empty()) return {};
  std::vector<std::string> folders{own};
  std::string installed = InstallLayoutFrom(own).plugins;
  struct stat a, b;
  bool same = installed == own || (stat(own.c_str(), &a) == 0 && stat(installed.c_str(), &b) == 0 &&
                                   a.st_dev == b.st_dev && a.st_ino == b.st_ino);
  if (!same) folders.push_back(installed);
  return folders;
}

}  // namespace qv
