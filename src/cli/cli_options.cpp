// Command-line parsing of quenvale-cli: friendly options map onto the stored settings' keys.
#include "cli/cli_options.h"

#include <span>

#include "cli/terminal_text.h"
#include "imaging/image_limits.h"
#include "runtime/strings.h"
#include "runtime/translation.h"
#include "settings/setting_table.h"

namespace qv::cli {

namespace {

// Values and option names go into messages quoted as file names are (a name a shell glob turned
// into an option must not reach the terminal raw).
std::string Quoted(const std::string& text) { return QuoteFileName(text); }

// An option of the run that is no setting, with its help.
struct TRunOption {
  const char* option;  // as the help text shows it
  const char* help;
};

// The help of the options that set no stored setting, after those that do.
constexpr TRunOption kRunOptions[] = {
    {"--pdf FILE", N_("the PDF file of a PDF drop")},
    {"--desktop-size WxH", N_("the display size for --size desktop")},
    {"--ini PATH, --section NAME", N_("settings file and section (default: the GUI's)")},
    {"--show-settings", N_("print the effective settings and exit")},
    {"--save-settings", N_("store the settings the options change and exit")},
    {"-k, --keep-going", N_("a failed file is reported (name and reason) and the\n"
                            "drop goes on with the next; in a PDF drop it gets no\n"
                            "page")},
    {"-v, --verbose", N_("print the summary also when stderr is no terminal")},
    {"-q, --quiet", N_("no progress lines, and no summary unless --verbose")},
    {"--help, --version", ""},
};

std::string Ranged(const std::string& option, const std::string& value, int low, int high) {
  auto number = ParseInt32(value);
  if (!number || *number < low || *number > high)
    // TRANSLATORS: the option, the lowest and the highest number, the value given.
    throw TUsageError{FormatText(Tr("%s: expected a whole number from %d to %d, got \"%s\""),
                                 {option, IntToStr(low), IntToStr(high), Quoted(value)})};
  return IntToStr(*number);
}

[[noreturn]] void UnknownValue(const std::string& option, const std::string& value,
                               const std::string& list) {
  // TRANSLATORS: the option, the value given, the values it takes ("a|b|c").
  const char* format = Tr("%s: unknown value \"%s\" (one of %s)");
  throw TUsageError{FormatText(format, {option, Quoted(value), list})};
}

std::pair<int, int> ParseSize(const std::string& option, const std::string& value) {
  auto x = value.find('x');
  if (x != std::string::npos) {
    auto w = ParseInt32(value.substr(0, x));
    auto h = ParseInt32(value.substr(x + 1));
    if (w && h && *w > 0 && *h > 0) return {*w, *h};
  }
  throw TUsageError{
      FormatText(Tr("%s: expected WIDTHxHEIGHT, got \"%s\""), {option, Quoted(value)})};
}

using TOverrides = std::vector<std::pair<std::string, std::string>>;

// --size: one of the named sizes, or any WIDTHxHEIGHT with both sides from 1 to 65535 (a custom
// size, stored beside the named one) and no more pixels than a picture may have: a larger target
// could only fail every resize.
void SetSize(const std::string& option, const std::string& value, TOverrides& overrides) {
  std::span<const char* const> names = RowOf(TSetting::kTargetRes).names;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (value == names[i]) {
      overrides.emplace_back(RowOf(TSetting::kTargetRes).key, IntToStr(static_cast<int>(i)));
      overrides.emplace_back(RowOf(TSetting::kCustomSize).key, "0");
      return;
    }
  }
  auto x = value.find('x');
  if (x != std::string::npos && x > 0) {
    auto w = ParseInt32(value.substr(0, x));
    auto h = ParseInt32(value.substr(x + 1));
    if (w && h && *w >= kCustomSizeMin && *w <= kCustomSizeMax && *h >= kCustomSizeMin &&
        *h <= kCustomSizeMax) {
      if (static_cast<std::uint64_t>(*w) * static_cast<std::uint64_t>(*h) > kMaxImagePixels) {
        // TRANSLATORS: the option, the size given, the most pixels a picture may have.
        const char* format = Tr("%s: %s is more than %s pixels, the largest picture");
        throw TUsageError{FormatText(
            format, {option, Quoted(value), IntToStr(static_cast<std::int64_t>(kMaxImagePixels))})};
      }
      overrides.emplace_back(RowOf(TSetting::kCustomSize).key, "1");
      overrides.emplace_back(RowOf(TSetting::kCustomWidth).key, IntToStr(*w));
      overrides.emplace_back(RowOf(TSetting::kCustomHeight).key, IntToStr(*h));
      return;
    }
  }
  std::string list;
  for (const char* name : names) list += std::string(name) + "|";
  UnknownValue(option, value, list + Tr("WIDTHxHEIGHT with sides from 1 to 65535"));
}

// The stored text a setting's option gives it from the value typed.
std::string OptionValue(const TSettingRow& row, const std::string& option,
                        const std::string& value) {
  switch (row.kind) {
    case TSettingKind::kChoice: {
      int index = ChoiceOfName(row, value);
      if (index < 0) UnknownValue(option, value, ChoiceNames(row));
      return IntToStr(index);
    }
    case TSettingKind::kNumber: return Ranged(option, value, row.min_value, row.max_value);
    case TSettingKind::kCheck:
    case TSettingKind::kText: break;
  }
  if (value.empty()) throw TUsageError{FormatText(Tr("%s: missing value"), {option})};
  // Refused here rather than when the settings take it, so the message names the option typed.
  if (!StoredValueOf(row, value)) {
    // TRANSLATORS: the option, the value given (a text with a line break).
    const char* format = Tr("%s: malformed value \"%s\"");
    throw TUsageError{FormatText(format, {option, Quoted(value)})};
  }
  return value;
}

// What the help shows of a setting's option: "--quality N", "--format bmp|jpeg|png|pdf".
std::string OptionSynopsis(const TSettingRow& row) {
  std::string synopsis = row.short_option ? row.short_option + std::string(", ") + row.option
                                          : std::string(row.option);
  if (row.option_value == TOptionValue::kFlag) return synopsis;
  return synopsis + " " + (row.value_name ? row.value_name : ChoiceNames(row));
}

// The help of --set: every key, in lines of the help's width.
std::string SetHelp() {
  constexpr std::size_t kWidth = 52;
  std::string help = Tr("set a stored setting; KEY is one of");
  std::string line;
  for (const TSettingRow& row : SettingRows()) {
    std::string item = std::string(row.key) + (&row == &SettingRows().back() ? "" : ",");
    if (!line.empty() && line.size() + 1 + item.size() > kWidth) {
      help += "\n" + line;
      line.clear();
    }
    line += (line.empty() ? "" : " ") + item;
  }
  return help + "\n" + line;
}

}  // namespace

