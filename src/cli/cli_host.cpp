// The command line's host: progress on stderr, messages on stderr, plug-ins from the program's
// folder.
#include "cli/cli_host.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "app/file_result.h"
#include "cli/terminal_text.h"
#include "codecs/plugin_host/spi_lib32.h"
#include "imaging/bitmap.h"
#include "runtime/exceptions.h"
#include "runtime/strings.h"
#include "runtime/translation.h"

namespace qv::cli {

TCliHost::TCliHost(std::optional<std::string> pdf_file,
                   std::optional<std::pair<int, int>> desktop_size, bool progress, bool overwrite)
    : pdf_file_(std::move(pdf_file)),
      desktop_size_(desktop_size),
      progress_(progress),
      overwrite_(overwrite) {}

TCliHost::~TCliHost() = default;

void TCliHost::ShowErrorMessage(const std::string& text, const std::string& caption) {
  std::string line;
  for (char c : text)
    if (c != '\r') line += c == '\n' ? ' ' : c;
  SetProgressVisible(false);
  std::cerr << "quenvale-cli: " << TerminalSafe(caption) << ": " << QuoteFileName(current_file_)
            << ": " << TerminalSafe(line, {current_file_}) << "\n";
}

std::pair<int, int> TCliHost::PrimaryDisplaySize() {
  if (desktop_size_) return *desktop_size_;
  if (auto size = QueryDisplaySize()) {
    desktop_size_ = size;
    return *size;
  }
  throw Exception(
      Tr("The desktop size is not known here (no display answered): give --desktop-size WxH"));
}

TSpiLib32& TCliHost::Plugins() {
  std::call_once(plugins_loaded_, [this] {
    plugins_ = std::make_unique<TSpiLib32>();
    for (const std::string& folder : DefaultPluginFolders()) plugins_->LoadPlugins(folder);
  });
  return *plugins_;
}

void TCliHost::ReadByPlugins(const std::string& file_name, TBitmap& image) {
  Plugins().LoadFromFile(file_name, image);
}

void TCliHost::ReadByPluginsWithMetadata(const std::string& file_name, TBitmap& image,
                                         TPluginMetadata& metadata) {
  Plugins().LoadFromFile(file_name, image, &metadata);
}

std::optional<std::pair<int, int>> TCliHost::PictureSizeByPlugins(const std::string& file_name) {
  return Plugins().PictureSize(file_name);
}

void TCliHost::FileWarning(const std::string& file_name, const std::string& text) {
  SetProgressVisible(false);
  std::cerr << "quenvale-cli: " << Tr("warning") << ": " << QuoteFileName(file_name) << ": "
            << TerminalSafe(text, {file_name}) << "\n";
}

void TCliHost::FileFinished(int, int, const TFileResult& result) {
  if (result.status == TFileStatus::kFailed) {
    SetProgressVisible(false);
    reported_failure_ = result.error;
    if (result.silent) std::cerr << "quenvale-cli: ";
    std::cerr << QuoteFileName(result.file_name) << ": "
              << TerminalSafe(result.message,
                              {result.file_name, pdf_file_ ? *pdf_file_ : std::string()})
              << "\n";
  } else if (result.reason == TPassReason::kMissing) {
    SetProgressVisible(false);
    std::cerr << "quenvale-cli: " << Tr("warning") << ": " << QuoteFileName(result.file_name)
              << ": " << PassReasonText(result.reason) << "\n";
  }
}

void TCliHost::SameOutputTwice(const std::string& earlier_input, const std::string& input,
                               const std::string& output, bool overwritten) {
  SetProgressVisible(false);
  // TRANSLATORS: the later input, the output, the earlier input with the same output.
  const char* format = overwritten ? Tr("%s: same output %s as %s: overwritten")
                                   : Tr("%s: same output %s as %s: passed over");
  std::cerr << "quenvale-cli: "
            << FormatText(format, {QuoteFileName(input), QuoteFileName(output),
                                   QuoteFileName(earlier_input)})
            << "\n";
}

void TCliHost::CheckPdfReplace(const std::string& pdf_file) {
  struct stat info;
  if (!overwrite_ && ::lstat(pdf_file.c_str(), &info) == 0)
    throw Exception(
        FormatText(Tr("The PDF file \"%s\" exists: give --overwrite to replace it"), {pdf_file}));
}

void TCliHost::PartialPdfWritten(const std::string& pdf_file, int pages_written) {
  // TRANSLATORS: the PDF file, the number of pages it holds.
  partial_pdf_note_ = "quenvale-cli: " +
                      FormatText(TrN("%s holds the first %d page of the drop",
                                     "%s holds the first %d pages of the drop", pages_written),
                                 {QuoteFileName(pdf_file), IntToStr(pages_written)}) +
                      "\n";
}

void TCliHost::PrintPartialPdfNote() {
  std::cerr << partial_pdf_note_;
  partial_pdf_note_.clear();
}

void TCliHost::SetProgressVisible(bool visible) {
  if (!visible && progress_line_open_) {
    std::cerr << "\r\033[K" << std::flush;
    progress_line_open_ = false;
  }
}

void TCliHost::ReportError(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const EAbort&) {
  } catch (const std::exception& e) {
    std::cerr << "quenvale-cli: "
              << TerminalSafe(ErrorBoxText(e.what()),
                              {current_file_, pdf_file_ ? *pdf_file_ : std::string()})
              << "\n";
  }
}

void TCliHost::FileStarting(int index, int count, const std::string& file_name) {
  current_file_ = file_name;
  if (!progress_) return;
  std::cerr << "\r\033[K[" << index + 1 << "/" << count << "] " << QuoteFileName(file_name)
            << std::flush;
  progress_line_open_ = true;
}

std::optional<std::pair<int, int>> QueryDisplaySize() {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') return std::nullopt;
  // xdpyinfo answers for the X display when it is installed; without it the size is unknown.
  FILE* pipe = ::popen("xdpyinfo 2>/dev/null", "r");
  if (pipe == nullptr) return std::nullopt;
  std::optional<std::pair<int, int>> size;
  char line[512];
  while (std::fgets(line, sizeof line, pipe)) {
    int width = 0, height = 0;
    if (std::sscanf(line, " dimensions: %dx%d", &width, &height) == 2 && width > 0 && height > 0) {
      size = std::make_pair(width, height);
      break;
    }
  }
  ::pclose(pipe);
  return size;
}

}  // namespace qv::cli
