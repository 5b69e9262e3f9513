// The command line's host for the conversion job and the batch run.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "app/batch_host.h"
#include "app/job_host.h"

namespace qv {
class TSpiLib32;
}

namespace qv::cli {

class TCliHost : public IJobHost, public IBatchHost {
 public:
  // overwrite: an existing PDF file may be replaced (without it a PDF drop onto one is refused).
  TCliHost(std::optional<std::string> pdf_file, std::optional<std::pair<int, int>> desktop_size,
           bool progress, bool overwrite = false);
  ~TCliHost() override;

  // IJobHost
  TCursor Cursor() const override { return cursor_; }
  void SetCursor(TCursor cursor) override { cursor_ = cursor; }
  void ShowErrorMessage(const std::string& text, const std::string& caption) override;
  std::pair<int, int> PrimaryDisplaySize() override;
  void ReadByPlugins(const std::string& file_name, TBitmap& image) override;
  void ReadByPluginsWithMetadata(const std::string& file_name, TBitmap& image,
                                 TPluginMetadata& metadata) override;
  // The plug-ins are loaded once, by whichever worker needs them first.
  bool PluginReadsMayOverlap() const override { return true; }
  std::optional<std::pair<int, int>> PictureSizeByPlugins(const std::string& file_name) override;
  void FileWarning(const std::string& file_name, const std::string& text) override;
  void SameOutputTwice(const std::string& earlier_input, const std::string& input,
                       const std::string& output, bool overwritten) override;

  // IBatchHost
  void SetProgressMax(int) override {}
  void SetProgressPosition(int) override {}
  void SetProgressVisible(bool visible) override;
  std::string Caption() const override { return caption_; }
  void SetCaption(const std::string& caption) override { caption_ = caption; }
  void ProcessMessages() override {}
  std::optional<std::string> AskPdfFileName() override { return pdf_file_; }
  void CheckPdfReplace(const std::string& pdf_file) override;
  void PartialPdfWritten(const std::string& pdf_file, int pages_written) override;
  void ReportError(std::exception_ptr error) override;
  void FileStarting(int index, int count, const std::string& file_name) override;
  // A failed file is reported as "FILE: reason"; a named file that does not exist gets a
  // warning.
  void FileFinished(int index, int count, const TFileResult& result) override;

  // The failure of a file that FileFinished has already reported (to tell it from others).
  std::exception_ptr ReportedFailure() const { return reported_failure_; }
  // Prints where the pages made before the failure went, when a PDF drop kept some.
  void PrintPartialPdfNote();

 private:
  std::optional<std::string> pdf_file_;
  std::optional<std::pair<int, int>> desktop_size_;
  bool progress_;
  bool overwrite_;
  std::string partial_pdf_note_;
  bool progress_line_open_ = false;
  TCursor cursor_ = TCursor::crDefault;
  std::string caption_ = "Drop Files Here.";
  std::string current_file_;
  std::exception_ptr reported_failure_;
  // The plug-in host, loaded by the first file that needs it.
  TSpiLib32& Plugins();
  std::once_flag plugins_loaded_;
  std::unique_ptr<TSpiLib32> plugins_;
};

// The size of the X display named by $DISPLAY, when one answers; nullopt otherwise.
std::optional<std::pair<int, int>> QueryDisplaySize();

}  // namespace qv::cli
