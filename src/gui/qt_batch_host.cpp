// The batch run's host in the GUI: the main window's progress bar, label and title, event
// processing, the PDF save dialog, the replace question, the error box naming the failed file
// and the result list.
#include "gui/qt_batch_host.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <atomic>
#include <thread>

#include "app/batch_summary.h"
#include "app/file_result.h"
#include "gui/result_list_form.h"
#include "runtime/strings.h"
#include "runtime/translation.h"
#include "settings/job_settings.h"
#include "widgets/error_box.h"
#include "widgets/translated_text.h"

namespace qv::gui {

namespace {

QString CountText(const char* format, int count) {
  return QString::fromStdString(FormatText(format, {IntToStr(count)}));
}

}  // namespace

QString DropDetails(const TBatchSummary& summary) {
  int exists = summary.PassedOver(TPassReason::kOutputExists);
  int no_reader = summary.PassedOver(TPassReason::kNoReader);
  int warned = summary.Warned();
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
  return details.join(u'\n');
}

TQtBatchHost::TQtBatchHost(QProgressBar& task, QLabel& mes, QFileDialog& save_dialog,
                           TResultListForm& list, QWidget* owner)
    : task_(task), mes_(mes), save_dialog_(save_dialog), list_(list), owner_(owner) {}

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
  if (visible && title_.isEmpty() && owner_) title_ = owner_->windowTitle();
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

bool TQtBatchHost::AsksBeforeReplacingOriginals() const {
  return !settings_ || settings_->Choice(TSetting::kReplaceOriginals) != 1;
}

bool TQtBatchHost::ReplaceOriginals(int count) {
  const int choice = settings_ ? settings_->Choice(TSetting::kReplaceOriginals) : 0;
  if (choice == 1 || choice == 2) return choice == 1;
  QMessageBox box(QMessageBox::Warning, QGuiApplication::applicationDisplayName(),
                  QString::fromStdString(FormatText(
                      TrN("This drop would replace %d original by its conversion.",
                          "This drop would replace %d originals by their conversions.", count),
                      {IntToStr(count)})),
                  QMessageBox::NoButton, owner_);
  box.setObjectName(QStringLiteral("ReplaceQuestion"));
  box.setInformativeText(
      TrQ("Overwriting is on, and these outputs go beside their inputs with the inputs' own "
          "names: the originals would be lost."));
  QPushButton* replace = box.addButton(TrQ("Replace"), QMessageBox::DestructiveRole);
  QPushButton* skip = box.addButton(TrQ("Skip these"), QMessageBox::RejectRole);
  box.setDefaultButton(skip);
  box.setEscapeButton(skip);
  auto* again = new QCheckBox(TrQ("Do not ask again"));
  box.setCheckBox(again);
  widgets::KeepTitleWhole(box);
  box.exec();
  const bool replace_them = box.clickedButton() == replace;
  if (again->isChecked() && OnKeepReplaceChoice) OnKeepReplaceChoice(replace_them ? 1 : 2);
  return replace_them;
}

void TQtBatchHost::DropQueued(const std::vector<std::string>& files) {
  QStringList names;
  for (const std::string& file : files) names << widgets::FromLocal(file);
  list_.DropQueued(names);
}

void TQtBatchHost::DropStarting() {
  list_.SetRunning(true);
  list_.DropStarting();
}

void TQtBatchHost::FileListed(int index, const std::string& file_name) {
  list_.FileListed(index, widgets::FromLocal(file_name));
}

void TQtBatchHost::FileStarting(int index, int, const std::string&) { list_.FileStarting(index); }

void TQtBatchHost::FileFinished(int index, int, const TFileResult& result) {
  if (result.status == TFileStatus::kFailed) failures_.emplace_back(result.error, result.file_name);
  list_.FileFinished(index, result);
}

void TQtBatchHost::FileFailedAfterAll(int index, const TFileResult& result) {
  list_.FileFailedAfterAll(index, result);
}

void TQtBatchHost::DropNotStarted(const std::vector<std::string>&) { list_.DropNotStarted(); }

QString TQtBatchHost::TakeFailedFile(std::exception_ptr error) {
  for (auto it = failures_.begin(); it != failures_.end(); ++it) {
    if (it->first != error) continue;
    QString file = widgets::FromLocal(it->second);
    failures_.erase(it);
    return file;
  }
  return {};
}

void TQtBatchHost::DropFinished(const TBatchSummary&) { list_.DropFinished(); }

}  // namespace qv::gui
