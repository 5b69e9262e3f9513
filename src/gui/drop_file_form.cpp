// TDropFileForm: the main window that takes dropped files, with its pop-up menu of actions.
#include "gui/drop_file_form.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProgressBar>
#include <QTimer>
#include <QUrl>
#include <exception>
#include <iterator>

#include "app/batch_run.h"
#include "codecs/plugin_host/spi_lib32.h"
#include "gui/platform_utils.h"
#include "gui/program_icon.h"
#include "gui/qt_auto_ini.h"
#include "gui/qt_batch_host.h"
#include "gui/qt_job_host.h"
#include "gui/result_list_form.h"
#include "gui/setup_form.h"
#include "gui/ui_font.h"
#include "gui/version_info.h"
#include "runtime/exceptions.h"
#include "runtime/install_layout.h"
#include "runtime/paths.h"
#include "runtime/platform.h"
#include "runtime/version_text.h"
#include "settings/setting_table.h"
#include "widgets/click_label.h"
#include "widgets/drop_dst.h"
#include "widgets/error_box.h"
#include "widgets/radio_group.h"
#include "widgets/translated_text.h"

// The home page the web item opens; empty: the manual's HTML page.
#ifndef QV_HOME_PAGE
#define QV_HOME_PAGE ""
#endif

