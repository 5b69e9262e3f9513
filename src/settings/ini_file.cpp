// The INI file: lookup and in-place update of profile-format text, and the locked, atomic write.
#include "settings/ini_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <unordered_map>

#include "runtime/file_replacement.h"
#include "runtime/paths.h"
#include "runtime/strings.h"
#include "runtime/translation.h"
#include "settings/settings_messages.h"

namespace qv {

EIniFileError::EIniFileError(const std::string& path)
    : Exception(FormatText(Tr(messages::kIniWriteError), {path})) {}

namespace {

// One line of the file: [begin, text_end) is its text, [text_end, end) its line end ("", "\n"
// or "\r\n").
struct Line {
  std::size_t begin;
  std::size_t text_end;
  std::size_t end;
};

std::vector<Line> SplitLines(std::string_view content) {
  std::vector<Line> lines;
  std::size_t begin = 0;
  while (begin < content.size()) {
    std::size_t newline = content.find('\n', begin);
    std::size_t end = newline == std::string_view::npos ? content.size() : newline + 1;
    std::size_t text_end = newline == std::string_view::npos ? content.size() : newline;
    if (text_end > begin && content[text_end - 1] == '\r') --text_end;
    lines.push_back({begin, text_end, end});
    begin = end;
  }
  return lines;
}

enum class LineKind { kBlank, kSection, kKey, kOther };

struct ParsedLine {
  LineKind kind = LineKind::kOther;
  std::string_view name;   // section name or key, trimmed
  std::string_view value;  // value, trimmed
  std::size_t equals = 0;  // offset of "=" within the line text (keys)
};

ParsedLine ParseLine(std::string_view text) {
  ParsedLine parsed;
  std::string_view trimmed = Trim(text);
  if (trimmed.empty()) {
    parsed.kind = LineKind::kBlank;
  } else if (trimmed.front() == '[') {
    parsed.kind = LineKind::kSection;
    std::string_view inner = trimmed.substr(1);
    std::size_t close = inner.find(']');
    parsed.name = Trim(inner.substr(0, close));
  } else if (trimmed.front() != ';' && trimmed.front() != '#') {
    std::size_t equals = text.find('=');
    if (equals != std::string_view::npos) {
      parsed.kind = LineKind::kKey;
      parsed.equals = equals;
      parsed.name = Trim(text.substr(0, equals));
      parsed.value = Trim(text.substr(equals + 1));
    }
  }
  return parsed;
}

std::string_view TextOf(std::string_view content, const Line& line) {
  return content.substr(line.begin, line.text_end - line.begin);
}

// Index of the first line of the first section called name, or lines.size().
std::size_t FindSection(std::string_view content, const std::vector<Line>& lines,
                        std::string_view section) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    ParsedLine parsed = ParseLine(TextOf(content, lines[i]));
    if (parsed.kind == LineKind::kSection && EqualsNoCase(parsed.name, section)) return i;
  }
  return lines.size();
}

// A name as it can stand in one line: up to its first line break.
std::string_view OneLine(std::string_view text) {
  return text.substr(0, text.find_first_of("\r\n"));
}

std::string_view LineEndOf(std::string_view content) {
  std::size_t newline = content.find('\n');
  if (newline != std::string_view::npos && newline > 0 && content[newline - 1] == '\r')
    return "\r\n";
  return "\n";
}

std::optional<std::uint32_t> ParseDigits(std::string_view digits, unsigned base,
                                         std::uint64_t limit) {
  if (digits.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : digits) {
    unsigned digit;
    if (c >= '0' && c <= '9')
      digit = static_cast<unsigned>(c - '0');
    else if (base == 16 && c >= 'a' && c <= 'f')
      digit = static_cast<unsigned>(c - 'a' + 10);
    else if (base == 16 && c >= 'A' && c <= 'F')
      digit = static_cast<unsigned>(c - 'A' + 10);
    else
      return std::nullopt;
    value = value * base + digit;
    if (value > limit) return std::nullopt;
  }
  return static_cast<std::uint32_t>(value);
}

// An open descriptor, closed on every path.
class TFd {
 public:
  explicit TFd(int fd = -1) : fd_(fd) {}
  ~TFd() { Close(); }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const { return fd_; }
  void Reset(int fd) {
    Close();
    fd_ = fd;
  }
  bool Close() {
    if (fd_ < 0) return true;
    int result = ::close(fd_);
    fd_ = -1;
    return result == 0;
  }

 private:
  int fd_;
};

