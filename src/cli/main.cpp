// quenvale-cli: converts the named files as one drop, with the settings the GUI stores.
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "app/batch_run.h"
#include "cli/cli_host.h"
#include "cli/cli_options.h"
#include "runtime/exceptions.h"
#include "settings/settings_record.h"

namespace {

int Usage(const std::string& message) {
  std::cerr << "quenvale-cli: " << message << "\n\n" << qv::cli::UsageText();
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace qv;
  cli::TCliOptions options;
  try {
    options = cli::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const cli::TUsageError& error) {
    return Usage(error.message);
  }
  if (options.help) {
    std::cout << cli::UsageText();
    return 0;
  }
  if (options.version) {
    std::cout << "quenvale-cli " QV_VERSION "\n";
    return 0;
  }

  try {
    std::string ini_path = options.ini_path.value_or(DefaultIniPath());
    std::string section = options.section.value_or(DefaultIniSection());
    TSettingsRecord settings;
    settings.LoadFromIni(ini_path, section);
    for (const auto& [key, value] : options.overrides)
      if (!settings.SetValue(key, value))
        return Usage("--set: unknown key or malformed value \"" + key + "=" + value + "\"");

    if (options.show_settings) {
      std::cout << "# ini: " << ini_path << "\n# section: " << section << "\n";
      for (const auto& [key, value] : settings.Values()) std::cout << key << "=" << value << "\n";
      return 0;
    }
    if (options.save_settings) {
      settings.SaveToIni(ini_path, section);
      return 0;
    }
    if (options.files.empty()) return Usage("no files named");
    if (settings.FileFormat() == 3 && !options.pdf_file)
      return Usage("a PDF drop needs --pdf FILE (the file that receives the pages)");

    bool progress = !options.quiet && ::isatty(STDERR_FILENO);
    cli::TCliHost host(options.pdf_file, options.desktop_size, progress);
    TBatchRun batch(settings, host, host);
    batch.SetJobs(options.jobs);
    try {
      batch.FileDrop(options.files);
    } catch (const EAbort&) {
      host.SetProgressVisible(false);
      std::cerr << "quenvale-cli: " << host.CurrentFile()
                << ": abandoned: the plug-in that accepted it could not decode it\n";
      return 1;
    } catch (const std::exception& error) {
      host.SetProgressVisible(false);
      if (!host.CurrentFile().empty()) std::cerr << host.CurrentFile() << ": ";
      std::cerr << ErrorBoxText(error.what()) << "\n";
      return 1;
    }
    return 0;
  } catch (const EAbort&) {
    return 1;
  } catch (const std::exception& error) {
    std::cerr << ErrorBoxText(error.what()) << "\n";
    return 1;
  }
}
