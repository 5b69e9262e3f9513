// The batch run's host in the GUI: the main window's progress bar, label and title, event
// processing, the PDF save dialog, the error box naming the failed file and the note at the
// end of a drop.
#pragma once

#include <QString>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "app/batch_host.h"

class QFileDialog;
class QLabel;
class QProgressBar;
class QWidget;

namespace qv::gui {

// The note at the end of a drop: a short line for the window and the details for its tool tip;
// both empty when there is nothing to say.
struct TDropNote {
  QString line;
  QString details;
};

// What the window says after a drop whose files were passed over because their output exists
// or because no reader took them, or came with warnings (a picture that may be incomplete).
TDropNote DropNote(const TBatchSummary& summary);

class TQtBatchHost : public IBatchHost {
 public:
  // owner: the main window, whose title shows "i/n - " and its title while a drop runs; note:
  // the line that shows the end-of-drop note in the place of the progress bar.
  TQtBatchHost(QProgressBar& task, QLabel& mes, QLabel& note, QFileDialog& save_dialog,
               QWidget* owner);

  void SetProgressMax(int maximum) override;
  void SetProgressPosition(int position) override;
  void SetProgressVisible(bool visible) override;
  std::string Caption() const override;
  void SetCaption(const std::string& caption) override;
  void ProcessMessages() override;
  // Converts on a worker thread while this thread goes on processing events, so the window
  // repaints and answers drags (a drop made meanwhile is queued by the batch run).
  void RunFile(const std::function<void()>& convert) override;
  std::optional<std::string> AskPdfFileName() override;
  // The error box of a queued drop's failure, naming the file.
  void ReportError(std::exception_ptr error) override;
  void FileFinished(int index, int count, const TFileResult& result) override;
  void DropFinished(const TBatchSummary& summary) override;
  // The window has closed: the running drop stops before its next file.
  bool StopRequested() const override { return closing_; }

  // The file whose failure this is (empty when none is known); forgets it.
  QString TakeFailedFile(std::exception_ptr error);

  // Set when the main window has closed (the program is ending).
  void SetClosing() { closing_ = true; }

 private:
  QProgressBar& task_;
  QLabel& mes_;
  QLabel& note_;
  QFileDialog& save_dialog_;
  QWidget* owner_;
  QString title_;
  bool closing_ = false;
  std::vector<std::pair<std::exception_ptr, std::string>> failures_;
};

}  // namespace qv::gui
