// XMP packet edits. A packet is XML text: the orientation a
// camera or editor writes is the property Orientation of the TIFF namespace, either as an
// attribute (tiff:Orientation="6") or as an element (<tiff:Orientation>6</tiff:Orientation>).
// Changing its one digit keeps the packet's length, so nothing else moves.
#include "codecs/jpeg/xmp_packet.h"

#include <string>
#include <string_view>

namespace qv {

namespace {

constexpr std::string_view kTiffNamespace = "http://ns.adobe.com/tiff/1.0/";

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '-' || c == '.';
}

// The prefix an xmlns:PREFIX="..." attribute binds to the TIFF namespace, or empty.
std::string_view TiffPrefix(std::string_view text) {
  for (std::size_t at = text.find(kTiffNamespace); at != std::string_view::npos;
       at = text.find(kTiffNamespace, at + 1)) {
    // Back over the quote, "=" and spaces to the attribute's name.
    std::size_t end = at;
    if (end == 0 || (text[end - 1] != '"' && text[end - 1] != '\'')) continue;
    --end;
    while (end > 0 && IsSpace(text[end - 1])) --end;
    if (end == 0 || text[end - 1] != '=') continue;
    --end;
    while (end > 0 && IsSpace(text[end - 1])) --end;
    std::size_t begin = end;
    while (begin > 0 && IsNameChar(text[begin - 1])) --begin;
    constexpr std::string_view kXmlns = "xmlns:";
    if (begin >= kXmlns.size() && text.substr(begin - kXmlns.size(), kXmlns.size()) == kXmlns)
      return text.substr(begin, end - begin);
  }
  return {};
}

}  // namespace

bool ResetXmpOrientation(std::vector<std::uint8_t>& xmp) {
  const std::string_view text(reinterpret_cast<const char*>(xmp.data()), xmp.size());
  const std::string_view prefix = TiffPrefix(text);
  if (prefix.empty()) return false;
  const std::string name = std::string(prefix) + ":Orientation";
  bool reset = false;
  for (std::size_t at = text.find(name); at != std::string_view::npos;
       at = text.find(name, at + 1)) {
    if (at > 0 && IsNameChar(text[at - 1])) continue;  // another prefix ending in ours
    std::size_t value = at + name.size();
    if (value < text.size() && text[value] == '>') {  // an element
      ++value;
    } else {  // an attribute: spaces, "=", spaces, a quote
      while (value < text.size() && IsSpace(text[value])) ++value;
      if (value >= text.size() || text[value] != '=') continue;
      ++value;
      while (value < text.size() && IsSpace(text[value])) ++value;
      if (value >= text.size() || (text[value] != '"' && text[value] != '\'')) continue;
      ++value;
    }
    if (value + 1 >= text.size() || text[value] < '1' || text[value] > '8' ||
        (text[value + 1] != '"' && text[value + 1] != '\'' && text[value + 1] != '<'))
      continue;
    xmp[value] = '1';
    reset = true;
  }
  return reset;
}

}  // namespace qv
