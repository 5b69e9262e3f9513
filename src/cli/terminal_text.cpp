// Text the command line prints to a terminal: quoted file names and escaped control characters.
#include "cli/terminal_text.h"

#include <cstdint>
#include <vector>

namespace qv::cli {

namespace {

// Length of the character at the start of text when it is well-formed UTF-8 (no overlong form,
// no surrogate, at most U+10FFFF), with its code point; 0 when it is not.
std::size_t DecodeUtf8(std::string_view text, char32_t& code) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(0);
  std::size_t length;
  char32_t minimum;
  if (lead < 0x80) {
    code = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, code = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, code = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, code = lead & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i) & 0x3F);
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

// Characters a terminal acts on or that change how the rest of the line reads.
bool Unsafe(char32_t code) {
  return code < 0x20 || (code >= 0x7F && code <= 0x9F) || code == 0x200E || code == 0x200F ||
         (code >= 0x2028 && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069);
}

// The C escape of one byte: a letter where there is one, else three octal digits.
std::string EscapeByte(unsigned char byte) {
  switch (byte) {
    case '\a': return "\\a";
    case '\b': return "\\b";
    case '\t': return "\\t";
    case '\n': return "\\n";
    case '\v': return "\\v";
    case '\f': return "\\f";
    case '\r': return "\\r";
    default: break;
  }
  std::string out = "\\";
  out += static_cast<char>('0' + (byte >> 6));
  out += static_cast<char>('0' + ((byte >> 3) & 7));
  out += static_cast<char>('0' + (byte & 7));
  return out;
}

// Splits text into runs of safe characters (escape false) and of bytes to escape (escape true).
struct Run {
  bool escape;
  std::string_view bytes;
};

std::vector<Run> SplitRuns(std::string_view text) {
  std::vector<Run> runs;
  std::size_t i = 0;
  while (i < text.size()) {
    char32_t code = 0;
    std::size_t length = DecodeUtf8(text.substr(i), code);
    bool escape = length == 0 || Unsafe(code);
    if (length == 0) length = 1;
    if (!runs.empty() && runs.back().escape == escape)
      runs.back().bytes =
          std::string_view(runs.back().bytes.data(), runs.back().bytes.size() + length);
    else
      runs.push_back({escape, text.substr(i, length)});
    i += length;
  }
  return runs;
}

}  // namespace

std::string QuoteFileName(std::string_view name) {
  std::vector<Run> runs = SplitRuns(name);
  bool plain = true;
  for (const Run& run : runs) plain = plain && !run.escape;
  if (plain) return std::string(name);
  std::string out;
  for (const Run& run : runs) {
    if (run.escape) {
      out += "$'";
      for (char c : run.bytes) out += EscapeByte(static_cast<unsigned char>(c));
      out += "'";
    } else {
      out += "'";
      for (char c : run.bytes) {
        if (c == '\'')
          out += "'\\''";
        else
          out += c;
      }
      out += "'";
    }
  }
  return out;
}

std::string TerminalSafe(std::string_view text, std::initializer_list<std::string_view> names) {
  std::string out;
  std::size_t i = 0;
  while (i < text.size()) {
    // The longest quoted name that starts here (only names that need quoting are looked for).
    std::string_view found;
    for (std::string_view name : names) {
      if (name.size() > found.size() && text.substr(i, name.size()) == name &&
          QuoteFileName(name) != name)
        found = name;
    }
    if (!found.empty()) {
      out += QuoteFileName(found);
      i += found.size();
      continue;
    }
    char32_t code = 0;
    std::size_t length = DecodeUtf8(text.substr(i), code);
    if (length == 0 || Unsafe(code)) {
      if (length == 0) length = 1;
      for (std::size_t k = 0; k < length; ++k)
        out += EscapeByte(static_cast<unsigned char>(text[i + k]));
    } else {
      out.append(text.substr(i, length));
    }
    i += length;
  }
  return out;
}

}  // namespace qv::cli
