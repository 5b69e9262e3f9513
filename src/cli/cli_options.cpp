// Command-line parsing of quenvale-cli: friendly options map onto the stored settings' keys.
#include "cli/cli_options.h"

#include <algorithm>
#include <array>
#include <thread>

#include "runtime/strings.h"
#include "runtime/translation.h"
#include "settings/photo_settings.h"

namespace qv::cli {

namespace {

constexpr std::array<const char*, 10> kSizes = {"none",      "desktop",  "96x96",    "640x480",
                                                "800x600",   "1024x768", "1152x864", "1280x960",
                                                "1280x1024", "1600x1200"};
constexpr std::array<const char*, 2> kPngFilterSets = {"sub", "all"};
constexpr std::array<const char*, 4> kFormats = {"bmp", "jpeg", "png", "pdf"};
constexpr std::array<const char*, 6> kResamplers = {"bilinear", "bilinear-mmx", "mitchell",
                                                    "lanczos3", "bspline",      "bell"};

// The most files converted at once that -j takes.
constexpr int kMaxJobs = 1024;

template <std::size_t N>
std::string IndexOf(const std::array<const char*, N>& names, const std::string& option,
                    const std::string& value) {
  for (std::size_t i = 0; i < N; ++i)
    if (value == names[i]) return IntToStr(static_cast<std::int64_t>(i));
  std::string list;
  for (std::size_t i = 0; i < N; ++i) list += (i ? "|" : "") + std::string(names[i]);
  // TRANSLATORS: the option, the value given, the values it takes ("a|b|c").
  throw TUsageError{FormatText(Tr("%s: unknown value \"%s\" (one of %s)"), {option, value, list})};
}

std::string Ranged(const std::string& option, const std::string& value, int low, int high) {
  auto number = ParseInt32(value);
  if (!number || *number < low || *number > high)
    // TRANSLATORS: the option, the lowest and the highest number, the value given.
    throw TUsageError{FormatText(Tr("%s: expected a whole number from %d to %d, got \"%s\""),
                                 {option, IntToStr(low), IntToStr(high), value})};
  return IntToStr(*number);
}

std::pair<int, int> ParseSize(const std::string& option, const std::string& value) {
  auto x = value.find('x');
  if (x != std::string::npos) {
    auto w = ParseInt32(value.substr(0, x));
    auto h = ParseInt32(value.substr(x + 1));
    if (w && h && *w > 0 && *h > 0) return {*w, *h};
  }
  throw TUsageError{FormatText(Tr("%s: expected WIDTHxHEIGHT, got \"%s\""), {option, value})};
}

// --size: one of the ten named sizes, or any WIDTHxHEIGHT with both sides from 1 to 65535 (a
// custom size, stored beside the named one).
template <typename Setter>
void SetSize(const std::string& option, const std::string& value, Setter set) {
  for (std::size_t i = 0; i < kSizes.size(); ++i) {
    if (value == kSizes[i]) {
      set("TargetRes", IntToStr(static_cast<std::int64_t>(i)));
      set("CustomSize", "0");
      return;
    }
  }
  auto x = value.find('x');
  if (x != std::string::npos && x > 0) {
    auto w = ParseInt32(value.substr(0, x));
    auto h = ParseInt32(value.substr(x + 1));
    if (w && h && *w >= kCustomSizeMin && *w <= kCustomSizeMax && *h >= kCustomSizeMin &&
        *h <= kCustomSizeMax) {
      set("CustomSize", "1");
      set("CustomWidth", IntToStr(*w));
      set("CustomHeight", IntToStr(*h));
      return;
    }
  }
  std::string list;
  for (std::size_t i = 0; i < kSizes.size(); ++i) list += std::string(kSizes[i]) + "|";
  throw TUsageError{
      FormatText(Tr("%s: unknown value \"%s\" (one of %s)"),
                 {option, value, list + Tr("WIDTHxHEIGHT with sides from 1 to 65535")})};
}

}  // namespace

std::string UsageText() {
  // Each option with its help (the help's lines start in one column, on the next line after an
  // option that reaches it); a help of several lines continues there.
  struct Line {
    const char* option;
    const char* help;
  };
  static constexpr Line kLines[] = {
      {"--format bmp|jpeg|png|pdf", N_("output format")},
      {"--size none|desktop|96x96|640x480|800x600|1024x768|1152x864|1280x960|1280x1024|1600x1200",
       N_("or any WIDTHxHEIGHT, each side 1..65535")},
      {"--resample bilinear|bilinear-mmx|mitchell|lanczos3|bspline|bell", ""},
      {"--out DIR", N_("write into DIR (created when missing)")},
      {"--overwrite", N_("overwrite existing outputs (default: pass them over)")},
      {"--sepia, --reduce256", N_("sepia toning, 256-colour reduction")},
      {"--auto-orient", N_("turn JPEG photos upright by their EXIF orientation\n"
                           "(in a PDF, an unchanged JPEG turns the page instead)")},
      {"--keep-metadata", N_("JPEG to JPEG or PNG: keep the EXIF data and the colour\nprofile")},
      {"--fit", N_("keep the aspect ratio: scale to fit inside the --size\nbox, never enlarging")},
      {"--quality N", N_("JPEG quality 1..100")},
      {"--png-level N", N_("PNG compression level 0..9")},
      {"--pdf FILE", N_("the PDF file of a PDF drop")},
      {"--desktop-size WxH", N_("the display size for --size desktop")},
      {"--fast-shrink", N_("decode a JPEG that is reduced at 1/2, 1/4 or 1/8 size\n"
                           "first (faster; pixels differ slightly)")},
      {"--png-filters sub|all", N_("PNG row filters: Sub on every row (default), or the\n"
                                   "best of all five per row (smaller files)")},
      {"--set KEY=VALUE", N_("set a stored setting (TargetRes, FileFormat, ResampleMode,\n"
                             "OutputMode, DstDir, OverWrite, SepiaMode,\n"
                             "Reduce256ColorMode, JPEGQL, PNGCL, AutoOrient,\n"
                             "KeepMetadata, KeepAspect, CustomSize, CustomWidth,\n"
                             "CustomHeight, FastShrink, PNGFilters)")},
      {"--ini PATH, --section NAME", N_("settings file and section (default: the GUI's)")},
      {"--show-settings", N_("print the effective settings and exit")},
      {"--save-settings", N_("store the settings the options change and exit")},
      {"-k, --keep-going", N_("a failed file is reported (name and reason) and the\n"
                              "drop goes on with the next; in a PDF drop it gets no\n"
                              "page")},
      {"-j N, --jobs N", N_("convert up to N files at once (0: one per core;\n"
                            "default 1); outputs, PDF page order and messages\n"
                            "are those of -j 1")},
      {"-v, --verbose", N_("print the summary also when stderr is no terminal")},
      {"-q, --quiet", N_("no progress lines, and no summary unless --verbose")},
      {"--help, --version", ""},
  };
  constexpr std::size_t kHelpColumn = 32;
  std::string text = std::string(Tr("usage: quenvale-cli [OPTIONS] FILE...")) + "\n" +
                     Tr("Converts the files as one drop, in the order given, with the stored "
                        "settings.") +
                     "\n\n";
  for (const Line& line : kLines) {
    std::string row = std::string("  ") + line.option;
    if (*line.help != '\0') {
      std::string help = Tr(line.help);
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
  }
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
    auto set = [&](const char* key, std::string text) {
      options.overrides.emplace_back(key, std::move(text));
    };
    if (name.size() > 2 && name.rfind("-j", 0) == 0) {
      inline_value = name.substr(2);  // -jN
      name = "-j";
    }
    if (name == "--help" || name == "-h") {
      flag(), options.help = true;
    } else if (name == "--version") {
      flag(), options.version = true;
    } else if (name == "--quiet" || name == "-q") {
      flag(), options.quiet = true;
    } else if (name == "--verbose" || name == "-v") {
      flag(), options.verbose = true;
    } else if (name == "--keep-going" || name == "-k") {
      flag(), options.keep_going = true;
    } else if (name == "--jobs" || name == "-j") {
      options.jobs = std::stoi(Ranged(name, value(), 0, kMaxJobs));
      if (options.jobs == 0)
        options.jobs =
            std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, kMaxJobs);
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
        throw TUsageError{FormatText(Tr("--set: expected KEY=VALUE, got \"%s\""), {text})};
      options.overrides.emplace_back(text.substr(0, eq), text.substr(eq + 1));
    } else if (name == "--size") {
      SetSize(name, value(), set);
    } else if (name == "--format") {
      std::string text = value();
      set("FileFormat", IndexOf(kFormats, name, text == "jpg" ? "jpeg" : text));
    } else if (name == "--resample") {
      set("ResampleMode", IndexOf(kResamplers, name, value()));
    } else if (name == "--out") {
      std::string folder = value();
      if (folder.empty()) throw TUsageError{Tr("--out: missing folder")};
      set("OutputMode", "1");
      set("DstDir", folder);
    } else if (name == "--overwrite") {
      flag(), set("OverWrite", "1");
    } else if (name == "--sepia") {
      flag(), set("SepiaMode", "1");
    } else if (name == "--reduce256") {
      flag(), set("Reduce256ColorMode", "1");
    } else if (name == "--auto-orient") {
      flag(), set("AutoOrient", "1");
    } else if (name == "--keep-metadata") {
      flag(), set("KeepMetadata", "1");
    } else if (name == "--fast-shrink") {
      flag(), set("FastShrink", "1");
    } else if (name == "--png-filters") {
      set("PNGFilters", IndexOf(kPngFilterSets, name, value()));
    } else if (name == "--fit") {
      flag(), set("KeepAspect", "1");
    } else if (name == "--quality") {
      set("JPEGQL", Ranged(name, value(), 1, 100));
    } else if (name == "--png-level") {
      set("PNGCL", Ranged(name, value(), 0, 9));
    } else if (name == "--pdf") {
      options.pdf_file = value();
      if (options.pdf_file->empty()) throw TUsageError{Tr("--pdf: missing file name")};
    } else if (name == "--desktop-size") {
      options.desktop_size = ParseSize(name, value());
    } else {
      throw TUsageError{FormatText(Tr("unknown option %s"), {name})};
    }
  }
  return options;
}

}  // namespace qv::cli
