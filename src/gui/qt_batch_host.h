// The batch run's host in the GUI: the main window's progress bar, label and title, event
// processing, the PDF save dialog, the question before originals are replaced, the error box
// naming the failed file, and the result list.
#pragma once

#include <QString>
#include <exception>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/batch_host.h"

class QFileDialog;
class QLabel;
class QProgressBar;
class QWidget;

namespace qv {
class IJobSettings;
}

namespace qv::gui {

class TResultListForm;

// The details a tool tip gives of a run: files passed over because their output exists or no
// reader took them, and pictures that came with warnings (that may be incomplete); one line
// each, empty when there is nothing to say.
QString DropDetails(const TBatchSummary& summary);

class TQtBatchHost : public IBatchHost {
 public:
  // owner: the main window, whose title shows "i/n - " and its title while a drop runs; list:
  // the result list, told of every name.
  TQtBatchHost(QProgressBar& task, QLabel& mes, QFileDialog& save_dialog, TResultListForm& list,
               QWidget* owner);

  // The settings the questions read (ReplaceOriginals); none: every question is asked.
  void SetSettings(const IJobSettings* settings) { settings_ = settings; }
  // Called when the user answered the replace question with "Do not ask again" ticked, with the
  // ReplaceOriginals choice to keep (1 replace, 2 skip).
  std::function<void(int choice)> OnKeepReplaceChoice;

  void SetProgressMax(int maximum) override;
  void SetProgressPosition(int position) override;
  void SetProgressVisible(bool visible) override;
  std::string Caption() const override;
  void SetCaption(const std::string& caption) override;
  void ProcessMessages() override;
  // Runs on a worker thread while this thread goes on processing events, so the window
  // repaints and answers drags (a drop made meanwhile is queued by the batch run).
  void RunFile(const std::function<void()>& convert) override;
  std::optional<std::string> AskPdfFileName() override;
  // Unless ReplaceOriginals is 1 (replace them without asking).
  bool AsksBeforeReplacingOriginals() const override;
  // With ReplaceOriginals 2, false; with 0, a question box: "Replace", "Skip these" (the
  // default) and "Do not ask again".
  bool ReplaceOriginals(int count) override;
  // The error box of a queued drop's failure, naming the file.
  void ReportError(std::exception_ptr error) override;
  void DropQueued(const std::vector<std::string>& files) override;
  void DropStarting() override;
  void FileListed(int index, const std::string& file_name) override;
  void FileStarting(int index, int count, const std::string& file_name) override;
  void FileFinished(int index, int count, const TFileResult& result) override;
  void FileFailedAfterAll(int index, const TFileResult& result) override;
  void DropFinished(const TBatchSummary& summary) override;
  void DropNotStarted(const std::vector<std::string>& files) override;
  // The window has closed: the running drop stops before its next file.
  bool StopRequested() const override { return closing_; }

  // The file whose failure this is (empty when none is known); forgets it.
  QString TakeFailedFile(std::exception_ptr error);

  // Set when the main window has closed (the program is ending).
  void SetClosing() { closing_ = true; }

 private:
  QProgressBar& task_;
  QLabel& mes_;
  QFileDialog& save_dialog_;
  TResultListForm& list_;
  QWidget* owner_;
  const IJobSettings* settings_ = nullptr;
  QString title_;
  bool closing_ = false;
  std::vector<std::pair<std::exception_ptr, std::string>> failures_;
};

}  // namespace qv::gui
