// Text helpers: message formatting and locale-free number conversion.
#include "runtime/strings.h"

#include <charconv>

namespace qv {

std::string FormatText(std::string_view format, std::initializer_list<std::string_view> args) {
  std::string out;
  out.reserve(format.size() + 32);
  auto next = args.begin();
  for (std::size_t i = 0; i < format.size(); ++i) {
    char c = format[i];
    if (c == '%' && i + 1 < format.size()) {
      char d = format[i + 1];
      if (d == '%') {
        out += '%';
        ++i;
        continue;
      }
      if (d >= '1' && d <= '9' && i + 3 < format.size() && format[i + 2] == '$' &&
          (format[i + 3] == 's' || format[i + 3] == 'd') &&
          static_cast<std::size_t>(d - '0') <= args.size()) {
        out.append(args.begin()[d - '1']);
        i += 3;
        continue;
      }
      if ((d == 's' || d == 'd') && next != args.end()) {
        out.append(*next++);
        ++i;
        continue;
      }
    }
    out += c;
  }
  return out;
}

std::string IntToStr(std::int64_t value) {
  char buffer[24];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::optional<std::int32_t> ParseInt32(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::size_t start = 0;
  bool negative = false;
  if (text[0] == '+' || text[0] == '-') {
    negative = text[0] == '-';
    start = 1;
  }
  if (start == text.size()) return std::nullopt;
  std::int64_t value = 0;
  for (std::size_t i = start; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    value = value * 10 + (text[i] - '0');
    if (value > 2147483648LL) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > 2147483647LL) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

std::optional<std::uint64_t> ParseByteSize(std::string_view text) {
  int shift = 0;
  if (!text.empty()) {
    switch (text.back()) {
      case 'k':
      case 'K': shift = 10; break;
      case 'm':
      case 'M': shift = 20; break;
      case 'g':
      case 'G': shift = 30; break;
      default: break;
    }
    if (shift != 0) text.remove_suffix(1);
  }
  if (text.empty() || text.size() > 19) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (value == 0 || value > (std::uint64_t{1} << (63 - shift))) return std::nullopt;
  return value << shift;
}

std::int32_t StrToIntDef(std::string_view text, std::int32_t fallback) {
  return ParseInt32(text).value_or(fallback);
}

std::string LowerCaseAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  for (std::size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

std::string_view Trim(std::string_view text) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace qv
