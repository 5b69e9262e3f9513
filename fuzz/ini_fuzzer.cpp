// Fuzz target: the INI reader on arbitrary file bytes, then one key rewritten and read back.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "settings/ini_file.h"

namespace {

// Names as callers spell them (case and surrounding blanks do not matter when matching).
constexpr std::string_view kSections[] = {"Options", "OPTIONS", " options ",
                                          "Files",   "a",       "\xE8\xA8\xAD\xE5\xAE\x9A"};
constexpr std::string_view kKeys[] = {"Quality", "quality", " Quality\t",
                                      "Dir",     "k",       "\xE5\x80\xA4"};
// Each value and what reading it back must give (surrounding blanks trimmed, cut at a line end).
struct Value {
  std::string_view written;
  std::string_view read;
};
constexpr Value kValues[] = {
    {"", ""},
    {"85", "85"},
    {"  spaced  ", "spaced"},
    {"/home/a b/\xE7\x94\xBB\xE5\x83\x8F", "/home/a b/\xE7\x94\xBB\xE5\x83\x8F"},
    {"first\r\n[Options]\nQuality=1", "first"},
    {"x=y;z", "x=y;z"}};

// Entry byte % N of the table, or the entry half the table further on (a name that never
// matches the first one).
template <class T, std::size_t N>
const T& Pick(const T (&table)[N], std::uint8_t byte, std::size_t shift = 0) {
  return table[(byte % N + shift) % N];
}

}  // namespace

QV_FUZZ_ENTRY(ini) {
  if (size < 3) return 0;
  std::string_view section = Pick(kSections, data[0]);
  std::string_view key = Pick(kKeys, data[1]);
  const Value& value = Pick(kValues, data[2]);
  std::string_view other_section = Pick(kSections, data[0], 3);
  std::string_view other_key = Pick(kKeys, data[1], 3);
  std::string_view content(reinterpret_cast<const char*>(data + 3), size - 3);

  std::optional<std::string> before_key = qv::IniLookup(content, section, other_key);
  std::optional<std::string> before_section = qv::IniLookup(content, other_section, key);
  (void)qv::ParseIniInteger(before_key.value_or(""));

  std::string updated = qv::IniUpdate(content, section, key, value.written);
  // The key reads back as written; no other key of the file changes.
  std::optional<std::string> read = qv::IniLookup(updated, section, key);
  QV_FUZZ_CHECK(read && *read == value.read);
  QV_FUZZ_CHECK(qv::IniLookup(updated, section, other_key) == before_key);
  QV_FUZZ_CHECK(qv::IniLookup(updated, other_section, key) == before_section);
  // Writing the same value again changes nothing.
  QV_FUZZ_CHECK(qv::IniUpdate(updated, section, key, value.written) == updated);
  return 0;
}
