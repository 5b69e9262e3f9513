// TResultListForm: the list of the files of this run's drops and what became of each.
#include "gui/result_list_form.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

#include "app/file_result.h"
#include "widgets/error_box.h"
#include "widgets/translated_text.h"

namespace qv::gui {

namespace {

constexpr int kStateRole = Qt::UserRole;

// "0.42 s" below ten seconds, "12.3 s" above.
QString TimeText(std::chrono::nanoseconds elapsed) {
  const double seconds = std::chrono::duration<double>(elapsed).count();
  // TRANSLATORS: a time in seconds ("0.42 s").
  return TrQ("%1 s").arg(seconds, 0, 'f', seconds < 10 ? 2 : 1);
}

}  // namespace

TResultListForm::TResultListForm(QWidget* parent)
    : QWidget(parent, Qt::Window),
      list_(new QTreeWidget(this)),
      totals_(new QLabel(this)),
      copy_(new QPushButton(TrQ("&Copy"), this)),
      open_folder_(new QPushButton(TrQ("Open the output &folder"), this)),
      stop_(new QPushButton(TrQ("&Stop after this file"), this)),
      clear_(new QPushButton(TrQ("C&lear"), this)),
      close_(new QPushButton(TrQ("Close"), this)) {
  setObjectName(QStringLiteral("ResultListForm"));
  // TRANSLATORS: the title of the result list's window.
  setWindowTitle(TrQ("Results - Quenvale"));
  list_->setObjectName(QStringLiteral("List"));
  list_->setColumnCount(kColumnCount);
  list_->setHeaderLabels({TrQ("File"), TrQ("Result"), TrQ("Output"), TrQ("Time")});
  list_->setRootIsDecorated(false);
  list_->setUniformRowHeights(true);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setAlternatingRowColors(true);
  list_->header()->setStretchLastSection(false);
  list_->header()->setSectionResizeMode(kTimeColumn, QHeaderView::ResizeToContents);
  list_->setColumnWidth(kFileColumn, 220);
  list_->setColumnWidth(kResultColumn, 200);
  list_->setColumnWidth(kOutputColumn, 220);
  totals_->setObjectName(QStringLiteral("Totals"));
  totals_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  copy_->setObjectName(QStringLiteral("CopyButton"));
  open_folder_->setObjectName(QStringLiteral("OpenFolderButton"));
  stop_->setObjectName(QStringLiteral("StopButton"));
  clear_->setObjectName(QStringLiteral("ClearButton"));
  close_->setObjectName(QStringLiteral("CloseButton"));
  copy_->setToolTip(TrQ("Copies the selected rows (or every row) as text, one line each"));

  auto* buttons = new QHBoxLayout;
  for (QPushButton* button : {copy_, open_folder_, stop_, clear_}) buttons->addWidget(button);
  buttons->addStretch();
  buttons->addWidget(close_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_);
  layout->addWidget(totals_);
  layout->addLayout(buttons);
  resize(720, 320);

  connect(copy_, &QPushButton::clicked, this, [this] { CopyRows(); });
  connect(open_folder_, &QPushButton::clicked, this, [this] { OpenOutputFolder(); });
  connect(stop_, &QPushButton::clicked, this, [this] {
    if (OnStop) OnStop();
  });
  connect(clear_, &QPushButton::clicked, this, [this] { Clear(); });
  connect(close_, &QPushButton::clicked, this, &QWidget::close);
  connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] { UpdateButtons(); });
  list_->installEventFilter(this);
  UpdateButtons();
}

QString TResultListForm::StateText(TRowState state, const QString& detail) {
  switch (state) {
    case TRowState::kWaiting: return TrQ("waiting");
    case TRowState::kConverting: return TrQ("converting");
    case TRowState::kConverted: return TrQ("converted");
    // TRANSLATORS: the warning follows ("the picture may be incomplete ...").
    case TRowState::kWarned: return TrQ("converted, with a warning: %1").arg(detail);
    // TRANSLATORS: the reason follows ("output exists").
    case TRowState::kPassedOver: return TrQ("passed over: %1").arg(detail);
    // TRANSLATORS: the failure's message follows.
    case TRowState::kFailed: return TrQ("failed: %1").arg(detail);
    case TRowState::kNotReached: return TrQ("not reached");
  }
  return {};
}

