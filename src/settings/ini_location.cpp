// Where the INI file lives: the executable's folder when it can be written and the program is not
// an installed one, else the user's.
#include "settings/ini_location.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "runtime/install_layout.h"
#include "runtime/paths.h"

namespace qv {

namespace {

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home && *home) return home;
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  struct passwd entry;
  struct passwd* result = nullptr;
  if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result &&
      result->pw_dir)
    return result->pw_dir;
  return "/";
}

bool FolderWritable(const std::string& folder) {
  std::string name = folder.empty() ? "." : folder;
  return DirectoryExists(name) && ::access(name.c_str(), W_OK | X_OK) == 0;
}

}  // namespace

std::string UserConfigIniPath(std::string_view file_name) {
  std::string base;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') {
    base = xdg;
  } else {
    base = IncludeTrailingPathDelimiter(HomeFolder()) + ".config";
  }
  return IncludeTrailingPathDelimiter(base) + "quenvale/" + std::string(file_name);
}

std::string ResolveIniPath(const std::string& wanted) {
  // An installed program keeps its settings per user, even when it could write its own folder
  // (run as root): nothing is ever written beside the installed executables.
  const std::string folder = ExtractFilePath(wanted);
  if (!folder.empty() && folder == ExtractFilePath(ExecutableFileName()) && IsInstalled(folder))
    return UserConfigIniPath(ExtractFileName(wanted));
  if (FileExists(wanted) && ::access(wanted.c_str(), W_OK) == 0) return wanted;
  if (FolderWritable(ExtractFilePath(wanted))) return wanted;
  return UserConfigIniPath(ExtractFileName(wanted));
}

}  // namespace qv
