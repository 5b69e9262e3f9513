// The installed folders, found from the executable's folder through the relative paths the
// build was configured with.
#include "runtime/install_layout.h"

#include <filesystem>

#include "runtime/paths.h"

// Relative paths from the installed executables' folder; the build defines both.
#ifndef QV_BIN_TO_PLUGINS
#define QV_BIN_TO_PLUGINS "../lib/quenvale/plugins"
#endif
#ifndef QV_BIN_TO_MANUAL
#define QV_BIN_TO_MANUAL "../share/quenvale/manual"
#endif

namespace qv {

namespace {

// folder joined with relative, ".." and "." steps resolved, ending in "/".
std::string Join(std::string_view folder, std::string_view relative) {
  std::filesystem::path joined = std::filesystem::path(std::string(folder)) / std::string(relative);
  return IncludeTrailingPathDelimiter(joined.lexically_normal().string());
}

}  // namespace

TInstallLayout InstallLayoutFrom(std::string_view exe_folder) {
  return {Join(exe_folder, QV_BIN_TO_PLUGINS), Join(exe_folder, QV_BIN_TO_MANUAL)};
}

bool IsInstalled(std::string_view exe_folder) {
  return !exe_folder.empty() && DirectoryExists(InstallLayoutFrom(exe_folder).plugins);
}

std::string FindManual(std::string_view exe_path, std::string_view ext) {
  std::string beside = ChangeFileExt(exe_path, ext);
  if (FileExists(beside)) return beside;
  std::string installed =
      InstallLayoutFrom(ExtractFilePath(exe_path)).manual + "quenvale" + std::string(ext);
  if (FileExists(installed)) return installed;
  return {};
}

}  // namespace qv
