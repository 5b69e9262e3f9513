// quenvale-cli: converts the named files as one drop, with the settings the GUI stores.
#include <unistd.h>

#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "app/batch_run.h"
#include "app/job_options.h"
#include "app/name_pattern.h"
#include "cli/cli_host.h"
#include "cli/cli_options.h"
#include "cli/settings_listing.h"
#include "cli/terminal_text.h"
#include "runtime/exceptions.h"
#include "runtime/file_replacement.h"
#include "runtime/process_limits.h"
#include "runtime/strings.h"
#include "runtime/translation.h"
#include "runtime/version_text.h"
#include "settings/settings_record.h"

namespace {

// A usage error as GNU programs report one: the reason, then where the help is.
int Usage(const std::string& message) {
  // The message quotes what the user typed; anything else a terminal would act on is escaped.
  std::cerr << "quenvale-cli: " << qv::cli::TerminalSafe(message) << "\n"
            << qv::FormatText(qv::Tr("Try '%s --help' for more information."), {"quenvale-cli"})
            << "\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace qv;
  InitTranslations(DefaultCatalogueFolder());
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
    std::cout << VersionText("quenvale-cli");
    return 0;
  }

  CleanUpTemporaryFilesOnSignals();
  // Converting many files at once may need more descriptors than the soft limit's default.
  RaiseOpenFileLimit();
  try {
    std::string ini_path = options.ini_path.value_or(DefaultIniPath());
    std::string section = options.section.value_or(DefaultIniSection());
    TSettingsRecord settings;
    settings.LoadFromIni(ini_path, section);
    for (const auto& [key, value] : options.overrides)
      if (!settings.SetValue(key, value)) return Usage(cli::SetValueError(key, value));

    // A name pattern that makes no file name is refused before anything is converted.
    try {
      TNamePattern pattern(settings.Text(TSetting::kNamePattern));
    } catch (const Exception& error) {
      return Usage(error.Message());
    }

    if (options.show_settings) {
      std::cout << "# ini: " << cli::QuoteFileName(ini_path)
                << "\n# section: " << cli::TerminalSafe(section) << "\n";
      cli::ListSettings(settings, std::cout, std::cerr);
      return 0;
    }
    if (options.save_settings) {
      // Only the keys asked for: a save never puts back values another process changed since.
      std::vector<std::string> keys;
      for (const auto& override : options.overrides) keys.push_back(override.first);
      settings.SaveToIni(ini_path, section, keys);
      return 0;
    }
    if (options.files.empty()) return Usage(Tr("no files named"));
    if (OutputFormatOf(settings.Choice(TSetting::kFileFormat)) == TOutputFormat::kPdf &&
        !options.pdf_file)
      return Usage(Tr("a PDF drop needs --pdf FILE (the file that receives the pages)"));

    bool progress = !options.quiet && ::isatty(STDERR_FILENO);
    bool summary = options.verbose || (!options.quiet && ::isatty(STDERR_FILENO));
    cli::TCliHost host(options.pdf_file, options.desktop_size, progress,
                       settings.Choice(TSetting::kOverWrite) != 0);
    TBatchRun batch(settings, host, host);
    batch.SetKeepGoing(options.keep_going);
    batch.SetJobs(JobCount(settings.Clamped(TSetting::kJobs)));
    int status = 0;
    try {
      batch.FileDrop(options.files);
    } catch (...) {
      host.SetProgressVisible(false);
      // A file's failure has been reported with its name; anything else (writing the PDF
      // file) is reported here.
      if (std::current_exception() != host.ReportedFailure()) {
        try {
          throw;
        } catch (const EAbort&) {
        } catch (const std::exception& error) {
          std::cerr << cli::TerminalSafe(ErrorBoxText(error.what()),
                                         {options.pdf_file ? *options.pdf_file : std::string()})
                    << "\n";
        }
      }
      host.PrintPartialPdfNote();
      status = 1;
    }
    const TBatchSummary& counts = batch.Summary();
    if (counts.Failed() > 0) status = 1;
    if (summary) {
      std::cerr << "quenvale-cli: " << counts.Text(batch.NotReached()) << "\n";
    }
    return status;
  } catch (const EAbort&) {
    return 1;
  } catch (const std::bad_alloc&) {
    std::cerr << ErrorBoxText(EOutOfMemory().what()) << "\n";
    return 1;
  } catch (const std::exception& error) {
    std::cerr << cli::TerminalSafe(ErrorBoxText(error.what())) << "\n";
    return 1;
  }
}
