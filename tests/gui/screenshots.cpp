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

#include "gui/drop_file_form.h"
#include "gui/program_icon.h"
#include "gui/setup_form.h"
#include "gui/ui_font.h"
#include "runtime/translation.h"
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
  return 0;
}
