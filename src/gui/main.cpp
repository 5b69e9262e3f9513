// Program entry of the GUI: the application, the main window, the hidden settings dialog, and
// the files named on the command line converted as one drop.
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "gui/drop_file_form.h"
#include "gui/program_icon.h"
#include "gui/setup_form.h"
#include "gui/ui_font.h"
#include "runtime/translation.h"
#include "runtime/version_text.h"
#include "widgets/error_box.h"

namespace {

// What "quenvale --help" prints.
std::string HelpText() {
  std::string text = std::string(qv::Tr("usage: quenvale [OPTIONS] [FILE...]")) + "\n" +
                     qv::Tr(
                         "Opens the drop window; the files named are converted as one drop, "
                         "with the stored\nsettings, and the window stays open.") +
                     "\n\n";
  const std::pair<std::string, const char*> options[] = {
      {"--help", N_("print this help and exit")},
      {"--version", N_("print the version and exit")},
      {"--", N_("the arguments after it are files, also those starting with '-'")},
  };
  for (const auto& [option, meaning] : options)
    text += "  " + option + std::string(12 - option.size(), ' ') + qv::Tr(meaning) + "\n";
  text += std::string("\n") +
          qv::Tr("Qt's own options (-platform, -display, -style ...) are taken as well.") + "\n" +
          qv::Tr("quenvale-cli converts without a window: see 'quenvale-cli --help'.") + "\n";
  return text;
}

// "--help" and "--version" before "--": the text and the exit status; nothing otherwise. They are
// answered before the application starts, so no window opens and no display is needed.
std::optional<int> AnswerInformationOptions(int argc, char* argv[]) {
  for (int i = 1; i < argc; ++i) {
    std::string_view argument = argv[i];
    if (argument == "--") break;
    if (argument == "--help" || argument == "--version") {
      qv::InitTranslations(qv::DefaultCatalogueFolder());
      std::cout << (argument == "--help" ? HelpText() : qv::VersionText("quenvale"));
      std::cout.flush();
      return std::cout ? 0 : 1;
    }
  }
  return std::nullopt;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (std::optional<int> status = AnswerInformationOptions(argc, argv)) return *status;
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
  // window stays open. Qt has already taken its own options out of the arguments; a "--" before
  // the files is not one of them.
  QStringList files = QApplication::arguments();
  files.removeFirst();
  files.removeOne(QStringLiteral("--"));
  drop_file_form.DropStartupFiles(files);
  return QApplication::exec();
}