int TResultListForm::RowCount() const { return list_->topLevelItemCount(); }

TRowState TResultListForm::State(int row) const {
  return static_cast<TRowState>(list_->topLevelItem(row)->data(kFileColumn, kStateRole).toInt());
}

QTreeWidgetItem* TResultListForm::AddRow(const QString& file_name) {
  auto* row = new QTreeWidgetItem;
  row->setText(kFileColumn, file_name);
  row->setToolTip(kFileColumn, file_name);
  if (insert_at_ >= 0)
    list_->insertTopLevelItem(insert_at_++, row);
  else
    list_->addTopLevelItem(row);
  SetState(row, TRowState::kWaiting);
  return row;
}

void TResultListForm::SetState(QTreeWidgetItem* row, TRowState state, const QString& detail) {
  row->setData(kFileColumn, kStateRole, static_cast<int>(state));
  const QString text = StateText(state, detail);
  row->setText(kResultColumn, text);
  row->setToolTip(kResultColumn, text);
  // Failures stand out; what was passed over or not reached stays quiet.
  const QPalette& palette = list_->palette();
  QBrush brush = palette.text();
  if (state == TRowState::kFailed) brush = QBrush(Qt::darkRed);
  if (state == TRowState::kWarned) brush = QBrush(QColor(0x8a, 0x5a, 0x00));
  if (state == TRowState::kPassedOver || state == TRowState::kNotReached)
    brush = palette.brush(QPalette::Disabled, QPalette::Text);
  for (int column = 0; column < kColumnCount; ++column) row->setForeground(column, brush);
}

QTreeWidgetItem* TResultListForm::Row(int index) const {
  if (index < 0 || index >= static_cast<int>(current_.size())) return nullptr;
  return current_[static_cast<std::size_t>(index)];
}

void TResultListForm::DropQueued(const QStringList& files) {
  std::vector<QTreeWidgetItem*> rows;
  const int insert_at = insert_at_;
  insert_at_ = -1;  // queued drops wait after every row
  for (const QString& file : files) rows.push_back(AddRow(file));
  insert_at_ = insert_at;
  queued_.push_back(std::move(rows));
  UpdateButtons();
}

void TResultListForm::DropStarting() {
  current_.clear();
  insert_at_ = -1;
  if (queued_.empty()) return;
  // The drop's names as it lists them (a dropped folder's files among them) stand where its
  // waiting rows stood.
  std::vector<QTreeWidgetItem*> waiting = std::move(queued_.front());
  queued_.pop_front();
  if (!waiting.empty()) insert_at_ = list_->indexOfTopLevelItem(waiting.front());
  for (QTreeWidgetItem* row : waiting) delete row;
}

void TResultListForm::FileListed(int index, const QString& file_name) {
  if (index != static_cast<int>(current_.size())) return;
  current_.push_back(AddRow(file_name));
}

void TResultListForm::FileStarting(int index) {
  if (QTreeWidgetItem* row = Row(index)) {
    SetState(row, TRowState::kConverting);
    list_->scrollToItem(row);
  }
}

void TResultListForm::SetResult(QTreeWidgetItem* row, const TFileResult& result) {
  switch (result.status) {
    case TFileStatus::kConverted:
      if (result.warnings.empty())
        SetState(row, TRowState::kConverted);
      else
        SetState(row, TRowState::kWarned, QString::fromStdString(result.warnings.front()));
      break;
    case TFileStatus::kPassedOver:
      SetState(row, TRowState::kPassedOver, QString::fromUtf8(PassReasonText(result.reason)));
      break;
    case TFileStatus::kFailed:
      SetState(row, TRowState::kFailed, widgets::FromLocal(result.message));
      break;
  }
  const QString output = widgets::FromLocal(result.output);
  row->setText(kOutputColumn, output);
  row->setToolTip(kOutputColumn, output);
  row->setText(kTimeColumn, TimeText(result.elapsed));
  row->setTextAlignment(kTimeColumn, Qt::AlignRight | Qt::AlignVCenter);
}

