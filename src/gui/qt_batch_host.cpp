// The batch run's host in the GUI: the main window's progress bar, label and title, event
// processing, the PDF save dialog, the error box naming the failed file and the end-of-drop note.
#include "gui/qt_batch_host.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QProgressBar>
#include <atomic>
#include <thread>

#include "app/batch_summary.h"
#include "app/file_result.h"
#include "runtime/strings.h"
#include "runtime/translation.h"
#include "widgets/error_box.h"

namespace qv::gui {

namespace {

QString CountText(const char* format, int count) {
  return QString::fromStdString(FormatText(format, {IntToStr(count)}));
}

}  // namespace

TDropNote DropNote(const TBatchSummary& summary) {
  int exists = summary.PassedOver(TPassReason::kOutputExists);
  int no_reader = summary.PassedOver(TPassReason::kNoReader);
  int warned = summary.Warned();
  TDropNote note;
  QStringList details;
  if (exists > 0)
    details << CountText(
        TrN("%d passed over: output exists", "%d passed over: output exists", exists), exists);
  if (no_reader > 0)
    details << CountText(
        TrN("%d passed over: no reader for it", "%d passed over: no reader for it", no_reader),
        no_reader);
  if (warned > 0)
    details << CountText(
        TrN("%d may be incomplete (damaged JPEG)", "%d may be incomplete (damaged JPEG)", warned),
        warned);
  if (details.isEmpty()) return note;
  note.details = details.join(u'\n');
  if (exists + no_reader > 0)
    note.line =
        CountText(TrN("%d passed over", "%d passed over", exists + no_reader), exists + no_reader);
  else
    note.line = CountText(TrN("%d incomplete?", "%d incomplete?", warned), warned);
  return note;
}

TQtBatchHost::TQtBatchHost(QProgressBar& task, QLabel& mes, QLabel& note, QFileDialog& save_dialog,
                           QWidget* owner)
    : task_(task), mes_(mes), note_(note), save_dialog_(save_dialog), owner_(owner) {}

void TQtBatchHost::SetProgressMax(int maximum) { task_.setMaximum(maximum); }

void TQtBatchHost::SetProgressPosition(int position) {
  // The taskbar shows the window's title: "2/5 - Quenvale" while the second of five is handled.
  if (owner_ && !title_.isEmpty()) {
    owner_->setWindowTitle(
        position > 0 ? QStringLiteral("%1/%2 - %3").arg(position).arg(task_.maximum()).arg(title_)
                     : title_);
  }
  task_.setValue(position);
}

void TQtBatchHost::SetProgressVisible(bool visible) {
  if (visible && title_.isEmpty() && owner_) {
    title_ = owner_->windowTitle();
    // A new drop: the last drop's note goes.
    note_.hide();
    note_.clear();
    note_.setToolTip(QString());
    if (owner_) owner_->setToolTip(QString());
  }
  if (!visible && owner_ && !title_.isEmpty()) {
    owner_->setWindowTitle(title_);
    title_.clear();
  }
  task_.setVisible(visible);
}

std::string TQtBatchHost::Caption() const { return widgets::ToLocal(mes_.text()); }

void TQtBatchHost::SetCaption(const std::string& caption) {
  mes_.setText(widgets::FromLocal(caption));
}

void TQtBatchHost::ProcessMessages() { QApplication::processEvents(QEventLoop::AllEvents); }

void TQtBatchHost::RunFile(const std::function<void()>& convert) {
  QCoreApplication* application = QCoreApplication::instance();
  std::atomic<bool> done{false};
  std::thread worker([&] {
    convert();
    done = true;
    // Wakes this thread's wait below.
    QMetaObject::invokeMethod(
        application, [] {}, Qt::QueuedConnection);
  });
  // Also after the program was asked to end (which ends the event loops): the file is finished.
  while (!done) QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  worker.join();
}

std::optional<std::string> TQtBatchHost::AskPdfFileName() {
  save_dialog_.selectFile(QString());
  if (save_dialog_.exec() != QDialog::Accepted || save_dialog_.selectedFiles().isEmpty())
    return std::nullopt;
  return widgets::ToLocal(save_dialog_.selectedFiles().front());
}

void TQtBatchHost::ReportError(std::exception_ptr error) {
  widgets::ShowException(error, owner_, TakeFailedFile(error));
}

void TQtBatchHost::FileFinished(int, int, const TFileResult& result) {
  if (result.status == TFileStatus::kFailed) failures_.emplace_back(result.error, result.file_name);
}

QString TQtBatchHost::TakeFailedFile(std::exception_ptr error) {
  for (auto it = failures_.begin(); it != failures_.end(); ++it) {
    if (it->first != error) continue;
    QString file = widgets::FromLocal(it->second);
    failures_.erase(it);
    return file;
  }
  return {};
}

void TQtBatchHost::DropFinished(const TBatchSummary& summary) {
  TDropNote note = DropNote(summary);
  if (note.line.isEmpty()) return;
  // Said once and quietly: a line where the progress bar was and the details as tool tip.
  note_.setText(note.line);
  note_.setToolTip(note.details);
  if (owner_) owner_->setToolTip(note.details);
  note_.show();
}

}  // namespace qv::gui
