// Converts files through the window's drop path (the settings dialog's controls, the batch host
// that runs each file on a worker thread while the event loop goes on) and ends: the window's
// half of the Jobs row of bench/compare.sh. Run it with QT_QPA_PLATFORM=offscreen.
//   window_drop INI SECTION JOBS FILE...
// The settings are INI's SECTION (as quenvale-cli --save-settings writes them) with Jobs set to
// JOBS and KeepGoing on, so that no message box waits for an answer. Exit status 1 when a file
// failed.
#include <QApplication>
#include <QCheckBox>
#include <cstdio>
#include <string>
#include <vector>

#include "app/batch_run.h"
#include "gui/drop_file_form.h"
#include "gui/qt_auto_ini.h"
#include "gui/setup_form.h"
#include "settings/auto_ini.h"
#include "widgets/spin_edit.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  if (argc < 5) {
    std::fputs("usage: window_drop INI SECTION JOBS FILE...\n", stderr);
    return 2;
  }
  qv::gui::TDropFileForm main_form;
  qv::gui::TSetupForm setup_form(&main_form);
  main_form.SetSetupForm(&setup_form);
  setup_form.AutoIni1().Component().SetIniPathOverride(argv[1]);
  setup_form.AutoIni1().SetSection(argv[2]);
  setup_form.AutoIni1().LoadFromIni();
  setup_form.JobsEdit->setText(QString::fromLocal8Bit(argv[3]));
  setup_form.KeepGoingBox->setChecked(true);
  main_form.SyncMenuChecks();
  main_form.show();
  QApplication::processEvents();

  std::vector<std::string> files(argv + 4, argv + argc);
  main_form.DropDst1FileDrop(files, 0, 0);
  const qv::TBatchSummary& summary = main_form.BatchRun()->Summary();
  if (summary.Converted() != static_cast<int>(files.size())) {
    std::fprintf(stderr, "window_drop: %s\n", summary.Text().c_str());
    return 1;
  }
  return 0;
}