std::string SetValueError(const std::string& key, const std::string& value) {
  return FormatText(Tr("--set: unknown key or malformed value \"%s=%s\""),
                    {Quoted(key), Quoted(value)});
}

std::string UsageText() {
  // Each option with its help (the help's lines start in one column, on the next line after an
  // option that reaches it); a help of several lines continues there.
  constexpr std::size_t kHelpColumn = 32;
  std::string text = std::string(Tr("usage: quenvale-cli [OPTIONS] FILE...")) + "\n" +
                     Tr("Converts the files as one drop, in the order given, with the stored "
                        "settings.") +
                     "\n\n";
  auto add = [&](const std::string& option, const std::string& help) {
    std::string row = "  " + option;
    if (!help.empty()) {
      if (row.size() >= kHelpColumn) {
        text += row + "\n";
        row.clear();
      }
      for (std::size_t from = 0;;) {
        row.append(row.size() < kHelpColumn ? kHelpColumn - row.size() : 1, ' ');
        std::size_t end = help.find('\n', from);
        row.append(help, from, end == std::string::npos ? std::string::npos : end - from);
        if (end == std::string::npos) break;
        text += row + "\n";
        row.clear();
        from = end + 1;
      }
    }
    text += row + "\n";
  };
  for (const TSettingRow& row : SettingRows())
    if (row.option) add(OptionSynopsis(row), row.help ? Tr(row.help) : "");
  add("--set KEY=VALUE", SetHelp());
  for (const TRunOption& option : kRunOptions)
    add(option.option, *option.help ? Tr(option.help) : "");
  return text + "\n" +
         Tr("Messages go to stderr: a failed file as \"FILE: reason\"; warnings for a named file\n"
            "that does not exist and for a JPEG the library completed only by working around\n"
            "damage (\"the picture may be incomplete\"). At the end a summary counts the files\n"
            "converted, passed over (output exists, not a regular file, no such file, no reader\n"
            "for it, no PDF file chosen) and failed; it is printed when stderr is a terminal, or\n"
            "with --verbose.") +
         "\n\n" +
         Tr("Exit status: 0 done (files passed over included), 1 a file failed (without\n"
            "--keep-going the drop ends there; with it, at the end), 2 usage error.") +
         "\n";
}