// The whole file, "" when it does not exist; nullopt when it exists but cannot be read. Only a
// regular file is read: opened without waiting, a FIFO or device never blocks or streams on.
std::optional<std::string> ReadWholeFile(const std::string& path) {
  TFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (fd.Get() < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return std::string();
    return std::nullopt;
  }
  struct stat info;
  if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  std::string content;
  char buffer[65536];
  for (;;) {
    ssize_t count = ::read(fd.Get(), buffer, sizeof buffer);
    if (count < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (count == 0) break;
    content.append(buffer, static_cast<std::size_t>(count));
  }
  return content;
}

// The lock of the file's writers: a file of our own name beside the file a write replaces (a
// symbolic link's target), never one another program might use. Opened for reading, so a lock
// file another user made still serves.
std::string LockPath(const std::string& target) {
  std::string name = ExtractFileName(target);
  constexpr std::size_t kRoom = NAME_MAX - sizeof(".quenvale-lock");
  return ExtractFilePath(target) + "." + name.substr(0, std::min(name.size(), kRoom)) +
         ".quenvale-lock";
}

// Reads, changes and replaces the file under its lock. change maps old content to new content.
template <typename Change>
void RewriteFile(const std::string& path, Change change) {
  // A symbolic link to the file is followed and stays; the lock is beside the file it names.
  const std::string target = ReplacedFile(path, TSymlinkRule::kFollowLink);
  // Only a regular file is replaced (TFileReplacement refuses others too): a folder, FIFO or
  // device is refused before the lock file is made beside it.
  {
    struct stat info;
    if (::stat(target.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) throw EIniFileError(path);
  }
  const std::string folder = ExtractFilePath(target);
  if (!folder.empty() && !DirectoryExists(folder)) {
    try {
      ForceDirectories(folder);
    } catch (const Exception&) {
      throw EIniFileError(path);
    }
  }

  TFd lock(::open(LockPath(target).c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666));
  if (lock.Get() < 0) throw EIniFileError(path);
  while (::flock(lock.Get(), LOCK_EX) != 0)
    if (errno != EINTR) throw EIniFileError(path);

  // Read, merge and write all happen under the lock: a writer that read before another's write
  // cannot put back what it read.
  std::optional<std::string> old_content = ReadWholeFile(target);
  // An existing file that cannot be read must not be replaced by one holding only the new key.
  if (!old_content) throw EIniFileError(path);
  struct stat old_info;
  bool existed = ::stat(target.c_str(), &old_info) == 0;

  std::string new_content = change(*old_content);
  if (existed && new_content == *old_content) return;

  try {
    TFileReplacement file(target, TSymlinkRule::kFollowLink);
    file.Write(new_content.data(), new_content.size());
    file.Commit();
  } catch (const Exception&) {
    throw EIniFileError(path);
  }
}

}  // namespace

std::optional<std::int32_t> ParseIniInteger(std::string_view text) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    auto value = ParseDigits(text.substr(2), 16, 0xFFFFFFFFu);
    if (!value) return std::nullopt;
    return static_cast<std::int32_t>(*value);
  }
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (!text.empty() && text[0] == '$') {
    auto value = ParseDigits(text.substr(1), 16, 0xFFFFFFFFu);
    if (!value) return std::nullopt;
    std::uint32_t bits = negative ? 0u - *value : *value;
    return static_cast<std::int32_t>(bits);
  }
  auto value = ParseDigits(text, 10, negative ? 2147483648u : 2147483647u);
  if (!value) return std::nullopt;
  std::int64_t signed_value = negative ? -static_cast<std::int64_t>(*value) : *value;
  return static_cast<std::int32_t>(signed_value);
}

std::optional<std::string> IniLookup(std::string_view content, std::string_view section,
                                     std::string_view key) {
  std::vector<Line> lines = SplitLines(content);
  std::size_t start = FindSection(content, lines, Trim(section));
  for (std::size_t i = start + 1; i < lines.size(); ++i) {
    ParsedLine parsed = ParseLine(TextOf(content, lines[i]));
    if (parsed.kind == LineKind::kSection) break;
    if (parsed.kind != LineKind::kKey || !EqualsNoCase(parsed.name, Trim(key))) continue;
    std::string value(parsed.value);
    if (value.size() > kIniMaxValueLength) {
      std::size_t cut = kIniMaxValueLength;
      while (cut > 0 && (static_cast<unsigned char>(value[cut]) & 0xC0) == 0x80) --cut;
      value.resize(cut);
    }
    return value;
  }
  return std::nullopt;
}

