// TSHBrowseForFolderEx: the folder picker, over Qt's folder dialog.
#include "widgets/sh_browse_for_folder_ex.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QUrl>

namespace qv::widgets {

namespace {

QString Location(QStandardPaths::StandardLocation location) {
  QString path = QStandardPaths::writableLocation(location);
  return path.isEmpty() ? QDir::homePath() : path;
}

}  // namespace

QString TSHBrowseForFolderEx::SpecialFolderPath(TSelectFolder folder) {
  switch (folder) {
    case TSelectFolder::sfDesktop:
    case TSelectFolder::sfManual:
    case TSelectFolder::sfDesktopDir: return Location(QStandardPaths::DesktopLocation);
    case TSelectFolder::sfDrives: return QDir::rootPath();
    case TSelectFolder::sfPrograms:
    case TSelectFolder::sfStartMenu: return Location(QStandardPaths::ApplicationsLocation);
    case TSelectFolder::sfStartup:
      return Location(QStandardPaths::ConfigLocation) + QStringLiteral("/autostart");
    case TSelectFolder::sfFavorites:
    case TSelectFolder::sfRecent:
    case TSelectFolder::sfSendTo:
    case TSelectFolder::sfTemplates: return QDir::homePath();
  }
  return QDir::homePath();
}

QString TSHBrowseForFolderEx::StartFolder() const {
  if (SelectFolder == TSelectFolder::sfManual && !SelectFolderName.isEmpty() &&
      QFileInfo(SelectFolderName).isDir())
    return QFileInfo(SelectFolderName).absoluteFilePath();
  return SpecialFolderPath(SelectFolder);
}

QString TSHBrowseForFolderEx::RootPath() const {
  if (RootFolder == TRootFolder::rfManual && !RootFolderName.isEmpty() &&
      QFileInfo(RootFolderName).isDir())
    return QFileInfo(RootFolderName).absoluteFilePath();
  return SpecialFolderPath(static_cast<TSelectFolder>(RootFolder));
}

void TSHBrowseForFolderEx::Place(QFileDialog& dialog, QWidget* owner) const {
  switch (ShowStyle) {
    case TShowStyle::ssNone: break;
    case TShowStyle::ssCenterScreen: {
      QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
      if (!screen) break;
      QRect work = screen->availableGeometry();
      QSize size = dialog.sizeHint();
      dialog.move(work.x() + (work.width() - size.width()) / 2,
                  work.y() + (work.height() - size.height()) / 3);
      break;
    }
    case TShowStyle::ssClient:
      if (owner && owner->isWindow()) dialog.move(owner->mapToGlobal(QPoint(0, 0)));
      break;
  }
}

bool TSHBrowseForFolderEx::Execute(QWidget* owner) {
  folder_name_.clear();
  display_name_.clear();
  if (!owner) owner = QApplication::activeWindow();

  // Qt's own dialog, since it reports selection changes and lets the OK button be set.
  QFileDialog dialog(owner, Caption, StartFolder());
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
  dialog.setSidebarUrls({QUrl::fromLocalFile(RootPath()), QUrl::fromLocalFile(QDir::homePath())});

  // The path as status text (only with that option; plain status text is the handler's).
  bool show_path = (Options & sboStatusTextAndShowPath) != 0;
  QLabel* status = nullptr;
  if (show_path || (Options & sboStatusText)) {
    status = new QLabel(&dialog);
    status->setObjectName(QStringLiteral("StatusText"));
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout()))
      grid->addWidget(status, grid->rowCount(), 0, 1, grid->columnCount());
  }
  auto selection_changed = [&](const QString& path) {
    QString show_text;
    TOKButtonState state = TOKButtonState::obsDefault;
    if (OnSelectionChanged) OnSelectionChanged(this, &dialog, path, show_text, state);
    if (show_path) show_text = path;
    if (status) status->setText(show_text);
    if (auto* box = dialog.findChild<QDialogButtonBox*>()) {
      if (QPushButton* ok = box->button(QDialogButtonBox::Open)) {
        if (state == TOKButtonState::obsEnabled) ok->setEnabled(true);
        if (state == TOKButtonState::obsDisabled) ok->setEnabled(false);
      }
    }
  };
  QObject::connect(&dialog, &QFileDialog::currentChanged, &dialog, selection_changed);
  QObject::connect(&dialog, &QFileDialog::directoryEntered, &dialog, selection_changed);
  Place(dialog, owner);
  selection_changed(dialog.directory().absolutePath());

  bool confirmed = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
  if (owner) owner->activateWindow();
  if (!confirmed) return false;
  QFileInfo chosen(dialog.selectedFiles().front());
  folder_name_ = QDir::toNativeSeparators(chosen.absoluteFilePath());
  display_name_ = chosen.fileName().isEmpty() ? folder_name_ : chosen.fileName();
  return true;
}

}  // namespace qv::widgets