TCliOptions ParseCommandLine(const std::vector<std::string>& args) {
  TCliOptions options;
  bool only_files = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (only_files || arg.empty() || arg[0] != '-' || arg == "-") {
      options.files.push_back(arg);
      continue;
    }
    if (arg == "--") {
      only_files = true;
      continue;
    }
    std::string name = arg;
    std::optional<std::string> inline_value;
    if (auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      name = arg.substr(0, eq);
      inline_value = arg.substr(eq + 1);
    }
    auto value = [&]() -> std::string {
      if (inline_value) return *inline_value;
      if (i + 1 >= args.size()) throw TUsageError{FormatText(Tr("%s: missing value"), {name})};
      return args[++i];
    };
    auto flag = [&] {
      if (inline_value) throw TUsageError{FormatText(Tr("%s: takes no value"), {name})};
    };
    if (name.size() > 2 && name.rfind("-j", 0) == 0) {
      inline_value = name.substr(2);  // -jN
      name = "-j";
    }
    const TSettingRow* setting = nullptr;
    for (const TSettingRow& row : SettingRows())
      if ((row.option && name == row.option) || (row.short_option && name == row.short_option))
        setting = &row;
    if (setting) {
      switch (setting->option_value) {
        case TOptionValue::kFlag:
          flag();
          options.overrides.emplace_back(setting->key, "1");
          break;
        case TOptionValue::kSize: SetSize(name, value(), options.overrides); break;
        case TOptionValue::kBytes: {
          std::string size = value();
          if (!ParseByteSize(size)) {
            const char* format =
                // TRANSLATORS: the option, the value given.
                Tr("%s: expected a number of bytes, with K, M or G after it, got \"%s\"");
            throw TUsageError{FormatText(format, {name, Quoted(size)})};
          }
          options.overrides.emplace_back(setting->key, size);
          break;
        }
        case TOptionValue::kValue:
          options.overrides.emplace_back(setting->key, OptionValue(*setting, name, value()));
          break;
      }
      if (setting->also_key) options.overrides.emplace_back(setting->also_key, setting->also_value);
    } else if (name == "--help" || name == "-h") {
      flag(), options.help = true;
    } else if (name == "--version") {
      flag(), options.version = true;
    } else if (name == "--quiet" || name == "-q") {
      flag(), options.quiet = true;
    } else if (name == "--verbose" || name == "-v") {
      flag(), options.verbose = true;
    } else if (name == "--keep-going" || name == "-k") {
      flag(), options.keep_going = true;
    } else if (name == "--show-settings") {
      flag(), options.show_settings = true;
    } else if (name == "--save-settings") {
      flag(), options.save_settings = true;
    } else if (name == "--ini") {
      options.ini_path = value();
      if (options.ini_path->empty()) throw TUsageError{Tr("--ini: missing file name")};
    } else if (name == "--section") {
      options.section = value();
      // A section name ends at "]" and at the line end: such a name could never be read back.
      if (options.section->find_first_of("]\r\n") != std::string::npos)
        throw TUsageError{Tr("--section: a section name cannot hold \"]\" or a line break")};
    } else if (name == "--set") {
      std::string text = value();
      auto eq = text.find('=');
      if (eq == std::string::npos || eq == 0)
        throw TUsageError{FormatText(Tr("--set: expected KEY=VALUE, got \"%s\""), {Quoted(text)})};
      std::string key = text.substr(0, eq), stored = text.substr(eq + 1);
      const TSettingRow* row = FindSettingRow(key);
      if (!row || !StoredValueOf(*row, stored)) throw TUsageError{SetValueError(key, stored)};
      options.overrides.emplace_back(key, stored);
    } else if (name == "--pdf") {
      options.pdf_file = value();
      if (options.pdf_file->empty()) throw TUsageError{Tr("--pdf: missing file name")};
    } else if (name == "--desktop-size") {
      options.desktop_size = ParseSize(name, value());
    } else {
      throw TUsageError{FormatText(Tr("unknown option %s"), {Quoted(name)})};
    }
  }
  return options;
}

}  // namespace qv::cli
