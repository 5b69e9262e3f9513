// The version block of an executable: an ELF section of our own, and reading one line of it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qv::gui {

// The section the build places the version block in.
inline constexpr char kVersionSectionName[] = ".qv_version";

// The keys of the version block's string table, each with its leading backslash.
inline constexpr const char* kVersionInfoKeys[8] = {
    "\\CompanyName",    "\\FileDescription",  "\\FileVersion", "\\InternalName",
    "\\LegalCopyright", "\\OriginalFilename", "\\ProductName", "\\ProductVersion"};

inline constexpr char kUnidentified[] = "unidentified";

// The bytes of the named section of an ELF file (32 or 64 bits, either byte order); nullopt
// when the file cannot be read, is no ELF file or has no such section. Every offset is checked
// against the file's size.
std::optional<std::vector<char>> ReadElfSection(const std::string& path, const std::string& name);

// The version block: NUL-terminated "query=value" entries. Returns the value of the query
// ("\VarFileInfo\Translation", "\StringFileInfo\041104B0\FileVersion"), nullopt when absent.
std::optional<std::string> QueryVersionValue(const std::vector<char>& block,
                                             const std::string& query);

// One line of the file's version block: the key without its backslash, " : " and the value
// ("None" when the key is missing). Index 0 to 7 picks the key, any other index FileVersion.
// "unidentified" for a file without a block or without a translation entry.
std::string GetVersionInfoString(const std::string& path, int index);

}  // namespace qv::gui
