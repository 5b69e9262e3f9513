// Program entry of the GUI: the application, the main window, the hidden settings dialog, and
// the files named on the command line converted as one drop.
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <exception>

#include "gui/drop_file_form.h"
#include "gui/program_icon.h"
#include "gui/setup_form.h"
#include "gui/ui_font.h"
#include "runtime/translation.h"
#include "widgets/error_box.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  qv::InitTranslations(qv::DefaultCatalogueFolder());
  // Qt's own texts (the file dialog, standard buttons) in the same language, when Qt's
  // translations are installed.
  QTranslator qt_texts;
  if (qt_texts.load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                    QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QApplication::installTranslator(&qt_texts);
  // The application id names the window's class (X11's WM_CLASS, the desktop entry's
  // StartupWMClass) and the desktop entry (Wayland's app id), by which the desktop matches the
  // window to its menu entry and icon; titles show the display name.
  QApplication::setApplicationName(QStringLiteral(QV_APP_ID));
  QApplication::setApplicationDisplayName(QStringLiteral("Quenvale"));
  QApplication::setWindowIcon(qv::gui::ProgramIcon());
  QGuiApplication::setDesktopFileName(QStringLiteral(QV_APP_ID));
  QApplication::setFont(qv::gui::JapaneseUiFont());
  // The main window ends the program itself (also while the settings dialog is shown).
  QApplication::setQuitOnLastWindowClosed(false);

  qv::gui::TDropFileForm drop_file_form;
  qv::gui::TSetupForm setup_form(&drop_file_form);
  drop_file_form.SetSetupForm(&setup_form);
  // A failing creation handler (an unreadable INI file) is reported and the program goes on.
  try {
    drop_file_form.FormCreate();
  } catch (...) {
    qv::widgets::ShowException(std::current_exception());
  }
  try {
    setup_form.FormCreate();
  } catch (...) {
    qv::widgets::ShowException(std::current_exception());
  }
  drop_file_form.SyncMenuChecks();
  drop_file_form.show();
  // "quenvale FILE..." (and "Open with" from a file manager): the files are one drop, then the
  // window stays open. Qt has already taken its own options out of the arguments.
  QStringList files = QApplication::arguments();
  files.removeFirst();
  drop_file_form.DropStartupFiles(files);
  return QApplication::exec();
}
