// The INI file: profile-format text read and written one key at a time, safely against crashes
// and against other processes writing the same file.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/exceptions.h"

namespace qv {

// A write to the INI file failed; the message is "%s に書き込めません" with the file's path.
class EIniFileError : public Exception {
 public:
  explicit EIniFileError(const std::string& path);
};

// Longest value a read returns, in bytes (a longer value is cut at a character boundary).
inline constexpr std::size_t kIniMaxValueLength = 2047;

// Reading: the file is read and parsed once, at the first read, and every read of the object
// answers from that one state of the file (a write makes the next read read the file again).
// Section and key names match without regard to ASCII case and with surrounding blanks
// trimmed; a value is the text after the first "=" with surrounding blanks trimmed. The first
// matching section and, within it, the first matching key win. Lines starting with ";" or "#"
// and lines without "=" are no keys. A missing or unreadable file reads as a file without keys.
// Line ends may be LF or CR LF; any other byte is kept as it is.
//
// Writing: each write reads the current file, changes it and puts it back under an advisory
// lock on a file of its own beside it (".<name>.quenvale-lock"), through a TFileReplacement
// (runtime/file_replacement.h says what it guarantees: whole or not at all, owner, group, mode,
// ACL and extended attributes kept; here a symbolic link is followed and stays), so a crash
// leaves the old file whole and two processes writing at once lose neither's keys. Only a regular
// file is read or replaced. An existing key is updated where it stands (the line keeps its key
// spelling and line end); a new key goes after the last non-blank line of its section; a new
// section is appended at the end of the file (after a blank line). Every other line is kept byte
// for byte. A new line takes the line end of the line it follows (CR LF or LF); after a last line
// without one, the line end of the file's first line (a last line ending in a bare CR is first
// completed to CR LF, and the new lines take CR LF). A value is written up to its first CR or LF,
// so it can never break into further lines. A missing folder is created.
class TIniFile {
 public:
  // Opening touches nothing on disk.
  explicit TIniFile(std::string path);

  const std::string& FileName() const { return path_; }

  // The value, or nullopt when the key (or the section, or the file) is missing.
  std::optional<std::string> ReadValue(std::string_view section, std::string_view key) const;
  std::string ReadString(std::string_view section, std::string_view key,
                         const std::string& fallback) const;
  // ParseIniInteger of the value; fallback when the key is missing or the text is no integer.
  std::int32_t ReadInteger(std::string_view section, std::string_view key,
                           std::int32_t fallback) const;
  // ReadInteger with 1/0 for the fallback; anything other than 0 is true.
  bool ReadBool(std::string_view section, std::string_view key, bool fallback) const;

  // Each throws EIniFileError when the file cannot be written.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  // Decimal text, "-" for negatives.
  void WriteInteger(std::string_view section, std::string_view key, std::int32_t value);
  // "1" or "0".
  void WriteBool(std::string_view section, std::string_view key, bool value);
  // Several keys of one section in one locked rewrite; the result equals writing them one after
  // the other in this order.
  void WriteValues(std::string_view section,
                   const std::vector<std::pair<std::string, std::string>>& values);

 private:
  struct Snapshot;
  const Snapshot& Values() const;
  std::string path_;
  mutable std::shared_ptr<const Snapshot> snapshot_;
};

// The integer rule of the INI layer: text starting "0x" or "0X" and longer than 2 characters is
// hexadecimal; otherwise an optional sign and either decimal digits or "$" and hexadecimal
// digits. Decimal must fit 32 bits; hexadecimal up to FFFFFFFF is taken as its 32-bit pattern
// (so "$FFFFFFFF" is -1). nullopt for anything else (blanks included).
std::optional<std::int32_t> ParseIniInteger(std::string_view text);

// Pure text functions behind TIniFile, on a whole file's bytes.
std::optional<std::string> IniLookup(std::string_view content, std::string_view section,
                                     std::string_view key);
std::string IniUpdate(std::string_view content, std::string_view section, std::string_view key,
                      std::string_view value);

}  // namespace qv
