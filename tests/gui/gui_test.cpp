// The main window and the settings dialog together: drops, menu marks, Cancel, version line.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QUrl>
#include <memory>

#include "app/batch_run.h"
#include "gui/drop_file_form.h"
#include "gui/qt_auto_ini.h"
#include "gui/setup_form.h"
#include "gui/version_info.h"
#include "widgets/ellipses_edit.h"
#include "widgets/qt_app.h"
#include "widgets/radio_group.h"
#include "widgets/spin_edit.h"

namespace qv::gui {
namespace {

class GuiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qv::testing::App();
    ASSERT_TRUE(dir_.isValid());
    main_ = std::make_unique<TDropFileForm>();
    setup_ = std::make_unique<TSetupForm>(main_.get());
    main_->SetSetupForm(setup_.get());
    main_->SyncMenuChecks();
    main_->show();
  }
  void TearDown() override {
    setup_.reset();
    main_.reset();
  }

  QString Path(const QString& name) const { return dir_.filePath(name); }
  QString Sample(const QString& name) {
    QString path = Path(name);
    EXPECT_TRUE(QFile::copy(QStringLiteral(QV_SOURCE_DIR "/samples/gradient.bmp"), path));
    return path;
  }
  QAction* Action(const char* name) const { return main_->Action(QString::fromLatin1(name)); }

  // A drag-enter and drop of the paths on the main window, as a file manager sends them.
  void Drop(const QStringList& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths) urls.push_back(QUrl::fromLocalFile(path));
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(main_.get(), &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(main_.get(), &drop);
    ASSERT_TRUE(drop.isAccepted());
  }

  QTemporaryDir dir_;
  std::unique_ptr<TDropFileForm> main_;
  std::unique_ptr<TSetupForm> setup_;
};

TEST_F(GuiTest, ADropConvertsInOrderWithTheDialogsSettingsReadLive) {
  QString out = Path(QStringLiteral("out"));
  ASSERT_TRUE(QDir().mkpath(out));
  ASSERT_TRUE(QDir().mkpath(Path(QStringLiteral("folder"))));
  QStringList files = {Sample(QStringLiteral("a.bmp")), Sample(QStringLiteral("b.bmp")),
                       Sample(QStringLiteral("c.bmp")), Path(QStringLiteral("folder"))};
  setup_->OutputModeGroup->SetItemIndex(1);
  setup_->DstDirEdit->setText(out);
  setup_->FileFormatGroup->SetItemIndex(0);
  // The progress bar moves to i + 1 for file i just before the events between files are
  // processed: a change made then is read by that file.
  QStringList captions;
  QObject::connect(main_->Task(), &QProgressBar::valueChanged, [&](int position) {
    captions << main_->Mes()->text();
    if (position == 2) setup_->TargetResGroup->SetItemIndex(2);  // 96x96
    if (position == 3) setup_->TargetResGroup->SetItemIndex(3);  // 640x480
  });
  qv::testing::TMessageBoxCatcher boxes;
  Drop(files);
  ASSERT_TRUE(qv::testing::ProcessUntil([&] {
    return !main_->BatchRun()->Running() && QFile::exists(out + QStringLiteral("/c.bmp"));
  })) << boxes.texts.join(u'|').toStdString();
  EXPECT_TRUE(boxes.texts.isEmpty()) << boxes.texts.join(u'|').toStdString();
  QApplication::processEvents();
  EXPECT_EQ(QImage(out + QStringLiteral("/a.bmp")).size(),
            QImage(QStringLiteral(QV_SOURCE_DIR "/samples/gradient.bmp")).size());
  EXPECT_EQ(QImage(out + QStringLiteral("/b.bmp")).size(), QSize(96, 96));
  EXPECT_EQ(QImage(out + QStringLiteral("/c.bmp")).size(), QSize(640, 480));
  // The folder is passed over: nothing is written for it.
  EXPECT_EQ(QDir(out).entryList(QDir::Files).size(), 3);
  EXPECT_TRUE(captions.contains(QStringLiteral("Please wait...")));
  EXPECT_EQ(main_->Mes()->text(), QStringLiteral("Drop Files Here."));
  EXPECT_FALSE(main_->Task()->isVisible());
  // The menu follows the dialog's format group.
  EXPECT_TRUE(Action("Set640x480")->isChecked());
}

