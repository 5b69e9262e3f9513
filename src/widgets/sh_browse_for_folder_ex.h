// TSHBrowseForFolderEx: the folder picker, over Qt's folder dialog.
#pragma once

#include <QString>
#include <functional>

class QFileDialog;
class QWidget;

namespace qv::widgets {

enum class TSelectFolder {
  sfDesktop,
  sfManual,
  sfDrives,
  sfDesktopDir,
  sfFavorites,
  sfPrograms,
  sfRecent,
  sfSendTo,
  sfStartMenu,
  sfStartup,
  sfTemplates
};
enum class TRootFolder {
  rfDesktop,
  rfManual,
  rfDrives,
  rfDesktopDir,
  rfFavorites,
  rfPrograms,
  rfRecent,
  rfSendTo,
  rfStartMenu,
  rfStartup,
  rfTemplates
};
enum TSHBrowseOption : unsigned {
  sboDontGoBelowDomain = 1u << 0,
  sboReturnFSAncestors = 1u << 1,
  sboReturnOnlyFSDirs = 1u << 2,
  sboStatusTextAndShowPath = 1u << 3,
  sboStatusText = 1u << 4,
};
enum class TShowStyle { ssNone, ssCenterScreen, ssClient };
enum class TOKButtonState { obsDefault, obsEnabled, obsDisabled };

class TSHBrowseForFolderEx;
// Sender, the picker's window, the selected path (empty when it has none); the handler may set
// a status text and the OK button's state.
using TSHBrowseEvent =
    std::function<void(TSHBrowseForFolderEx* sender, QWidget* picker, const QString& path,
                       QString& show_text, TOKButtonState& ok_button_state)>;

class TSHBrowseForFolderEx {
 public:
  TSelectFolder SelectFolder = TSelectFolder::sfDrives;
  QString SelectFolderName;
  // The folder dialog cannot be confined below a root: RootFolder only names where the
  // sidebar's first entry points.
  TRootFolder RootFolder = TRootFolder::rfDesktop;
  QString RootFolderName;
  QString Caption;
  unsigned Options = sboReturnOnlyFSDirs;
  TShowStyle ShowStyle = TShowStyle::ssClient;
  TSHBrowseEvent OnSelectionChanged;

  // Shows the picker owned by owner (the active window when null); true when a folder was
  // confirmed, which is then in FolderName and DisplayName.
  bool Execute(QWidget* owner = nullptr);
  const QString& FolderName() const { return folder_name_; }
  const QString& DisplayName() const { return display_name_; }

  // The folder the picker opens at: SelectFolderName with sfManual when it names an existing
  // folder, otherwise the special folder of SelectFolder.
  QString StartFolder() const;
  QString RootPath() const;
  // The local folder that stands for a special folder.
  static QString SpecialFolderPath(TSelectFolder folder);

 private:
  void Place(QFileDialog& dialog, QWidget* owner) const;

  QString folder_name_;
  QString display_name_;
};

}  // namespace qv::widgets
