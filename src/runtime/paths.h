// File-name helpers ("/" separated, names are bytes in the locale's charset) and file tests.
#pragma once

#include <string>
#include <string_view>

namespace qv {

inline constexpr char kPathDelimiter = '/';

// The folder part of a path up to and including its last "/" ("" when there is none).
std::string ExtractFilePath(std::string_view path);
// The name after the last "/".
std::string ExtractFileName(std::string_view path);
// The extension of the name part, from its last "." on, dot included ("" when none).
std::string ExtractFileExt(std::string_view path);
// The path with the name's extension (from its last ".") replaced by ext, or ext appended.
std::string ChangeFileExt(std::string_view path, std::string_view ext);
// The path with a "/" appended unless it already ends in one ("" gives "/").
std::string IncludeTrailingPathDelimiter(std::string_view path);

// True when path names an existing regular file (directories, FIFOs and devices do not count).
bool FileExists(const std::string& path);
// True when path names an existing directory.
bool DirectoryExists(const std::string& path);
// Creates the directory and every missing parent. Throws EFCreateError naming the folder that
// could not be created (or that exists as something other than a directory).
void ForceDirectories(const std::string& path);

// The running program's absolute path (from /proc/self/exe).
std::string ExecutableFileName();

// The text the system gives for an errno value.
std::string SystemErrorMessage(int error_number);

}  // namespace qv