// Answers the PDF save dialog the first time it is shown: with a file name, or cancelled when
// the name is empty.
class TSaveDialogAnswer {
 public:
  explicit TSaveDialogAnswer(QString file_name) : file_name_(std::move(file_name)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (!dialog || !dialog->isVisible()) return;
      ++shown;
      timer_.stop();
      if (file_name_.isEmpty()) {
        dialog->reject();
      } else {
        // As a user does: go to the folder, type the name, press Save.
        QFileInfo target(file_name_);
        dialog->setDirectory(target.absolutePath());
        if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
          name->setText(target.fileName());
        static_cast<QDialog*>(dialog)->accept();  // QFileDialog::accept checks the name
      }
    });
    timer_.start(10);
  }
  int shown = 0;

 private:
  QString file_name_;
  QTimer timer_;
};

TEST_F(GuiTest, PdfDropsAskOnceAndACancelConvertsNothing) {
  QStringList files = {Sample(QStringLiteral("a.bmp")), Sample(QStringLiteral("b.bmp"))};
  Action("SetPDF")->trigger();
  {
    TSaveDialogAnswer cancel{QString()};
    Drop(files);
    ASSERT_TRUE(qv::testing::ProcessUntil(
        [&] { return cancel.shown == 1 && !main_->BatchRun()->Running(); }));
    QApplication::processEvents();
    EXPECT_EQ(cancel.shown, 1);
  }
  EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files).size(), 2);  // the inputs only
  EXPECT_EQ(main_->Mes()->text(), QStringLiteral("Drop Files Here."));

  QString pdf = Path(QStringLiteral("drop.pdf"));
  TSaveDialogAnswer confirm{pdf};
  Drop(files);
  ASSERT_TRUE(qv::testing::ProcessUntil(
      [&] { return QFile::exists(pdf) && !main_->BatchRun()->Running(); }));
  EXPECT_EQ(confirm.shown, 1);
  QFile file(pdf);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  QByteArray bytes = file.readAll();
  EXPECT_TRUE(bytes.startsWith("%PDF-1.2"));
  EXPECT_TRUE(bytes.contains("/Count 2")) << "one page per file of the drop";
}

TEST_F(GuiTest, MenuSetsTheDialogAndTheMarksFollowTheDialog) {
  EXPECT_TRUE(Action("SetNoResize")->isChecked());
  EXPECT_TRUE(Action("SetBitmap")->isChecked());
  EXPECT_TRUE(Action("SetIdlePriority")->isChecked());
  Action("Set1024x768")->trigger();
  EXPECT_EQ(setup_->TargetRes(), 5);
  EXPECT_TRUE(Action("Set1024x768")->isChecked());
  EXPECT_FALSE(Action("SetNoResize")->isChecked());
  Action("SetPDF")->trigger();
  EXPECT_EQ(setup_->FileFormat(), 3);

  // A click in the dialog's group moves the menu's mark.
  setup_->FileFormatGroup->Button(2)->click();
  EXPECT_TRUE(Action("SetPNG")->isChecked());
  EXPECT_FALSE(Action("SetPDF")->isChecked());
  setup_->TargetResGroup->Button(9)->click();
  EXPECT_TRUE(Action("Set1600x1200")->isChecked());

  // The pop-up menu: entries and submenus in order.
  QStringList entries;
  for (QAction* action : main_->PopupMenu1()->actions())
    entries << (action->isSeparator() ? QStringLiteral("-") : action->text());
  EXPECT_EQ(entries,
            (QStringList{QStringLiteral("環境設定(&O)..."), QStringLiteral("-"),
                         QStringLiteral("出力解像度(&S)"), QStringLiteral("動作モード(&M)"),
                         QStringLiteral("-"), QStringLiteral("処理優先度変更(&P)"),
                         QStringLiteral("常に最前面に表示(&T)"), QStringLiteral("-"),
                         QStringLiteral("説明書を開く(&C)"), QStringLiteral("Lirameth(&W)"),
                         QStringLiteral("バージョン情報(&A)..."), QStringLiteral("-"),
                         QStringLiteral("終了(&X)")}));
  QMenu* sizes = main_->PopupMenu1()->actions()[2]->menu();
  ASSERT_NE(sizes, nullptr);
  ASSERT_EQ(sizes->actions().size(), 10);
  EXPECT_EQ(sizes->actions()[5], Action("Set1024x768"));
}

