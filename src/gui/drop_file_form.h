// TDropFileForm: the main window that takes dropped files, with its pop-up menu of actions.
#pragma once

#include <QStringList>
#include <QUrl>
#include <QWidget>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "runtime/translation.h"

class QAction;
class QActionGroup;
class QFileDialog;
class QLabel;
class QMenu;
class QProgressBar;

namespace qv {
class TBatchRun;
class TSpiLib32;
}  // namespace qv

namespace qv::widgets {
class TClickLabel;
class TDropDst;
}  // namespace qv::widgets

namespace qv::gui {

class TQtAutoIni;
class TQtBatchHost;
class TQtJobHost;
class TResultListForm;
class TSetupForm;

// The credit line of the version message.
inline constexpr char kCreditLine[] = N_("Quenvale - Drop files, get them converted.");
inline constexpr char kIdleCaption[] = N_("Drop Files Here.");
// The bottom line before the first drop, and the window's tool tip: how to reach the menu and
// the settings.
inline constexpr char kFirstHint[] = N_("Right-click for the menu");
inline constexpr char kWindowHint[] =
    N_("Drop picture files here to convert them.\n"
       "Right-click (or Shift+F10, or the Menu key) opens the menu;\n"
       "a double click opens the settings.");

class TDropFileForm : public QWidget {
  Q_OBJECT

 public:
  TDropFileForm();
  ~TDropFileForm() override;

  // Joins the settings dialog (created after this window) and builds the batch run over it.
  void SetSetupForm(TSetupForm* setup_form);
  TSetupForm* SetupForm() const { return setup_form_; }

  // Handlers.
  void FormCreate();
  void SyncMenuChecks();
  void DropDst1FileDrop(const std::vector<std::string>& files, int x, int y);
  void AppSetupExecute();
  void SetNoResizeExecute(QAction* sender);
  void SetBitmapExecute(QAction* sender);
  void SetRealtimePriorityExecute();
  void SetHighPriorityExecute();
  void SetNormalPriorityExecute();
  void SetIdlePriorityExecute();
  void SetTopMostExecute();
  void AppHelpExecute();
  void MyWebExecute();
  // The address MyWebExecute opens: the configured home page, else the manual's HTML page (the
  // executable's path with ".html" when it exists, else the installed one).
  static QUrl HomePage();
  // Converts the named files (the command line's) as one drop once the event loop runs, through
  // the same entry point as a drop on the window.
  void DropStartupFiles(const QStringList& names);
  void AppAboutExecute();
  void AppExitExecute();
  // Opens the result list; activate: gives it the focus too (not when it opens by itself).
  void AppResultsExecute(bool activate = true);
  // Stop after this file: the running drop ends before its next file, the drops queued behind
  // it do not start.
  void AppStopExecute();

  // The action of the given object name ("SetJPEG", ...); nullptr when there is none.
  QAction* Action(const QString& name) const;
  QMenu* PopupMenu1() const { return popup_menu_; }
  QLabel* Mes() const { return mes_; }
  // The line at the bottom: a hint before the first drop, then what the last run did ("3
  // converted", "2 converted, 1 failed"; tool tip: the counts by reason), or that the system
  // refused a priority. A click opens the result list.
  widgets::TClickLabel* Note() const { return note_; }
  TResultListForm* ResultList() const { return result_list_; }
  // True while a drag carrying files hovers over the window.
  bool DragHover() const { return drag_hover_; }
  QProgressBar* Task() const { return task_; }
  QFileDialog* SaveDialog() const { return save_dialog_; }
  widgets::TDropDst* DropDst1() const { return drop_dst_.get(); }
  TQtAutoIni& AutoIni1() { return *auto_ini_; }
  TSpiLib32& Sp32() { return *sp32_; }
  const QString& HelpFile() const { return help_file_; }
  TBatchRun* BatchRun() const { return batch_run_.get(); }
  // The text of the version message.
  QString AboutText() const;
  // Shows a line at the bottom with its tool tip; a line longer than the room ends in "...".
  void ShowNote(const QString& line, const QString& details);

 protected:
  // The menu at the pointer; from the keyboard (the Menu key), inside the window.
  void contextMenuEvent(QContextMenuEvent* event) override;
  // Shift+F10 opens the menu as the Menu key does.
  void keyPressEvent(QKeyEvent* event) override;
  // A double click opens the settings.
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  QAction* AddAction(const char* name, const QString& caption, int tag);
  void BuildActions();
  void BuildMenu();
  void CheckPriority(unsigned priority_class);
  void SetDragHover(bool hover);
  // Opens the menu inside the window (for the keyboard).
  void PopupMenuInside();
  // A run (a drop and those queued behind it) begins; it has ended: the bottom line tells what
  // it did, and the result list opens when something went wrong (or always, by the settings).
  void BeginRun();
  void EndRun();
  // "Do not ask again" in the replace question: the choice is kept as a setting.
  void KeepReplaceChoice(int choice);

  TSetupForm* setup_form_ = nullptr;
  QLabel* mes_;
  widgets::TClickLabel* note_;
  QProgressBar* task_;
  TResultListForm* result_list_;
  bool drag_hover_ = false;
  QMenu* popup_menu_ = nullptr;
  QFileDialog* save_dialog_;
  std::map<QString, QAction*> actions_;
  QActionGroup* size_group_ = nullptr;
  QActionGroup* format_group_ = nullptr;
  QActionGroup* priority_group_ = nullptr;
  std::unique_ptr<widgets::TDropDst> drop_dst_;
  std::unique_ptr<TQtAutoIni> auto_ini_;
  std::unique_ptr<TSpiLib32> sp32_;
  std::unique_ptr<TQtJobHost> job_host_;
  std::unique_ptr<TQtBatchHost> batch_host_;
  std::unique_ptr<TBatchRun> batch_run_;
  QString help_file_;
};

}  // namespace qv::gui