void TResultListForm::FileFinished(int index, const TFileResult& result) {
  if (QTreeWidgetItem* row = Row(index)) SetResult(row, result);
  UpdateButtons();
}

void TResultListForm::FileFailedAfterAll(int index, const TFileResult& result) {
  if (QTreeWidgetItem* row = Row(index)) SetResult(row, result);
}

void TResultListForm::DropFinished() {
  for (QTreeWidgetItem* row : current_) {
    auto state = static_cast<TRowState>(row->data(kFileColumn, kStateRole).toInt());
    if (state == TRowState::kWaiting || state == TRowState::kConverting)
      SetState(row, TRowState::kNotReached);
  }
  current_.clear();
  insert_at_ = -1;
  UpdateButtons();
}

void TResultListForm::DropNotStarted() {
  if (queued_.empty()) return;
  for (QTreeWidgetItem* row : queued_.front()) SetState(row, TRowState::kNotReached);
  queued_.pop_front();
}

void TResultListForm::SetRunning(bool running) {
  running_ = running;
  UpdateButtons();
}

void TResultListForm::SetTotals(const QString& totals) { totals_->setText(totals); }

void TResultListForm::Clear() {
  // The rows of a drop that runs or waits are still to be told of.
  std::vector<QTreeWidgetItem*> keep = current_;
  for (const auto& rows : queued_) keep.insert(keep.end(), rows.begin(), rows.end());
  for (int i = list_->topLevelItemCount(); i-- > 0;) {
    QTreeWidgetItem* row = list_->topLevelItem(i);
    if (std::find(keep.begin(), keep.end(), row) == keep.end()) delete row;
  }
  if (!running_) totals_->clear();
  UpdateButtons();
}

QString TResultListForm::RowsText() const {
  QList<QTreeWidgetItem*> rows = list_->selectedItems();
  if (rows.isEmpty()) {
    for (int i = 0; i < list_->topLevelItemCount(); ++i) rows << list_->topLevelItem(i);
  } else {
    // In the list's order, whatever the order of selecting.
    std::sort(rows.begin(), rows.end(), [this](QTreeWidgetItem* a, QTreeWidgetItem* b) {
      return list_->indexOfTopLevelItem(a) < list_->indexOfTopLevelItem(b);
    });
  }
  QString text;
  for (QTreeWidgetItem* row : rows) {
    QStringList columns;
    for (int column = 0; column < kColumnCount; ++column) columns << row->text(column);
    text += columns.join(u'\t') + u'\n';
  }
  return text;
}

void TResultListForm::CopyRows() { QApplication::clipboard()->setText(RowsText()); }

QString TResultListForm::OutputFolder() const {
  QString output;
  for (QTreeWidgetItem* row : list_->selectedItems()) {
    if (!row->text(kOutputColumn).isEmpty()) {
      output = row->text(kOutputColumn);
      break;
    }
  }
  for (int i = list_->topLevelItemCount(); output.isEmpty() && i-- > 0;)
    output = list_->topLevelItem(i)->text(kOutputColumn);
  return output.isEmpty() ? QString() : QFileInfo(output).absolutePath();
}

void TResultListForm::OpenOutputFolder() {
  const QString folder = OutputFolder();
  if (!folder.isEmpty()) QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

void TResultListForm::UpdateButtons() {
  stop_->setEnabled(running_);
  open_folder_->setEnabled(!OutputFolder().isEmpty());
  copy_->setEnabled(list_->topLevelItemCount() > 0);
  // Clear removes only the rows of drops that have ended.
  std::size_t kept = current_.size();
  for (const auto& rows : queued_) kept += rows.size();
  clear_->setEnabled(static_cast<std::size_t>(list_->topLevelItemCount()) > kept);
}

bool TResultListForm::eventFilter(QObject* watched, QEvent* event) {
  // The list would copy its current cell only: every selected row is copied instead.
  if (watched == list_ && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
    CopyRows();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void TResultListForm::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    CopyRows();
    return;
  }
  if (event->key() == Qt::Key_Escape) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

}  // namespace qv::gui