TEST_F(GuiTest, CancelRestoresTheSnapshotIncludingMenuChanges) {
  setup_->TargetResGroup->SetItemIndex(3);
  setup_->SepiaModeBox->setChecked(true);
  main_->AppSetupExecute();  // shows the dialog: the snapshot is taken
  ASSERT_TRUE(setup_->isVisible());
  Action("Set800x600")->trigger();
  setup_->SepiaModeBox->setChecked(false);
  setup_->JPEGQLEdit->setText(QStringLiteral("50"));
  EXPECT_EQ(setup_->TargetRes(), 4);
  setup_->CancelButton->click();
  EXPECT_FALSE(setup_->isVisible());
  EXPECT_EQ(setup_->TargetRes(), 3);
  EXPECT_TRUE(setup_->SepiaMode());
  EXPECT_EQ(setup_->JPEGQL(), 85);
  EXPECT_TRUE(Action("Set640x480")->isChecked());
}

// The keys of a section in file order.
QStringList Keys(const QString& ini_path) {
  QFile file(ini_path);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
  QStringList keys;
  QTextStream in(&file);
  while (!in.atEnd()) {
    QString line = in.readLine();
    if (line.contains(u'=')) keys << line.section(u'=', 0, 0);
  }
  return keys;
}

TEST_F(GuiTest, ClosingSavesTheKeysInOrderAndLoadingBringsThemBack) {
  std::string ini = Path(QStringLiteral("quenvale.ini")).toStdString();
  for (TQtAutoIni* auto_ini : {&main_->AutoIni1(), &setup_->AutoIni1()}) {
    auto_ini->Component().SetIniPathOverride(ini);
    auto_ini->SetSection("tester");
  }
  setup_->JPEGQLEdit->setText(QStringLiteral("150"));  // stored as typed
  setup_->FileFormatGroup->SetItemIndex(2);
  main_->AppSetupExecute();
  ASSERT_TRUE(setup_->close());  // the title bar's close saves like OK
  EXPECT_FALSE(setup_->isVisible());
  ASSERT_TRUE(main_->close());
  EXPECT_EQ(Keys(QString::fromStdString(ini)),
            (QStringList{QStringLiteral("SetupFormTop"), QStringLiteral("SetupFormLeft"),
                         QStringLiteral("TargetRes"), QStringLiteral("FileFormat"),
                         QStringLiteral("SepiaMode"), QStringLiteral("Reduce256ColorMode"),
                         QStringLiteral("DstDir"), QStringLiteral("OutputMode"),
                         QStringLiteral("OverWrite"), QStringLiteral("ResampleMode"),
                         QStringLiteral("PNGCL"), QStringLiteral("JPEGQL"),
                         QStringLiteral("DropFileFormTop"), QStringLiteral("DropFileFormLeft")}));

  TDropFileForm main2;
  TSetupForm setup2(&main2);
  main2.SetSetupForm(&setup2);
  setup2.AutoIni1().Component().SetIniPathOverride(ini);
  setup2.AutoIni1().SetSection("tester");
  setup2.AutoIni1().LoadFromIni();
  EXPECT_EQ(setup2.FileFormat(), 2);
  EXPECT_EQ(setup2.JPEGQLEdit->text(), QStringLiteral("150"));
  EXPECT_TRUE(main2.Action(QStringLiteral("SetPNG"))->isChecked());
}

TEST_F(GuiTest, AFailedSaveAtCloseKeepsTheWindowOpen) {
  main_->AutoIni1().Component().SetIniPathOverride("/proc/quenvale-test/quenvale.ini");
  qv::testing::TMessageBoxCatcher boxes;
  EXPECT_FALSE(main_->close());
  EXPECT_TRUE(main_->isVisible());
  ASSERT_EQ(boxes.texts.size(), 2);
  EXPECT_EQ(boxes.texts[0], QStringLiteral("Can not save to IniFile"));
  // The failure itself, in the standard error box.
  EXPECT_EQ(boxes.captions[1], QGuiApplication::applicationDisplayName());
  EXPECT_TRUE(boxes.texts[1].contains(QStringLiteral("/proc/quenvale-test/quenvale.ini")))
      << boxes.texts[1].toStdString();
}

