// Command-line parsing of quenvale-cli into settings overrides and run options.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qv::cli {

struct TCliOptions {
  std::optional<std::string> ini_path;
  std::optional<std::string> section;
  // Setting overrides in the order given, each a stored key and its stored text.
  std::vector<std::pair<std::string, std::string>> overrides;
  std::optional<std::string> pdf_file;
  std::optional<std::pair<int, int>> desktop_size;
  bool quiet = false;
  bool verbose = false;
  bool keep_going = false;
  bool help = false;
  bool version = false;
  bool show_settings = false;
  bool save_settings = false;
  std::vector<std::string> files;
};

// Thrown for a usage error (exit status 2).
struct TUsageError {
  std::string message;
};

// Parses argv[1..]; throws TUsageError for unknown options, missing or malformed values.
TCliOptions ParseCommandLine(const std::vector<std::string>& args);

// The usage error of --set for a key that is no setting or a value the setting cannot hold, the
// key and the value quoted as file names are.
std::string SetValueError(const std::string& key, const std::string& value);

// The usage text printed by --help and after a usage error.
std::string UsageText();

}  // namespace qv::cli
