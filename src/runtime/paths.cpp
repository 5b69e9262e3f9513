// File-name helpers and file tests on POSIX.
#include "runtime/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "runtime/exceptions.h"

namespace qv {

std::string ExtractFilePath(std::string_view path) {
  auto slash = path.rfind(kPathDelimiter);
  if (slash == std::string_view::npos) return {};
  return std::string(path.substr(0, slash + 1));
}

std::string ExtractFileName(std::string_view path) {
  auto slash = path.rfind(kPathDelimiter);
  if (slash == std::string_view::npos) return std::string(path);
  return std::string(path.substr(slash + 1));
}

std::string ExtractFileExt(std::string_view path) {
  std::string name = ExtractFileName(path);
  auto dot = name.rfind('.');
  if (dot == std::string::npos) return {};
  return name.substr(dot);
}

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
  std::string folder = ExtractFilePath(path);
  std::string name = ExtractFileName(path);
  auto dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  return folder + name + std::string(ext);
}

std::string IncludeTrailingPathDelimiter(std::string_view path) {
  std::string out(path);
  if (out.empty() || out.back() != kPathDelimiter) out += kPathDelimiter;
  return out;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void ForceDirectories(const std::string& path) {
  std::string folder = path;
  while (folder.size() > 1 && folder.back() == kPathDelimiter) folder.pop_back();
  if (folder.empty() || DirectoryExists(folder)) return;
  std::string parent = ExtractFilePath(folder);
  if (!parent.empty() && parent != folder) ForceDirectories(parent);
  if (::mkdir(folder.c_str(), 0777) != 0) {
    int error = errno;
    if (error == EEXIST && DirectoryExists(folder)) return;
    if (error == EEXIST) error = ENOTDIR;
    throw EFCreateError(folder, SystemErrorMessage(error));
  }
}

std::string ExecutableFileName() {
  std::vector<char> buffer(4096);
  ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) return {};
  return std::string(buffer.data(), static_cast<std::size_t>(n));
}

std::string SystemErrorMessage(int error_number) {
  char buffer[256];
  // GNU strerror_r returns the text (which may not be in buffer).
  const char* text = ::strerror_r(error_number, buffer, sizeof buffer);
  return text;
}

}  // namespace qv
