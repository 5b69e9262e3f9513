// Takes the screenshots of docs/screenshots: run under a real X server (xvfb-run), not a test.
// The texts are in the language of the locale: LC_ALL=C.UTF-8 for docs/screenshots,
// LC_ALL=ja_JP.UTF-8 for docs/screenshots/ja.
#include <QDir>
#include <QFontInfo>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QTabWidget>
#include <QThread>
#include <QTimer>

#include "app/batch_summary.h"
#include "app/conversion_job.h"
#include "app/file_result.h"
#include "gui/drop_file_form.h"
#include "gui/program_icon.h"
#include "gui/result_list_form.h"
#include "gui/setup_form.h"
#include "gui/ui_font.h"
#include "runtime/exceptions.h"
#include "runtime/messages.h"
#include "runtime/translation.h"
#include "widgets/click_label.h"
#include "widgets/qt_app.h"

namespace {

void Settle() {
  for (int i = 0; i < 20; ++i) {
    QApplication::processEvents();
    QThread::msleep(20);
  }
}

QPixmap GrabScreen(const QRect& area) {
  return QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(),
                                                      area.height());
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setApplicationDisplayName(QStringLiteral("Quenvale"));
  QApplication::setFont(qv::gui::JapaneseUiFont());
  QApplication::setWindowIcon(qv::gui::ProgramIcon());
  qv::InitTranslations(qv::DefaultCatalogueFolder());
  QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs/screenshots");
  QDir().mkpath(folder);

  qv::gui::TDropFileForm main_form;
  qv::gui::TSetupForm setup_form(&main_form);
  main_form.SetSetupForm(&setup_form);
  main_form.SyncMenuChecks();
  main_form.move(20, 20);
  main_form.show();
  Settle();
  main_form.grab().save(folder + QStringLiteral("/main_window.png"));

  QMenu* menu = main_form.PopupMenu1();
  menu->popup(main_form.mapToGlobal(QPoint(40, 40)));
  Settle();
  QAction* sizes = menu->actions()[2];
  menu->setActiveAction(sizes);
  sizes->menu()->popup(menu->mapToGlobal(menu->actionGeometry(sizes).topRight()));
  Settle();
  QRect area = main_form.frameGeometry().united(menu->geometry()).united(sizes->menu()->geometry());
  GrabScreen(area.adjusted(-4, -4, 4, 4)).save(folder + QStringLiteral("/popup_menu_sizes.png"));
  sizes->menu()->hide();
  menu->hide();

  // The same with the formats' submenu.
  menu->popup(main_form.mapToGlobal(QPoint(40, 40)));
  Settle();
  QAction* formats = menu->actions()[3];
  menu->setActiveAction(formats);
  formats->menu()->popup(menu->mapToGlobal(menu->actionGeometry(formats).topRight()));
  Settle();
  area = main_form.frameGeometry().united(menu->geometry()).united(formats->menu()->geometry());
  GrabScreen(area.adjusted(-4, -4, 4, 4)).save(folder + QStringLiteral("/popup_menu_formats.png"));
  formats->menu()->hide();
  menu->hide();

  setup_form.move(160, 20);
  main_form.AppSetupExecute();
  Settle();
  setup_form.grab().save(folder + QStringLiteral("/settings_image_page.png"));
  setup_form.PageControl1->setCurrentIndex(1);
  Settle();
  setup_form.grab().save(folder + QStringLiteral("/settings_save_page.png"));
  setup_form.PageControl1->setCurrentIndex(2);
  Settle();
  setup_form.grab().save(folder + QStringLiteral("/settings_photos_page.png"));
  setup_form.PageControl1->setCurrentIndex(3);
  QApplication::processEvents();
  setup_form.grab().save(folder + QStringLiteral("/settings_batch_page.png"));
  setup_form.hide();

  // The result list after a drop with every outcome, and the window's bottom line.
  qv::gui::TResultListForm& list = *main_form.ResultList();
  const std::string pictures = "/home/user/Pictures/";
  struct TShotRow {
    const char* name;
    qv::TFileStatus status;
    qv::TPassReason reason;
    int milliseconds;
  };
  const TShotRow rows[] = {
      {"beach.jpg", qv::TFileStatus::kConverted, qv::TPassReason::kNone, 412},
      {"harbour.jpg", qv::TFileStatus::kConverted, qv::TPassReason::kNone, 388},
      {"notes.txt", qv::TFileStatus::kPassedOver, qv::TPassReason::kNoReader, 1},
      {"sunset.bmp", qv::TFileStatus::kFailed, qv::TPassReason::kNone, 3},
      {"market.png", qv::TFileStatus::kConverted, qv::TPassReason::kNone, 0},
  };
  qv::TBatchSummary summary;
  list.DropStarting();
  for (int i = 0; i < 5; ++i) list.FileListed(i, QString::fromStdString(pictures + rows[i].name));
  for (int i = 0; i < 4; ++i) {
    qv::TFileResult result;
    result.file_name = pictures + rows[i].name;
    result.status = rows[i].status;
    result.reason = rows[i].reason;
    result.elapsed = std::chrono::milliseconds(rows[i].milliseconds);
    if (result.status == qv::TFileStatus::kConverted)
      result.output = pictures + "small/" + rows[i].name;
    if (result.status == qv::TFileStatus::kFailed)
      result.message = qv::ErrorBoxText(qv::Tr(qv::messages::kInvalidBitmap));
    if (i == 1) result.warnings = {qv::Tr(qv::kIncompletePictureWarning)};
    summary.Add(result);
    list.FileStarting(i);
    list.FileFinished(i, result);
  }
  list.DropFinished();
  list.SetTotals(QString::fromStdString(summary.Text(1)));
  list.resize(760, 250);
  list.move(160, 20);
  list.show();
  Settle();
  list.grab().save(folder + QStringLiteral("/result_list.png"));
  main_form.ShowNote(QString::fromStdString(summary.Brief(1)), QString());
  Settle();
  main_form.grab().save(folder + QStringLiteral("/main_window_after_a_drop.png"));
  return 0;
}
