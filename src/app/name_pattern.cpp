// Output names made from a pattern.
#include "app/name_pattern.h"

#include <regex>

#include "runtime/exceptions.h"
#include "runtime/strings.h"
#include "runtime/translation.h"

namespace qv {

namespace {

constexpr char kDefaultDateFormat[] = "%Y-%m-%d";
// Digits {n:D} may ask for.
constexpr int kMaxNumberDigits = 9;

std::string DateText(const std::string& format, const std::tm& date) {
  if (format.empty()) return {};
  // strftime gives 0 both for an empty result and for one too long: grow until it fits or is
  // surely empty.
  for (std::size_t size = 64; size <= 4096; size *= 4) {
    std::string text(size, '\0');
    std::size_t length = std::strftime(text.data(), text.size(), format.c_str(), &date);
    if (length > 0) {
      text.resize(length);
      return text;
    }
  }
  return {};
}

// A name that is no file name of a folder: empty, ".", "..", or with a "/".
bool NoFileName(const std::string& name) {
  return name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos;
}

std::string RegexEscaped(const std::string& text) {
  static const std::string kSpecial = R"(\^$.|?*+()[]{})";
  std::string escaped;
  for (char c : text) {
    if (kSpecial.find(c) != std::string::npos) escaped += '\\';
    escaped += c;
  }
  return escaped;
}

}  // namespace

TNamePattern::TNamePattern(const std::string& text) {
  if (text.empty()) return;
  auto fail = [&](const std::string& fault) {
    // TRANSLATORS: the pattern, then what is wrong with it.
    throw Exception(FormatText(Tr("name pattern \"%s\": %s"), {text, fault}));
  };
  bool has_extension = false;
  std::string literal;
  auto flush = [&] {
    if (!literal.empty()) parts_.push_back({TKind::kText, literal});
    literal.clear();
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if ((c == '{' || c == '}') && i + 1 < text.size() && text[i + 1] == c) {
      literal += c;
      ++i;
      continue;
    }
    if (c == '}') fail(Tr("\"}\" without \"{\" (write \"}}\" for a brace)"));
    if (c != '{') {
      if (c == '/') fail(Tr("a file name cannot hold \"/\""));
      literal += c;
      continue;
    }
    const std::size_t close = text.find('}', i);
    if (close == std::string::npos) fail(Tr("\"{\" without \"}\" (write \"{{\" for a brace)"));
    const std::string field = text.substr(i + 1, close - i - 1);
    const std::size_t colon = field.find(':');
    const std::string key = field.substr(0, colon);
    const std::string argument = colon == std::string::npos ? "" : field.substr(colon + 1);
    flush();
    TPart part{TKind::kText, {}};
    if (key == "name" && colon == std::string::npos) {
      part.kind = TKind::kName;
    } else if (key == "ext" && colon == std::string::npos) {
      part.kind = TKind::kExtension;
      has_extension = true;
    } else if (key == "n") {
      part.kind = TKind::kNumber;
      if (colon != std::string::npos) {
        std::optional<std::int32_t> digits = ParseInt32(argument);
        if (!digits || *digits < 1 || *digits > kMaxNumberDigits)
          fail(FormatText(Tr("{n:D} takes a number of digits from 1 to %d"),
                          {IntToStr(kMaxNumberDigits)}));
        part.digits = *digits;
      }
    } else if (key == "w" && colon == std::string::npos) {
      part.kind = TKind::kWidth;
    } else if (key == "h" && colon == std::string::npos) {
      part.kind = TKind::kHeight;
    } else if (key == "date") {
      part.kind = TKind::kDate;
      part.text = colon == std::string::npos ? kDefaultDateFormat : argument;
    } else if (key == "folder" && colon == std::string::npos) {
      part.kind = TKind::kFolder;
    } else {
      fail(FormatText(Tr("unknown field {%s}"), {field}));
    }
    if (part.kind == TKind::kWidth || part.kind == TKind::kHeight || part.kind == TKind::kDate)
      needs_picture_ = true;
    parts_.push_back(std::move(part));
    i = close;
  }
  flush();
  if (!has_extension) {
    parts_.push_back({TKind::kText, "."});
    parts_.push_back({TKind::kExtension, {}});
  }
  // A name for a typical file shows what the pattern makes of every file: a "/" from a date
  // format, or nothing at all.
  TNameFields sample{.name = "photo",
                     .extension = "jpg",
                     .number = 1,
                     .width = 640,
                     .height = 480,
                     .date = {},
                     .folder = "folder"};
  sample.date.tm_year = 2024 - 1900;
  sample.date.tm_mon = 11;
  sample.date.tm_mday = 31;
  sample.date.tm_hour = 23;
  sample.date.tm_min = 59;
  sample.date.tm_sec = 58;
  if (std::string made = Made(sample); NoFileName(made))
    fail(FormatText(Tr("it makes no file name (\"%s\")"), {made}));
}

std::string TNamePattern::Format(const TNameFields& fields) const {
  std::string name = Made(fields);
  if (NoFileName(name))
    // TRANSLATORS: the name a name pattern made for a file.
    throw Exception(FormatText(Tr("the name pattern makes no file name (\"%s\")"), {name}));
  return name;
}

std::string TNamePattern::Made(const TNameFields& fields) const {
  std::string name;
  for (const TPart& part : parts_) {
    switch (part.kind) {
      case TKind::kText: name += part.text; break;
      case TKind::kName: name += fields.name; break;
      case TKind::kExtension: name += fields.extension; break;
      case TKind::kNumber: {
        std::string digits = IntToStr(fields.number);
        if (static_cast<int>(digits.size()) < part.digits)
          digits.insert(0, static_cast<std::size_t>(part.digits) - digits.size(), '0');
        name += digits;
        break;
      }
      case TKind::kWidth: name += IntToStr(fields.width); break;
      case TKind::kHeight: name += IntToStr(fields.height); break;
      case TKind::kDate: name += DateText(part.text, fields.date); break;
      case TKind::kFolder: name += fields.folder; break;
    }
  }
  return name;
}

bool TNamePattern::CouldMake(const std::string& file_name, const std::string& extension) const {
  if (parts_.empty()) return false;
  std::string expression;
  for (const TPart& part : parts_) {
    switch (part.kind) {
      case TKind::kText: expression += RegexEscaped(part.text); break;
      case TKind::kExtension: expression += RegexEscaped(extension); break;
      case TKind::kNumber:
      case TKind::kWidth:
      case TKind::kHeight: expression += "[0-9]+"; break;
      case TKind::kName:
      case TKind::kDate:
      case TKind::kFolder: expression += ".*"; break;
    }
  }
  const std::regex made(expression);
  if (std::regex_match(file_name, made)) return true;
  // A name numbered to keep it apart from another of the drop: "photo (2).jpg".
  static const std::regex numbered(R"((.*) \([0-9]+\)(\.[^.]*)?)");
  std::smatch parts;
  return std::regex_match(file_name, parts, numbered) &&
         std::regex_match(parts[1].str() + parts[2].str(), made);
}

}  // namespace qv
