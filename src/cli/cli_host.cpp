// The command line's host: progress on stderr, messages on stderr, plug-ins from the program's
// folder.
#include "cli/cli_host.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "app/file_result.h"
#include "codecs/spi_lib32.h"
#include "imaging/bitmap.h"
#include "runtime/exceptions.h"
#include "runtime/strings.h"
#include "runtime/translation.h"

namespace qv::cli {

TCliHost::TCliHost(std::optional<std::string> pdf_file,
                   std::optional<std::pair<int, int>> desktop_size, bool progress)
    : pdf_file_(std::move(pdf_file)), desktop_size_(desktop_size), progress_(progress) {}

TCliHost::~TCliHost() = default;

void TCliHost::ShowErrorMessage(const std::string& text, const std::string& caption) {
  std::string line;
  for (char c : text)
    if (c != '\r') line += c == '\n' ? ' ' : c;
  SetProgressVisible(false);
  std::cerr << "quenvale-cli: " << caption << ": " << current_file_ << ": " << line << "\n";
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

void TCliHost::ReadByPlugins(const std::string& file_name, TBitmap& image) {
  if (!plugins_) {
    plugins_ = std::make_unique<TSpiLib32>();
    for (const std::string& folder : DefaultPluginFolders()) plugins_->LoadPlugins(folder);
  }
  plugins_->LoadFromFile(file_name, image);
}

void TCliHost::FileWarning(const std::string& file_name, const std::string& text) {
  SetProgressVisible(false);
  std::cerr << "quenvale-cli: warning: " << file_name << ": " << text << "\n";
}

void TCliHost::FileFinished(int, int, const TFileResult& result) {
  if (result.status == TFileStatus::kFailed) {
    SetProgressVisible(false);
    reported_failure_ = result.error;
    if (result.silent) std::cerr << "quenvale-cli: ";
    std::cerr << result.file_name << ": " << result.message << "\n";
  } else if (result.reason == TPassReason::kMissing) {
    SetProgressVisible(false);
    std::cerr << "quenvale-cli: warning: " << result.file_name << ": "
              << PassReasonText(result.reason) << "\n";
  }
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
    std::cerr << "quenvale-cli: " << ErrorBoxText(e.what()) << "\n";
  }
}

void TCliHost::FileStarting(int index, int count, const std::string& file_name) {
  current_file_ = file_name;
  if (!progress_) return;
  std::cerr << "\r\033[K[" << index + 1 << "/" << count << "] " << file_name << std::flush;
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