TEST_F(GuiTest, TopMostTwiceKeepsThePlaceAndEndsOrdinary) {
  main_->move(40, 30);
  QPoint before = main_->pos();
  main_->SetTopMostExecute();
  EXPECT_TRUE(main_->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_TRUE(Action("SetTopMost")->isChecked());
  main_->SetTopMostExecute();
  EXPECT_FALSE(main_->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_FALSE(Action("SetTopMost")->isChecked());
  EXPECT_EQ(main_->pos(), before);
  EXPECT_EQ(main_->size(), QSize(104, 100));
}

TEST_F(GuiTest, FilesNamedAtStartUpAreOneDropOnceTheEventLoopRuns) {
  QString a = Sample(QStringLiteral("a.bmp"));
  Sample(QStringLiteral("b.bmp"));
  setup_->FileFormatGroup->SetItemIndex(2);  // PNG, beside the input
  // A name typed in a terminal is taken from the current folder.
  QString before = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(dir_.path()));
  main_->DropStartupFiles({a, QStringLiteral("b.bmp"), QStringLiteral("missing.bmp")});
  ASSERT_TRUE(QDir::setCurrent(before));
  EXPECT_FALSE(QFile::exists(Path(QStringLiteral("a.png"))));  // not before the loop runs
  qv::testing::TMessageBoxCatcher boxes;
  ASSERT_TRUE(qv::testing::ProcessUntil([&] {
    return QFile::exists(Path(QStringLiteral("b.png"))) && !main_->BatchRun()->Running();
  })) << boxes.texts.join(u'|').toStdString();
  EXPECT_TRUE(boxes.texts.isEmpty()) << boxes.texts.join(u'|').toStdString();
  EXPECT_EQ(QImage(Path(QStringLiteral("a.png"))).size(),
            QImage(QStringLiteral(QV_SOURCE_DIR "/samples/gradient.bmp")).size());
  EXPECT_TRUE(main_->isVisible());
  // No names: nothing happens.
  main_->DropStartupFiles({});
  QApplication::processEvents();
  EXPECT_FALSE(main_->BatchRun()->Running());
}

TEST(HomePage, TheWebItemOpensTheManualsPageOrAConfiguredAddress) {
  QUrl home = TDropFileForm::HomePage();
  ASSERT_TRUE(home.isValid());
  if (home.isLocalFile()) {
    EXPECT_TRUE(home.path().endsWith(QStringLiteral(".html"))) << home.toString().toStdString();
  } else {
    EXPECT_FALSE(home.host().contains(QStringLiteral("example"))) << home.toString().toStdString();
  }
}

TEST(VersionInfo, LinesOfTheProgramsVersionBlock) {
  const std::string program = QV_BINARY_DIR "/bin/quenvale";
  EXPECT_EQ(GetVersionInfoString(program, 2), "FileVersion : 1.0.0");
  EXPECT_EQ(GetVersionInfoString(program, 9), "FileVersion : 1.0.0");
  EXPECT_EQ(GetVersionInfoString(program, 6), "ProductName : Quenvale");
  // This test program carries no version block; a missing file and a non-ELF file neither.
  EXPECT_EQ(GetVersionInfoString("/proc/self/exe", 2), "unidentified");
  EXPECT_EQ(GetVersionInfoString(QV_SOURCE_DIR "/missing.exe", 2), "unidentified");
  EXPECT_EQ(GetVersionInfoString(QV_SOURCE_DIR "/CMakeLists.txt", 2), "unidentified");
  qv::testing::App();
  TDropFileForm form;
  EXPECT_EQ(form.AboutText(), QString::fromUtf8(kCreditLine) + QStringLiteral("\n\nunidentified"));
  // A block with a translation but without the key gives "None".
  std::vector<char> block;
  for (char ch : std::string_view("\\VarFileInfo\\Translation=0x04B00411\0", 37))
    block.push_back(ch);
  EXPECT_EQ(QueryVersionValue(block, "\\VarFileInfo\\Translation"), "0x04B00411");
  EXPECT_EQ(QueryVersionValue(block, "\\StringFileInfo\\041104B0\\FileVersion"), std::nullopt);
}

}  // namespace
}  // namespace qv::gui
