// The batch run's host in the GUI: the main window's progress bar and label, event processing,
// the PDF save dialog and the error box for queued drops.
#pragma once

#include <functional>

#include "app/batch_host.h"

class QFileDialog;
class QLabel;
class QProgressBar;
class QWidget;

namespace qv::gui {

class TQtBatchHost : public IBatchHost {
 public:
  TQtBatchHost(QProgressBar& task, QLabel& mes, QFileDialog& save_dialog, QWidget* owner);

  void SetProgressMax(int maximum) override;
  void SetProgressPosition(int position) override;
  void SetProgressVisible(bool visible) override;
  std::string Caption() const override;
  void SetCaption(const std::string& caption) override;
  // Processes pending events; raises the silent abort once the program has been asked to end,
  // so a drop stops at the next file instead of converting on behind a closed window.
  void ProcessMessages() override;
  std::optional<std::string> AskPdfFileName() override;
  void ReportError(std::exception_ptr error) override;

  // Set when the main window has closed (the program is ending).
  void SetClosing() { closing_ = true; }

 private:
  QProgressBar& task_;
  QLabel& mes_;
  QFileDialog& save_dialog_;
  QWidget* owner_;
  bool closing_ = false;
};

}  // namespace qv::gui
