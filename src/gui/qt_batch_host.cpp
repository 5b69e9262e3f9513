// The batch run's host in the GUI: the main window's progress bar and label, event processing,
// the PDF save dialog and the error box for queued drops.
#include "gui/qt_batch_host.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QProgressBar>

#include "runtime/exceptions.h"
#include "widgets/error_box.h"

namespace qv::gui {

TQtBatchHost::TQtBatchHost(QProgressBar& task, QLabel& mes, QFileDialog& save_dialog,
                           QWidget* owner)
    : task_(task), mes_(mes), save_dialog_(save_dialog), owner_(owner) {}

void TQtBatchHost::SetProgressMax(int maximum) { task_.setMaximum(maximum); }

void TQtBatchHost::SetProgressPosition(int position) { task_.setValue(position); }

void TQtBatchHost::SetProgressVisible(bool visible) { task_.setVisible(visible); }

std::string TQtBatchHost::Caption() const { return widgets::ToLocal(mes_.text()); }

void TQtBatchHost::SetCaption(const std::string& caption) {
  mes_.setText(widgets::FromLocal(caption));
}

void TQtBatchHost::ProcessMessages() {
  QApplication::processEvents(QEventLoop::AllEvents);
  if (closing_) Abort();
}

std::optional<std::string> TQtBatchHost::AskPdfFileName() {
  save_dialog_.selectFile(QString());
  if (save_dialog_.exec() != QDialog::Accepted || save_dialog_.selectedFiles().isEmpty())
    return std::nullopt;
  return widgets::ToLocal(save_dialog_.selectedFiles().front());
}

void TQtBatchHost::ReportError(std::exception_ptr error) { widgets::ShowException(error, owner_); }

}  // namespace qv::gui