std::string IniUpdate(std::string_view content, std::string_view section, std::string_view key,
                      std::string_view value) {
  section = Trim(OneLine(section));
  key = Trim(OneLine(key));
  value = OneLine(value);
  const std::string_view file_line_end = LineEndOf(content);
  std::vector<Line> lines = SplitLines(content);
  // Only LF ends a line. A last line may end in a bare CR, which is not part of its text (as
  // read) but does not end it either: a line written straight after it would join it.
  auto has_line_end = [&](const Line& line) {
    return line.end > line.begin && content[line.end - 1] == '\n';
  };
  // New lines take the line end of the line they follow (CR LF after a bare CR), or the file's
  // first one.
  auto line_end_after = [&](const Line& line) -> std::string_view {
    if (has_line_end(line)) return content.substr(line.text_end, line.end - line.text_end);
    return line.text_end != line.end ? std::string_view("\r\n") : file_line_end;
  };
  // What ends a last line without a line end: the LF that turns its bare CR into CR LF, or the
  // line end new lines take.
  auto completion = [&](const Line& line) -> std::string_view {
    return line.text_end != line.end ? std::string_view("\n") : line_end_after(line);
  };
  std::size_t start = FindSection(content, lines, section);

  std::string result;
  result.reserve(content.size() + section.size() + key.size() + value.size() + 8);
  if (start == lines.size()) {
    result.append(content);
    const std::string_view line_end = lines.empty() ? file_line_end : line_end_after(lines.back());
    if (!lines.empty()) {
      if (!has_line_end(lines.back())) result.append(completion(lines.back()));
      if (!Trim(TextOf(content, lines.back())).empty()) result.append(line_end);
    }
    result.append("[").append(section).append("]").append(line_end);
    result.append(key).append("=").append(value).append(line_end);
    return result;
  }

  std::size_t last_filled = start;
  for (std::size_t i = start + 1; i < lines.size(); ++i) {
    std::string_view text = TextOf(content, lines[i]);
    ParsedLine parsed = ParseLine(text);
    if (parsed.kind == LineKind::kSection) break;
    if (parsed.kind == LineKind::kKey && EqualsNoCase(parsed.name, key)) {
      // Update in place: the line keeps its leading blanks, key spelling and line end.
      std::string_view before = text.substr(0, parsed.equals);
      while (!before.empty() && (before.back() == ' ' || before.back() == '\t'))
        before.remove_suffix(1);
      result.append(content.substr(0, lines[i].begin));
      result.append(before).append("=").append(value);
      result.append(content.substr(lines[i].text_end));
      return result;
    }
    if (parsed.kind != LineKind::kBlank) last_filled = i;
  }
  const Line& after = lines[last_filled];
  const std::string_view line_end = line_end_after(after);
  result.append(content.substr(0, after.end));
  if (!has_line_end(after)) result.append(completion(after));
  result.append(key).append("=").append(value).append(line_end);
  result.append(content.substr(after.end));
  return result;
}

// Every value of a file, read and parsed in one pass: by lower-case section name (the first
// section of a name), by lower-case key (the first key of a name), the value as IniLookup gives it.
struct TIniFile::Snapshot {
  std::unordered_map<std::string, std::unordered_map<std::string, std::string>> sections;
};

namespace {

std::string LowerCase(std::string_view text) { return LowerCaseAscii(text); }

std::string CutValue(std::string_view value) {
  std::string text(value);
  if (text.size() > kIniMaxValueLength) {
    std::size_t cut = kIniMaxValueLength;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    text.resize(cut);
  }
  return text;
}

}  // namespace

TIniFile::TIniFile(std::string path) : path_(std::move(path)) {}

const TIniFile::Snapshot& TIniFile::Values() const {
  if (snapshot_) return *snapshot_;
  auto snapshot = std::make_shared<Snapshot>();
  if (std::optional<std::string> content = ReadWholeFile(path_)) {
    std::string_view text = *content;
    std::unordered_map<std::string, std::string>* current = nullptr;
    std::size_t begin = 0;
    while (begin < text.size()) {
      std::size_t newline = text.find('\n', begin);
      std::size_t end = newline == std::string_view::npos ? text.size() : newline;
      std::size_t next = newline == std::string_view::npos ? text.size() : newline + 1;
      if (end > begin && text[end - 1] == '\r') --end;
      ParsedLine parsed = ParseLine(text.substr(begin, end - begin));
      if (parsed.kind == LineKind::kSection) {
        auto [entry, added] = snapshot->sections.try_emplace(LowerCase(parsed.name));
        current = added ? &entry->second : nullptr;  // a repeated section is never read
      } else if (parsed.kind == LineKind::kKey && current) {
        current->try_emplace(LowerCase(parsed.name), CutValue(parsed.value));
      }
      begin = next;
    }
  }
  snapshot_ = snapshot;
  return *snapshot_;
}

std::optional<std::string> TIniFile::ReadValue(std::string_view section,
                                               std::string_view key) const {
  const Snapshot& values = Values();
  auto found = values.sections.find(LowerCase(Trim(section)));
  if (found == values.sections.end()) return std::nullopt;
  auto value = found->second.find(LowerCase(Trim(key)));
  if (value == found->second.end()) return std::nullopt;
  return value->second;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 const std::string& fallback) const {
  return ReadValue(section, key).value_or(fallback);
}

std::int32_t TIniFile::ReadInteger(std::string_view section, std::string_view key,
                                   std::int32_t fallback) const {
  std::optional<std::string> text = ReadValue(section, key);
  if (!text) return fallback;
  return ParseIniInteger(*text).value_or(fallback);
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool fallback) const {
  return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  snapshot_.reset();
  RewriteFile(path_,
              [&](const std::string& content) { return IniUpdate(content, section, key, value); });
}

void TIniFile::WriteInteger(std::string_view section, std::string_view key, std::int32_t value) {
  WriteString(section, key, IntToStr(value));
}

void TIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

void TIniFile::WriteValues(std::string_view section,
                           const std::vector<std::pair<std::string, std::string>>& values) {
  if (values.empty()) return;
  snapshot_.reset();
  RewriteFile(path_, [&](const std::string& content) {
    std::string updated = content;
    for (const auto& [key, value] : values) updated = IniUpdate(updated, section, key, value);
    return updated;
  });
}

}  // namespace qv
