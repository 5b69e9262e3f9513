// The version block of an executable: an ELF section of our own, and reading one line of it.
#include "gui/version_info.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace qv::gui {

namespace {

// Reads an unsigned value of size bytes at offset, in the file's byte order.
bool ReadUnsigned(const std::vector<unsigned char>& file, std::uint64_t offset, int size,
                  bool big_endian, std::uint64_t& value) {
  if (offset > file.size() || file.size() - offset < static_cast<std::uint64_t>(size)) return false;
  value = 0;
  for (int i = 0; i < size; ++i) {
    unsigned char byte = file[static_cast<std::size_t>(offset) +
                              static_cast<std::size_t>(big_endian ? i : size - 1 - i)];
    value = (value << 8) | byte;
  }
  return true;
}

}  // namespace

std::optional<std::vector<char>> ReadElfSection(const std::string& path, const std::string& name) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<unsigned char> file((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  if (file.size() < 16 || std::memcmp(file.data(),
                                      "\x7f"
                                      "ELF",
                                      4) != 0)
    return std::nullopt;
  bool is64 = file[4] == 2;
  bool big_endian = file[5] == 2;
  if ((file[4] != 1 && file[4] != 2) || (file[5] != 1 && file[5] != 2)) return std::nullopt;
  int word = is64 ? 8 : 4;

  std::uint64_t section_offset = 0, entry_size = 0, count = 0, names_index = 0;
  if (!ReadUnsigned(file, is64 ? 0x28 : 0x20, word, big_endian, section_offset) ||
      !ReadUnsigned(file, is64 ? 0x3A : 0x2E, 2, big_endian, entry_size) ||
      !ReadUnsigned(file, is64 ? 0x3C : 0x30, 2, big_endian, count) ||
      !ReadUnsigned(file, is64 ? 0x3E : 0x32, 2, big_endian, names_index))
    return std::nullopt;
  if (entry_size < static_cast<std::uint64_t>(is64 ? 0x40 : 0x28) || names_index >= count)
    return std::nullopt;

  // Offset and size of section i (the name offset is the first field).
  auto section = [&](std::uint64_t i, std::uint64_t& name_offset, std::uint64_t& offset,
                     std::uint64_t& size) {
    std::uint64_t base = section_offset + i * entry_size;
    if (base < section_offset) return false;
    return ReadUnsigned(file, base, 4, big_endian, name_offset) &&
           ReadUnsigned(file, base + (is64 ? 0x18 : 0x10), word, big_endian, offset) &&
           ReadUnsigned(file, base + (is64 ? 0x20 : 0x14), word, big_endian, size);
  };
  std::uint64_t unused = 0, names_offset = 0, names_size = 0;
  if (!section(names_index, unused, names_offset, names_size)) return std::nullopt;
  if (names_offset > file.size() || file.size() - names_offset < names_size) return std::nullopt;

  for (std::uint64_t i = 0; i < count; ++i) {
    std::uint64_t name_offset = 0, offset = 0, size = 0;
    if (!section(i, name_offset, offset, size)) return std::nullopt;
    if (name_offset >= names_size) continue;
    const char* begin = reinterpret_cast<const char*>(file.data() + names_offset + name_offset);
    std::size_t room = static_cast<std::size_t>(names_size - name_offset);
    std::string section_name(begin, strnlen(begin, room));
    if (section_name != name) continue;
    if (offset > file.size() || file.size() - offset < size) return std::nullopt;
    return std::vector<char>(file.begin() + static_cast<std::ptrdiff_t>(offset),
                             file.begin() + static_cast<std::ptrdiff_t>(offset + size));
  }
  return std::nullopt;
}

std::optional<std::string> QueryVersionValue(const std::vector<char>& block,
                                             const std::string& query) {
  std::size_t pos = 0;
  while (pos < block.size()) {
    std::size_t end = pos;
    while (end < block.size() && block[end] != '\0') ++end;
    std::string entry(block.data() + pos, end - pos);
    if (entry.size() > query.size() && entry.compare(0, query.size(), query) == 0 &&
        entry[query.size()] == '=')
      return entry.substr(query.size() + 1);
    pos = end + 1;
  }
  return std::nullopt;
}

std::string GetVersionInfoString(const std::string& path, int index) {
  std::string result = kUnidentified;
  std::optional<std::vector<char>> block = ReadElfSection(path, kVersionSectionName);
  if (!block || block->empty()) return result;
  std::optional<std::string> translation = QueryVersionValue(*block, "\\VarFileInfo\\Translation");
  if (!translation) return result;
  // A 32-bit value: language in the low 16 bits, code page in the high 16 bits.
  unsigned long value = 0;
  try {
    value = std::stoul(*translation, nullptr, 0);
  } catch (...) {
    return result;
  }
  char language_codepage[9];
  std::snprintf(language_codepage, sizeof language_codepage, "%04X%04X",
                static_cast<unsigned>(value & 0xFFFF),
                static_cast<unsigned>((value >> 16) & 0xFFFF));
  const char* key = kVersionInfoKeys[index >= 0 && index <= 7 ? index : 2];
  std::optional<std::string> text =
      QueryVersionValue(*block, std::string("\\StringFileInfo\\") + language_codepage + key);
  return std::string(key + 1) + " : " + (text ? *text : "None");
}

}  // namespace qv::gui
