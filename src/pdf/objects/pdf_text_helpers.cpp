// Text helpers of the PDF writer. Numbers go through std::to_chars so that no locale (the GUI
// sets one through Qt) can turn the decimal point into a comma.
#include "pdf/objects/pdf_text_helpers.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <string_view>

#include "pdf/objects/code_page.h"
#include "runtime/stream.h"
#include "simd/extended_float.h"

namespace qv {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendHexByte(std::string &out, unsigned char byte) {
  out.push_back(kHexDigits[byte >> 4]);
  out.push_back(kHexDigits[byte & 0x0F]);
}

}  // namespace

void WriteTextToStream(TStream &stream, std::string_view text) {
  stream.WriteBuffer(text.data(), text.size());
}

std::string EscapeName(std::string_view name) {
  static constexpr std::string_view kDelimiters = "#%()/<>[]{}";
  std::string out;
  out.reserve(name.size());
  for (char c : name) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x21 || byte > 0x7E || kDelimiters.find(c) != std::string_view::npos) {
      out.push_back('#');
      AppendHexByte(out, byte);
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string PdfTextForm(std::string_view text, const TCodePage &code_page) {
  std::string out;
  if (code_page.HasMultiByte(text)) {
    out = "<FEFF001B656E001B";
    for (char16_t unit : code_page.ToUtf16(text)) {
      AppendHexByte(out, static_cast<unsigned char>(unit >> 8));
      AppendHexByte(out, static_cast<unsigned char>(unit & 0xFF));
    }
    out.push_back('>');
    return out;
  }
  out.reserve(text.size() + 2);
  out.push_back('(');
  for (char c : text) {
    char escape = 0;
    switch (c) {
      case '(': escape = '('; break;
      case ')': escape = ')'; break;
      case '\\': escape = '\\'; break;
      case '\r': escape = 'r'; break;
      case '\n': escape = 'n'; break;
      case '\t': escape = 't'; break;
      case '\b': escape = 'b'; break;
      case '\f': escape = 'f'; break;
      default: break;
    }
    if (escape != 0) {
      out.push_back('\\');
      out.push_back(escape);
    } else {
      out.push_back(c);
    }
  }
  out.push_back(')');
  return out;
}

std::string PdfRealText(double value) {
  if (!std::isfinite(value)) return "0";  // never produced; keep the file readable
  if (value == 0) return "0";             // no "-0"
  char buffer[64];
  auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
  return std::string(buffer, result.ptr);
}

std::string FormatReal(float value) {
  const TExtended scaled = TExtended(value) * 100 + 0.5;
  const TExtended truncated = Trunc(scaled);
  return PdfRealText(static_cast<double>(truncated / 100));
}

std::string PdfDate() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "D:%04d%02d%02d%02d%02d%02d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  return buffer;
}

}  // namespace qv