namespace qv::gui {

namespace {
constexpr char kTagProperty[] = "tag";
constexpr const char* kSizeActions[10] = {
    "SetNoResize", "SetDesktopSize", "Set96x96",    "Set640x480",   "Set800x600",
    "Set1024x768", "Set1152x864",    "Set1280x960", "Set1280x1024", "Set1600x1200"};
constexpr const char* kFormatActions[6] = {"SetBitmap", "SetJPEG", "SetPNG",
                                           "SetPDF",    "SetWebP", "SetAVIF"};
}  // namespace

TDropFileForm::TDropFileForm()
    : QWidget(nullptr, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint),
      mes_(new QLabel(TrQ(kIdleCaption), this)),
      note_(new widgets::TClickLabel(this)),
      task_(new QProgressBar(this)),
      result_list_(new TResultListForm(this)),
      save_dialog_(new QFileDialog(this)),
      drop_dst_(std::make_unique<widgets::TDropDst>(this)),
      auto_ini_(std::make_unique<TQtAutoIni>(this)),
      sp32_(std::make_unique<TSpiLib32>()) {
  setObjectName(QStringLiteral("DropFileForm"));
  setWindowTitle(QStringLiteral("Quenvale"));
  setWindowIcon(ProgramIcon());
  setFont(JapaneseUiFont());
  setFixedSize(104, 100);
  setMouseTracking(true);

  mes_->setObjectName(QStringLiteral("Mes"));
  // The caption wraps inside the narrow window rather than running past its right edge.
  mes_->setGeometry(16, 8, 104 - 16 - 4, 60);
  mes_->setWordWrap(true);
  mes_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  mes_->setAttribute(Qt::WA_TransparentForMouseEvents);
  task_->setObjectName(QStringLiteral("Task"));
  task_->setGeometry(0, 100 - 16, 104, 16);
  task_->setTextVisible(false);
  task_->setVisible(false);
  // The bottom line has up to three lines of the window's width below the caption (placed by
  // ShowNote).
  note_->setObjectName(QStringLiteral("Note"));
  note_->setWordWrap(true);
  note_->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
  note_->setForegroundRole(QPalette::PlaceholderText);
  ShowNote(TrQ(kFirstHint), TrQ(kWindowHint));
  setToolTip(TrQ(kWindowHint));
  result_list_->OnStop = [this] { AppStopExecute(); };

  save_dialog_->setObjectName(QStringLiteral("SaveDialog"));
  save_dialog_->setAcceptMode(QFileDialog::AcceptSave);
  save_dialog_->setNameFilter(QStringLiteral("Adobe PDF (*.pdf)"));
  save_dialog_->setDefaultSuffix(QStringLiteral("pdf"));

  drop_dst_->setObjectName(QStringLiteral("DropDst1"));
  drop_dst_->SetTarget(widgets::THookTarget::htForm);
  drop_dst_->OnFileDrop = [this](widgets::TDropDst*, const std::vector<std::string>& files, int x,
                                 int y) { DropDst1FileDrop(files, x, y); };
  drop_dst_->OnDragHover = [this](bool hover) { SetDragHover(hover); };
  drop_dst_->Loaded();

  auto_ini_->SetCheckWinState(true);
  job_host_ = std::make_unique<TQtJobHost>(*sp32_, this);
  batch_host_ = std::make_unique<TQtBatchHost>(*task_, *mes_, *save_dialog_, *result_list_, this);
  batch_host_->OnKeepReplaceChoice = [this](int choice) { KeepReplaceChoice(choice); };

  BuildActions();
  BuildMenu();
}

TDropFileForm::~TDropFileForm() {
  batch_run_.reset();
  job_host_.reset();
}

void TDropFileForm::SetSetupForm(TSetupForm* setup_form) {
  setup_form_ = setup_form;
  batch_host_->SetSettings(setup_form_);
  batch_run_ = std::make_unique<TBatchRun>(*setup_form_, *job_host_, *batch_host_);
  // A custom size set in the dialog takes the menu's mark off the listed sizes.
  connect(setup_form_->CustomSizeBox, &QCheckBox::toggled, this, [this] { SyncMenuChecks(); });
}

QAction* TDropFileForm::AddAction(const char* name, const QString& caption, int tag) {
  auto* action = new QAction(caption, this);
  action->setObjectName(QString::fromLatin1(name));
  action->setProperty(kTagProperty, tag);
  actions_[action->objectName()] = action;
  return action;
}

QAction* TDropFileForm::Action(const QString& name) const {
  auto found = actions_.find(name);
  return found == actions_.end() ? nullptr : found->second;
}

void TDropFileForm::BuildActions() {
  connect(AddAction("AppSetup", TrQ("&Options..."), 0), &QAction::triggered, this,
          [this] { AppSetupExecute(); });

  const QString size_captions[10] = {
      TrQ("No resizing"),         TrQ("Fit to the desktop size"), TrQ("96x96 (MSN messenger ICON)"),
      QStringLiteral("640x480"),  QStringLiteral("800x600"),      QStringLiteral("1024x768"),
      QStringLiteral("1152x864"), QStringLiteral("1280x960"),     QStringLiteral("1280x1024"),
      QStringLiteral("1600x1200")};
  size_group_ = new QActionGroup(this);
  for (int tag = 0; tag < 10; ++tag) {
    QAction* action = AddAction(kSizeActions[tag], size_captions[tag], tag);
    action->setCheckable(true);
    size_group_->addAction(action);
    connect(action, &QAction::triggered, this, [this, action] { SetNoResizeExecute(action); });
  }
  // The format items are the settings dialog's, in the same order.
  const TSettingRow& formats = RowOf(TSetting::kFileFormat);
  static_assert(std::size(kFormatActions) == 6);
  Assert(formats.items.size() == std::size(kFormatActions), __FILE__, __LINE__);
  format_group_ = new QActionGroup(this);
  for (int tag = 0; tag < static_cast<int>(std::size(kFormatActions)); ++tag) {
    QAction* action = AddAction(kFormatActions[tag], TrQ(formats.items[tag].text), tag);
    action->setCheckable(true);
    format_group_->addAction(action);
    connect(action, &QAction::triggered, this, [this, action] { SetBitmapExecute(action); });
  }

  priority_group_ = new QActionGroup(this);
  struct Priority {
    const char* name;
    QString caption;
    void (TDropFileForm::*handler)();
  };
  const Priority priorities[4] = {
      {"SetRealtimePriority", TrQ("&Realtime"), &TDropFileForm::SetRealtimePriorityExecute},
      {"SetHighPriority", TrQ("&High"), &TDropFileForm::SetHighPriorityExecute},
      {"SetNormalPriority", TrQ("&Normal"), &TDropFileForm::SetNormalPriorityExecute},
      {"SetIdlePriority", TrQ("&Idle"), &TDropFileForm::SetIdlePriorityExecute}};
  for (const Priority& priority : priorities) {
    QAction* action = AddAction(priority.name, priority.caption, 0);
    action->setCheckable(true);
    priority_group_->addAction(action);
    connect(action, &QAction::triggered, this, priority.handler);
  }
  Action(QStringLiteral("SetIdlePriority"))->setChecked(true);

  connect(AddAction("AppResults", TrQ("&Results..."), 0), &QAction::triggered, this,
          [this] { AppResultsExecute(); });
  QAction* stop = AddAction("AppStop", TrQ("Stop after this &file"), 0);
  stop->setVisible(false);  // while a drop runs
  connect(stop, &QAction::triggered, this, [this] { AppStopExecute(); });

  QAction* top_most = AddAction("SetTopMost", TrQ("Always on &top"), 0);
  top_most->setCheckable(true);
  connect(top_most, &QAction::triggered, this, [this] { SetTopMostExecute(); });
  connect(AddAction("AppHelp", TrQ("Open the &manual"), 0), &QAction::triggered, this,
          [this] { AppHelpExecute(); });
  connect(AddAction("MyWeb", TrQ("Lirameth &web page"), 0), &QAction::triggered, this,
          [this] { MyWebExecute(); });
  connect(AddAction("AppAbout", TrQ("&About..."), 0), &QAction::triggered, this,
          [this] { AppAboutExecute(); });
  QAction* exit = AddAction("AppExit", TrQ("E&xit"), 0);
  exit->setShortcuts({QKeySequence(QStringLiteral("Alt+F4"))});
  exit->setShortcutContext(Qt::WindowShortcut);
  addAction(exit);
  connect(exit, &QAction::triggered, this, [this] { AppExitExecute(); });

  // Actions of the list that appear in no menu themselves (the submenus take their captions).
  AddAction("SetPriority", TrQ("&Priority"), 0);
  AddAction("TargetSize", TrQ("Output &size"), 0);
  AddAction("AppMode", TrQ("&Mode"), 0);
  AddAction("ForceSepia", TrQ("Save in sepia tones"), 0);
  AddAction("Force256Color", TrQ("Reduce to 256 colours"), 0);
}

void TDropFileForm::BuildMenu() {
  popup_menu_ = new QMenu(this);
  popup_menu_->setObjectName(QStringLiteral("PopupMenu1"));
  popup_menu_->addAction(Action(QStringLiteral("AppSetup")));
  popup_menu_->addSeparator();
  QMenu* sizes = popup_menu_->addMenu(Action(QStringLiteral("TargetSize"))->text());
  sizes->setObjectName(QStringLiteral("TargetSizeMenu"));
  for (const char* name : kSizeActions) sizes->addAction(Action(QString::fromLatin1(name)));
  QMenu* formats = popup_menu_->addMenu(Action(QStringLiteral("AppMode"))->text());
  formats->setObjectName(QStringLiteral("AppModeMenu"));
  for (const char* name : kFormatActions) formats->addAction(Action(QString::fromLatin1(name)));
  popup_menu_->addSeparator();
  QMenu* priorities = popup_menu_->addMenu(Action(QStringLiteral("SetPriority"))->text());
  priorities->setObjectName(QStringLiteral("SetPriorityMenu"));
  for (const char* name :
       {"SetRealtimePriority", "SetHighPriority", "SetNormalPriority", "SetIdlePriority"})
    priorities->addAction(Action(QString::fromLatin1(name)));
  popup_menu_->addAction(Action(QStringLiteral("SetTopMost")));
  popup_menu_->addSeparator();
  popup_menu_->addAction(Action(QStringLiteral("AppResults")));
  popup_menu_->addAction(Action(QStringLiteral("AppStop")));
  popup_menu_->addSeparator();
  popup_menu_->addAction(Action(QStringLiteral("AppHelp")));
  popup_menu_->addAction(Action(QStringLiteral("MyWeb")));
  popup_menu_->addAction(Action(QStringLiteral("AppAbout")));
  popup_menu_->addSeparator();
  popup_menu_->addAction(Action(QStringLiteral("AppExit")));
}

void TDropFileForm::FormCreate() {
  move(0, 0);
  auto_ini_->SetSection(GetWindowsUserName());
  // A settings file that cannot be read must not leave the program without its plug-ins:
  // the remaining steps run, then the failure is passed on.
  std::exception_ptr load_failure;
  try {
    auto_ini_->LoadFromIni();
  } catch (...) {
    load_failure = std::current_exception();
  }
  // The manual: the executable's path with ".pdf" when that file exists, else the installed one.
  std::string exe = ExecutableFileName();
  std::string manual = FindManual(exe, ".pdf");
  help_file_ = widgets::FromLocal(manual.empty() ? ChangeFileExt(exe, ".pdf") : manual);
  for (const std::string& folder : DefaultPluginFolders()) sp32_->LoadPlugins(folder);
  CheckPriority(kIdlePriorityClass);
  save_dialog_->setDirectory(GetSpecialFolderPath(this, kCsidlPersonal));
  if (load_failure) std::rethrow_exception(load_failure);
}

void TDropFileForm::SyncMenuChecks() {
  if (!setup_form_) return;
  int size = setup_form_->Choice(TSetting::kTargetRes);
  if (setup_form_->Checked(TSetting::kCustomSize)) {
    // The custom size is in force: none of the listed sizes is.
    if (QAction* checked = size_group_->checkedAction()) {
      size_group_->setExclusive(false);
      checked->setChecked(false);
      size_group_->setExclusive(true);
    }
  } else if (size >= 0 && size <= 9) {
    Action(QString::fromLatin1(kSizeActions[size]))->setChecked(true);
  }
  int format = setup_form_->Choice(TSetting::kFileFormat);
  if (format >= 0 && format < static_cast<int>(std::size(kFormatActions)))
    Action(QString::fromLatin1(kFormatActions[format]))->setChecked(true);
}

void TDropFileForm::DropDst1FileDrop(const std::vector<std::string>& files, int, int) {
  if (!batch_run_) return;
  // A drop made while one runs is queued behind it (FileDrop returns at once): the run that
  // began first tells what became of both.
  const bool begins_run = !batch_run_->Running();
  if (begins_run) BeginRun();
  try {
    batch_run_->FileDrop(files);
  } catch (...) {
    // The standard error box, with the failed file's name below the message.
    std::exception_ptr error = std::current_exception();
    widgets::ShowException(error, this, batch_host_->TakeFailedFile(error));
  }
  if (begins_run) EndRun();
}

void TDropFileForm::BeginRun() {
  batch_run_->SetKeepGoing(setup_form_->Checked(TSetting::kKeepGoing));
  batch_run_->SetJobs(JobCount(setup_form_->Clamped(TSetting::kJobs)));
  note_->hide();
  Action(QStringLiteral("AppStop"))->setVisible(true);
  result_list_->SetRunning(true);
}

void TDropFileForm::EndRun() {
  Action(QStringLiteral("AppStop"))->setVisible(false);
  result_list_->SetRunning(false);
  const TBatchSummary& summary = batch_run_->Summary();
  const int not_reached = batch_run_->NotReached();
  const QString totals = QString::fromStdString(summary.Text(not_reached));
  result_list_->SetTotals(totals);
  QString details = DropDetails(summary);
  ShowNote(QString::fromStdString(summary.Brief(not_reached)),
           totals + (details.isEmpty() ? QString() : u'\n' + details) + u'\n' +
               TrQ("Click for the result list."));
  note_->SetOnClick([this] { AppResultsExecute(); });
  if (batch_host_->StopRequested()) return;  // the program is ending
  // Files found in dropped folders that are no pictures are counted, not told.
  const bool told = summary.Failed() > 0 || not_reached > 0 || summary.Warned() > 0 ||
                    summary.PassedOver() > summary.PassedOver(TPassReason::kNotAPicture);
  if (told || setup_form_->Checked(TSetting::kResultListAlways)) AppResultsExecute(false);
}

void TDropFileForm::ShowNote(const QString& line, const QString& details) {
  // Above the progress bar while a drop runs.
  note_->setGeometry(4, 100 - 48 - (task_->isVisibleTo(this) ? 16 : 0), 104 - 8, 46);
  // A line longer than its three rows ends in "..." where it is cut (the tool tip and the result
  // list have it all), rather than losing its last row out of sight.
  const QFontMetrics metrics(note_->font());
  auto fits = [&](const QString& text) {
    return metrics.boundingRect(QRect(0, 0, note_->width(), 1 << 20), Qt::TextWordWrap, text)
               .height() <= note_->height();
  };
  QString shown = line;
  if (!fits(shown)) {
    const QString ellipsis(QChar(0x2026));
    while (!shown.isEmpty() && !fits(shown + ellipsis)) shown.chop(1);
    shown = shown.trimmed() + ellipsis;
  }
  note_->setText(shown);
  note_->setToolTip(details);
  note_->show();
}

void TDropFileForm::AppResultsExecute(bool activate) {
  if (!result_list_->isVisible()) {
    // Beside the main window, the first time.
    if (!result_list_->property("placed").toBool()) {
      result_list_->move(frameGeometry().topRight() + QPoint(8, 0));
      result_list_->setProperty("placed", true);
    }
    result_list_->setAttribute(Qt::WA_ShowWithoutActivating, !activate);
    result_list_->show();
  }
  result_list_->raise();
  if (activate) result_list_->activateWindow();
}

void TDropFileForm::AppStopExecute() {
  if (batch_run_) batch_run_->RequestStop();
}

void TDropFileForm::KeepReplaceChoice(int choice) {
  setup_form_->ReplaceOriginalsGroup->SetItemIndex(choice);
  // Kept at once: the program's end saves nothing of the dialog's that was not confirmed.
  try {
    setup_form_->SaveSetting(TSetting::kReplaceOriginals);
  } catch (...) {
    widgets::ShowException(std::current_exception(), this);
  }
}

void TDropFileForm::SetDragHover(bool hover) {
  if (hover == drag_hover_) return;
  drag_hover_ = hover;
  // As the toolkit's drop examples do: the window lights up while files hover over it.
  setAutoFillBackground(hover);
  setBackgroundRole(hover ? QPalette::Highlight : QPalette::Window);
  mes_->setForegroundRole(hover ? QPalette::HighlightedText : QPalette::WindowText);
}

void TDropFileForm::AppSetupExecute() {
  if (!setup_form_) return;
  setup_form_->show();
  setup_form_->raise();
  setup_form_->activateWindow();
}

void TDropFileForm::SetNoResizeExecute(QAction* sender) {
  if (setup_form_) {
    setup_form_->TargetResGroup->SetItemIndex(sender->property(kTagProperty).toInt());
    // The latest choice wins: a size picked here turns a custom size off.
    setup_form_->CustomSizeBox->setChecked(false);
  }
  sender->setChecked(true);
}

void TDropFileForm::SetBitmapExecute(QAction* sender) {
  if (setup_form_)
    setup_form_->FileFormatGroup->SetItemIndex(sender->property(kTagProperty).toInt());
  sender->setChecked(true);
}

void TDropFileForm::CheckPriority(unsigned priority_class) {
  // The mark shows the class actually in force: when the system refuses the change (missing
  // privileges) it stays where it was, also after the menu has moved it, and the bottom line
  // says so.
  if (!SetPriorityClass(priority_class) &&
      (priority_class == kHighPriorityClass || priority_class == kRealtimePriorityClass)) {
    ShowNote(priority_class == kHighPriorityClass ? TrQ("High priority refused")
                                                  : TrQ("Realtime priority refused"),
             TrQ("The system refused the priority: raising it needs the right to do so "
                 "(CAP_SYS_NICE). The menu marks the priority in force."));
    note_->SetOnClick({});
  }
  const char* name = "SetNormalPriority";
  switch (CurrentPriorityClass()) {
    case kRealtimePriorityClass: name = "SetRealtimePriority"; break;
    case kHighPriorityClass: name = "SetHighPriority"; break;
    case kIdlePriorityClass: name = "SetIdlePriority"; break;
    default: break;
  }
  Action(QString::fromLatin1(name))->setChecked(true);
}

void TDropFileForm::SetRealtimePriorityExecute() { CheckPriority(kRealtimePriorityClass); }
void TDropFileForm::SetHighPriorityExecute() { CheckPriority(kHighPriorityClass); }
void TDropFileForm::SetNormalPriorityExecute() { CheckPriority(kNormalPriorityClass); }
void TDropFileForm::SetIdlePriorityExecute() { CheckPriority(kIdlePriorityClass); }

void TDropFileForm::SetTopMostExecute() {
  // The window's own flag is the state: a triggered checkable action has already flipped its mark.
  bool make_top_most = !windowFlags().testFlag(Qt::WindowStaysOnTopHint);
  QPoint position = pos();
  QSize client = size();
  // Changing the flag re-creates the native window; position and size are kept.
  setWindowFlag(Qt::WindowStaysOnTopHint, make_top_most);
  resize(client);
  move(position);
  show();
  Action(QStringLiteral("SetTopMost"))->setChecked(make_top_most);
}

void TDropFileForm::AppHelpExecute() { QDesktopServices::openUrl(QUrl::fromLocalFile(help_file_)); }

QUrl TDropFileForm::HomePage() {
  const QString configured = QStringLiteral(QV_HOME_PAGE);
  if (!configured.isEmpty()) return QUrl(configured);
  std::string exe = ExecutableFileName();
  std::string page = FindManual(exe, ".html");
  return QUrl::fromLocalFile(widgets::FromLocal(page.empty() ? ChangeFileExt(exe, ".html") : page));
}

void TDropFileForm::MyWebExecute() { QDesktopServices::openUrl(HomePage()); }

void TDropFileForm::DropStartupFiles(const QStringList& names) {
  std::vector<std::string> files;
  for (const QString& name : names) {
    // "Open with" passes absolute paths; a name typed in a terminal is taken from its folder.
    if (!name.isEmpty()) files.push_back(widgets::ToLocal(QFileInfo(name).absoluteFilePath()));
  }
  if (files.empty()) return;
  // Once the event loop runs, as if the files had been dropped on the window together.
  QTimer::singleShot(0, this, [this, files] { drop_dst_->DoFileDrop(files, 0, 0); });
}

QString TDropFileForm::AboutText() const {
  return TrQ(kCreditLine) + QStringLiteral("\n\n") +
         widgets::FromLocal(GetVersionInfoString(ExecutableFileName(), 2));
}

void TDropFileForm::AppAboutExecute() {
  QMessageBox box(QMessageBox::Information, TrQ("Information"), AboutText(), QMessageBox::Ok, this);
  // Below the credit and version lines: who holds the copyright and under which licence.
  box.setInformativeText(QString::fromUtf8(CopyrightText().c_str()));
  box.exec();
}

void TDropFileForm::AppExitExecute() { close(); }

void TDropFileForm::contextMenuEvent(QContextMenuEvent* event) {
  if (event->reason() == QContextMenuEvent::Keyboard)
    PopupMenuInside();
  else
    popup_menu_->exec(event->globalPos());
}

void TDropFileForm::PopupMenuInside() { popup_menu_->exec(mapToGlobal(QPoint(8, 8))); }

void TDropFileForm::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
    PopupMenuInside();
    return;
  }
  QWidget::keyPressEvent(event);
}

void TDropFileForm::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    AppSetupExecute();
    return;
  }
  QWidget::mouseDoubleClickEvent(event);
}

void TDropFileForm::mouseMoveEvent(QMouseEvent* event) {
  SyncMenuChecks();
  QWidget::mouseMoveEvent(event);
}

void TDropFileForm::closeEvent(QCloseEvent* event) {
  // A failed save keeps the window open (the settings layer has shown its message).
  try {
    auto_ini_->SaveToIni();
  } catch (...) {
    event->ignore();
    widgets::ShowException(std::current_exception(), this);
    return;
  }
  event->accept();
  // The program ends with this window, also while the settings dialog is shown or a drop runs:
  // a running drop stops before its next file and still writes its PDF, queued drops are not
  // started, and the settings dialog closes without saving what was not confirmed.
  batch_host_->SetClosing();
  if (setup_form_) setup_form_->SetProgramEnding();
  QCoreApplication::quit();
}

}  // namespace qv::gui
