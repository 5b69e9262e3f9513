// Command-line parsing of quenvale-cli: friendly options map onto the stored settings' keys.
#include "cli/cli_options.h"

#include <array>

#include "runtime/strings.h"
#include "settings/photo_settings.h"

namespace qv::cli {

namespace {

constexpr std::array<const char*, 10> kSizes = {"none",      "desktop",  "96x96",    "640x480",
                                                "800x600",   "1024x768", "1152x864", "1280x960",
                                                "1280x1024", "1600x1200"};
constexpr std::array<const char*, 4> kFormats = {"bmp", "jpeg", "png", "pdf"};
constexpr std::array<const char*, 6> kResamplers = {"bilinear", "bilinear-mmx", "mitchell",
                                                    "lanczos3", "bspline",      "bell"};

template <std::size_t N>
std::string IndexOf(const std::array<const char*, N>& names, const std::string& option,
                    const std::string& value) {
  for (std::size_t i = 0; i < N; ++i)
    if (value == names[i]) return IntToStr(static_cast<std::int64_t>(i));
  std::string list;
  for (std::size_t i = 0; i < N; ++i) list += (i ? "|" : "") + std::string(names[i]);
  throw TUsageError{option + ": unknown value \"" + value + "\" (one of " + list + ")"};
}

std::string Ranged(const std::string& option, const std::string& value, int low, int high) {
  auto number = ParseInt32(value);
  if (!number || *number < low || *number > high)
    throw TUsageError{option + ": expected a whole number from " + IntToStr(low) + " to " +
                      IntToStr(high) + ", got \"" + value + "\""};
  return IntToStr(*number);
}

std::pair<int, int> ParseSize(const std::string& option, const std::string& value) {
  auto x = value.find('x');
  if (x != std::string::npos) {
    auto w = ParseInt32(value.substr(0, x));
    auto h = ParseInt32(value.substr(x + 1));
    if (w && h && *w > 0 && *h > 0) return {*w, *h};
  }
  throw TUsageError{option + ": expected WIDTHxHEIGHT, got \"" + value + "\""};
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
  throw TUsageError{option + ": unknown value \"" + value + "\" (one of " + list +
                    "WIDTHxHEIGHT with sides from 1 to 65535)"};
}

}  // namespace

const char* UsageText() {
  return "usage: quenvale-cli [OPTIONS] FILE...\n"
         "Converts the files as one drop, in the order given, with the stored settings.\n"
         "\n"
         "  --format bmp|jpeg|png|pdf     output format\n"
         "  --size "
         "none|desktop|96x96|640x480|800x600|1024x768|1152x864|1280x960|1280x1024|1600x1200\n"
         "                                or any WIDTHxHEIGHT, each side 1..65535\n"
         "  --resample bilinear|bilinear-mmx|mitchell|lanczos3|bspline|bell\n"
         "  --out DIR                     write into DIR (created when missing)\n"
         "  --overwrite                   overwrite existing outputs (default: pass them over)\n"
         "  --sepia, --reduce256          sepia toning, 256-colour reduction\n"
         "  --auto-orient                 turn JPEG photos upright by their EXIF orientation\n"
         "                                (in a PDF, an unchanged JPEG turns the page instead)\n"
         "  --keep-metadata               JPEG to JPEG or PNG: keep the EXIF data and the colour\n"
         "                                profile\n"
         "  --fit                         keep the aspect ratio: scale to fit inside the --size\n"
         "                                box, never enlarging\n"
         "  --quality N                   JPEG quality 1..100\n"
         "  --png-level N                 PNG compression level 0..9\n"
         "  --pdf FILE                    the PDF file of a PDF drop\n"
         "  --desktop-size WxH            the display size for --size desktop\n"
         "  --set KEY=VALUE               set a stored setting (TargetRes, FileFormat, "
         "ResampleMode,\n"
         "                                OutputMode, DstDir, OverWrite, SepiaMode,\n"
         "                                Reduce256ColorMode, JPEGQL, PNGCL, AutoOrient,\n"
         "                                KeepMetadata, KeepAspect, CustomSize, CustomWidth, "
         "CustomHeight)\n"
         "  --ini PATH, --section NAME    settings file and section (default: the GUI's)\n"
         "  --show-settings               print the effective settings and exit\n"
         "  --save-settings               store the settings the options change and exit\n"
         "  -k, --keep-going              a failed file is reported (name and reason) and the\n"
         "                                drop goes on with the next; in a PDF drop it gets no\n"
         "                                page\n"
         "  -v, --verbose                 print the summary also when stderr is no terminal\n"
         "  -q, --quiet                   no progress lines, and no summary unless --verbose\n"
         "  --help, --version\n"
         "\n"
         "Messages go to stderr: a failed file as \"FILE: reason\"; warnings for a named file\n"
         "that does not exist and for a JPEG the library completed only by working around\n"
         "damage (\"the picture may be incomplete\"). At the end a summary counts the files\n"
         "converted, passed over (output exists, not a regular file, no such file, no reader\n"
         "for it, no PDF file chosen) and failed; it is printed when stderr is a terminal, or\n"
         "with --verbose.\n"
         "\n"
         "Exit status: 0 done (files passed over included), 1 a file failed (without\n"
         "--keep-going the drop ends there; with it, at the end), 2 usage error.\n";
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
      if (i + 1 >= args.size()) throw TUsageError{name + ": missing value"};
      return args[++i];
    };
    auto flag = [&] {
      if (inline_value) throw TUsageError{name + ": takes no value"};
    };
    auto set = [&](const char* key, std::string text) {
      options.overrides.emplace_back(key, std::move(text));
    };
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
    } else if (name == "--show-settings") {
      flag(), options.show_settings = true;
    } else if (name == "--save-settings") {
      flag(), options.save_settings = true;
    } else if (name == "--ini") {
      options.ini_path = value();
      if (options.ini_path->empty()) throw TUsageError{"--ini: missing file name"};
    } else if (name == "--section") {
      options.section = value();
      // A section name ends at "]" and at the line end: such a name could never be read back.
      if (options.section->find_first_of("]\r\n") != std::string::npos)
        throw TUsageError{"--section: a section name cannot hold \"]\" or a line break"};
    } else if (name == "--set") {
      std::string text = value();
      auto eq = text.find('=');
      if (eq == std::string::npos || eq == 0)
        throw TUsageError{"--set: expected KEY=VALUE, got \"" + text + "\""};
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
      if (folder.empty()) throw TUsageError{"--out: missing folder"};
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
    } else if (name == "--fit") {
      flag(), set("KeepAspect", "1");
    } else if (name == "--quality") {
      set("JPEGQL", Ranged(name, value(), 1, 100));
    } else if (name == "--png-level") {
      set("PNGCL", Ranged(name, value(), 0, 9));
    } else if (name == "--pdf") {
      options.pdf_file = value();
      if (options.pdf_file->empty()) throw TUsageError{"--pdf: missing file name"};
    } else if (name == "--desktop-size") {
      options.desktop_size = ParseSize(name, value());
    } else {
      throw TUsageError{"unknown option " + name};
    }
  }
  return options;
}

}  // namespace qv::cli
