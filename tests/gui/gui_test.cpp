// The main window and the settings dialog together: drops, menu marks, Cancel, version line.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QCursor>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <memory>

#include "app/batch_run.h"
#include "app/batch_summary.h"
#include "gui/drop_file_form.h"
#include "gui/platform_utils.h"
#include "gui/qt_auto_ini.h"
#include "gui/qt_batch_host.h"
#include "gui/result_list_form.h"
#include "gui/setup_form.h"
#include "gui/version_info.h"
#include "settings/settings_record.h"
#include "support/child_process.h"
#include "support/test_locale.h"
#include "widgets/click_label.h"
#include "widgets/ellipses_edit.h"
#include "widgets/qt_app.h"
#include "widgets/radio_group.h"
#include "widgets/spin_edit.h"
#include "widgets/translated_text.h"

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

  // Drops the paths and processes events until that drop (and any queued behind it) has ended:
  // the progress bar returns to 0 at the end of every drop.
  void DropAndWait(const QStringList& paths) {
    bool ended = false;
    auto connection = QObject::connect(main_->Task(), &QProgressBar::valueChanged,
                                       [&](int position) { ended = ended || position == 0; });
    Drop(paths);
    EXPECT_TRUE(qv::testing::ProcessUntil([&] { return ended && !main_->BatchRun()->Running(); }));
    QObject::disconnect(connection);
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
  // One file after the other, each read with the settings as they stand when it begins.
  setup_->JobsEdit->setText(QStringLiteral("1"));
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

// Answers the PDF save dialog the first time it is shown (or each time, with the next of the
// names given): with a file name, or cancelled when the name is empty.
class TSaveDialogAnswer {
 public:
  explicit TSaveDialogAnswer(QString file_name) : TSaveDialogAnswer(QStringList{file_name}) {}
  explicit TSaveDialogAnswer(QStringList file_names) : file_names_(std::move(file_names)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (!dialog || !dialog->isVisible()) return;
      QString file_name_ = file_names_.value(shown);
      ++shown;
      if (shown >= file_names_.size()) timer_.stop();
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
  QStringList file_names_;
  QTimer timer_;
};

// The number of pages of a PDF file written by the report ("/Count N" of its page tree).
int PdfPages(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return -1;
  QByteArray bytes = file.readAll();
  int at = bytes.indexOf("/Count ");
  return at < 0 ? 0 : bytes.mid(at + 7, 6).split('\n').front().split(' ').front().toInt();
}

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

// Answers the question a save dialog asks before replacing a file: Yes or No.
class TReplaceAnswer {
 public:
  explicit TReplaceAnswer(bool replace) : replace_(replace) {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box || !box->isVisible()) return;
      ++asked;
      timer_.stop();
      box->button(replace_ ? QMessageBox::Yes : QMessageBox::No)->click();
    });
    timer_.start(10);
  }
  int asked = 0;

 private:
  bool replace_;
  QTimer timer_;
};

// Choosing an existing PDF in the save dialog asks before it is replaced.
TEST_F(GuiTest, ReplacingAnExistingPdfIsAskedFirst) {
  QStringList files = {Sample(QStringLiteral("a.bmp"))};
  Action("SetPDF")->trigger();
  QString pdf = Path(QStringLiteral("album.pdf"));
  {
    QFile file(pdf);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("%PDF-1.4 made before");
  }
  TReplaceAnswer yes(true);
  TSaveDialogAnswer confirm{pdf};
  Drop(files);
  ASSERT_TRUE(qv::testing::ProcessUntil(
      [&] { return confirm.shown == 1 && !main_->BatchRun()->Running(); }));
  QApplication::processEvents();
  EXPECT_EQ(yes.asked, 1);
  QFile file(pdf);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_TRUE(file.readAll().contains("/Count 1"));
}

TEST_F(GuiTest, MenuSetsTheDialogAndTheMarksFollowTheDialog) {
  EXPECT_TRUE(Action("SetNoResize")->isChecked());
  EXPECT_TRUE(Action("SetBitmap")->isChecked());
  EXPECT_TRUE(Action("SetIdlePriority")->isChecked());
  Action("Set1024x768")->trigger();
  EXPECT_EQ(setup_->Choice(TSetting::kTargetRes), 5);
  EXPECT_TRUE(Action("Set1024x768")->isChecked());
  EXPECT_FALSE(Action("SetNoResize")->isChecked());
  Action("SetPDF")->trigger();
  EXPECT_EQ(setup_->Choice(TSetting::kFileFormat), 3);

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
  EXPECT_EQ(
      entries,
      (QStringList{QStringLiteral("環境設定(&O)..."), QStringLiteral("-"),
                   QStringLiteral("出力解像度(&S)"), QStringLiteral("動作モード(&M)"),
                   QStringLiteral("-"), QStringLiteral("処理優先度変更(&P)"),
                   QStringLiteral("常に最前面に表示(&T)"), QStringLiteral("-"),
                   QStringLiteral("結果一覧(&R)..."), QStringLiteral("このファイルの後で中止(&F)"),
                   QStringLiteral("-"), QStringLiteral("説明書を開く(&C)"),
                   QStringLiteral("Lirameth(&W)"), QStringLiteral("バージョン情報(&A)..."),
                   QStringLiteral("-"), QStringLiteral("終了(&X)")}));
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
  EXPECT_EQ(setup_->Choice(TSetting::kTargetRes), 4);
  setup_->CancelButton->click();
  EXPECT_FALSE(setup_->isVisible());
  EXPECT_EQ(setup_->Choice(TSetting::kTargetRes), 3);
  EXPECT_TRUE(setup_->Checked(TSetting::kSepiaMode));
  EXPECT_EQ(setup_->Number(TSetting::kJPEGQL), 85);
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
  EXPECT_EQ(setup2.Choice(TSetting::kFileFormat), 2);
  EXPECT_EQ(setup2.JPEGQLEdit->text(), QStringLiteral("150"));
  EXPECT_TRUE(main2.Action(QStringLiteral("SetPNG"))->isChecked());
}

TEST_F(GuiTest, ThePhotoPageIsReadLiveStoredOnceChangedAndWalkedLikeTheRecord) {
  EXPECT_EQ(setup_->PageControl1->count(), 4);
  EXPECT_EQ(setup_->PageControl1->widget(2), setup_->TabSheet3);
  EXPECT_FALSE(setup_->Checked(TSetting::kAutoOrient) || setup_->Checked(TSetting::kKeepMetadata) ||
               setup_->Checked(TSetting::kKeepAspect) || setup_->Checked(TSetting::kCustomSize));
  EXPECT_FALSE(setup_->CustomWidthEdit->isEnabled());  // only with the custom size
  setup_->CustomSizeBox->setChecked(true);
  EXPECT_TRUE(setup_->CustomWidthEdit->isEnabled());
  setup_->CustomWidthEdit->setText(QStringLiteral("1920"));
  setup_->CustomHeightEdit->setText(QStringLiteral("1080"));
  setup_->KeepAspectBox->setChecked(true);
  setup_->AutoOrientBox->setChecked(true);
  EXPECT_TRUE(setup_->Checked(TSetting::kCustomSize));
  EXPECT_EQ(setup_->Number(TSetting::kCustomWidth), 1920);
  EXPECT_EQ(setup_->Number(TSetting::kCustomHeight), 1080);

  std::string ini = Path(QStringLiteral("photo.ini")).toStdString();
  setup_->AutoIni1().Component().SetIniPathOverride(ini);
  setup_->AutoIni1().SetSection("tester");
  setup_->GoButtonClick();
  // Only the changed options join the keys, after the others, in the record's order.
  QStringList keys = Keys(QString::fromStdString(ini));
  EXPECT_EQ(keys.mid(keys.indexOf(QStringLiteral("JPEGQL")) + 1),
            (QStringList{QStringLiteral("AutoOrient"), QStringLiteral("KeepAspect"),
                         QStringLiteral("CustomSize"), QStringLiteral("CustomWidth"),
                         QStringLiteral("CustomHeight")}));
  qv::TSettingsRecord record;
  record.LoadFromIni(ini, "tester");
  EXPECT_TRUE(record.Checked(TSetting::kAutoOrient) && record.Checked(TSetting::kKeepAspect) &&
              record.Checked(TSetting::kCustomSize));
  EXPECT_FALSE(record.Checked(TSetting::kKeepMetadata));
  EXPECT_EQ(record.Number(TSetting::kCustomWidth), 1920);

  // Cancel takes the page back to the snapshot too.
  main_->AppSetupExecute();
  setup_->KeepMetadataBox->setChecked(true);
  setup_->CustomWidthEdit->setText(QStringLiteral("5"));
  setup_->CancelButton->click();
  EXPECT_FALSE(setup_->Checked(TSetting::kKeepMetadata));
  EXPECT_EQ(setup_->Number(TSetting::kCustomWidth), 1920);
}

// The dialog holds a control for every setting of the table, walked in the rows' order, and
// serves each as the record does from the same file, the settings of no page included.
TEST_F(GuiTest, TheDialogServesEverySettingAsTheRecordDoes) {
  setup_->AutoIni1().StoreState();
  std::vector<std::string> walked;
  for (const std::string& entry : setup_->AutoIni1().Component().StateList())
    walked.push_back(entry.substr(0, entry.find('=')));
  std::vector<std::string> rows;
  for (const TSettingRow& row : SettingRows()) rows.push_back(row.key);
  EXPECT_EQ(walked, rows);

  std::string ini = Path(QStringLiteral("every.ini")).toStdString();
  qv::TSettingsRecord written;
  for (const auto& [key, value] : {std::pair{"TargetRes", "4"},
                                   {"FileFormat", "5"},
                                   {"SepiaMode", "1"},
                                   {"DstDir", "/srv/写真"},
                                   {"JPEGQL", "150"},
                                   {"WebPQuality", "55"},
                                   {"WebPLossless", "1"},
                                   {"AVIFSpeed", "9"},
                                   {"CustomWidth", "300"},
                                   {"FastShrink", "1"},
                                   {"PNGFilters", "1"}})
    ASSERT_TRUE(written.SetValue(key, value)) << key;
  written.SaveToIni(ini, "tester");
  setup_->AutoIni1().Component().SetIniPathOverride(ini);
  setup_->AutoIni1().SetSection("tester");
  setup_->AutoIni1().LoadFromIni();
  qv::TSettingsRecord record;
  record.LoadFromIni(ini, "tester");
  for (const TSettingRow& row : SettingRows())
    EXPECT_EQ(setup_->Stored(row.id), record.Stored(row.id)) << row.key;
  EXPECT_TRUE(setup_->Checked(TSetting::kFastShrink));
  EXPECT_EQ(setup_->Choice(TSetting::kPNGFilters), 1);
  EXPECT_EQ(setup_->Choice(TSetting::kFileFormat), 5);
  EXPECT_TRUE(setup_->WebPLosslessBox->isChecked());
  EXPECT_EQ(setup_->Number(TSetting::kAVIFSpeed), 9);
}

// WebP and AVIF: in the list of the format group's "Other:" button and in the menu, their fields
// below JPEG's and PNG's; the first page keeps its layout, every control stays inside its page.
TEST_F(GuiTest, TheWebFormatsJoinTheFormatChoicesAndTheSavePage) {
  QMenu* formats = main_->PopupMenu1()->actions()[3]->menu();
  ASSERT_NE(formats, nullptr);
  ASSERT_EQ(formats->actions().size(), 6);
  EXPECT_EQ(formats->actions()[4], Action("SetWebP"));
  EXPECT_EQ(formats->actions()[5], Action("SetAVIF"));
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(formats->actions()[i]->text(), setup_->FileFormatGroup->Button(i)->text()) << i;
  QComboBox* others = setup_->FileFormatGroup->OtherList();
  ASSERT_NE(others, nullptr);
  ASSERT_EQ(others->count(), 2);
  EXPECT_EQ(others->itemText(0), formats->actions()[4]->text());
  EXPECT_EQ(Action("SetWebP")->text(), QStringLiteral("WebP (JPEG より高圧縮)"));
  Action("SetAVIF")->trigger();
  EXPECT_EQ(setup_->Choice(TSetting::kFileFormat), 5);
  EXPECT_TRUE(setup_->FileFormatGroup->Button(5)->isChecked());
  EXPECT_EQ(others->currentIndex(), 1);
  setup_->FileFormatGroup->Button(1)->click();
  EXPECT_TRUE(Action("SetJPEG")->isChecked());
  // Picking in the list checks the "Other:" button.
  others->activated(0);
  EXPECT_EQ(setup_->Choice(TSetting::kFileFormat), 4);
  EXPECT_TRUE(Action("SetWebP")->isChecked());
  EXPECT_FALSE(Action("SetAVIF")->isChecked());
  // The group and the check box below it stand where they always stood.
  EXPECT_EQ(setup_->FileFormatGroup->geometry(), QRect(231, 8, 217, 97));
  EXPECT_EQ(setup_->SepiaModeBox->geometry(), QRect(240, 112, 193, 17));

  EXPECT_EQ(setup_->Number(TSetting::kWebPQuality), 80);
  EXPECT_FALSE(setup_->Checked(TSetting::kWebPLossless));
  EXPECT_EQ(setup_->Number(TSetting::kAVIFQuality), 60);
  EXPECT_EQ(setup_->Number(TSetting::kAVIFSpeed), 6);
  // A page shown once has its real size; every control of the two pages lies inside it.
  setup_->show();
  for (QWidget* page : {setup_->TabSheet1, setup_->TabSheet2}) {
    setup_->PageControl1->setCurrentWidget(page);
    for (QWidget* control : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      if (control->isVisibleTo(page)) {
        EXPECT_TRUE(page->rect().contains(control->geometry()))
            << control->objectName().toStdString();
      }
    }
  }
  EXPECT_LT(setup_->FileFormatGroup->geometry().bottom(), setup_->SepiaModeBox->geometry().top());
  EXPECT_EQ(setup_->WebPQualityEdit->parentWidget(), setup_->TabSheet2);
  EXPECT_GE(setup_->WebPLosslessBox->geometry().top(),
            setup_->WebPQualityEdit->geometry().bottom());
  setup_->hide();

  // A changed field is stored after JPEGQL; the others stay out of the file.
  setup_->WebPQualityEdit->setText(QStringLiteral("70"));
  std::string ini = Path(QStringLiteral("web.ini")).toStdString();
  setup_->AutoIni1().Component().SetIniPathOverride(ini);
  setup_->AutoIni1().SetSection("tester");
  setup_->GoButtonClick();
  QStringList keys = Keys(QString::fromStdString(ini));
  EXPECT_EQ(keys.mid(keys.indexOf(QStringLiteral("JPEGQL")) + 1),
            QStringList{QStringLiteral("WebPQuality")});
  qv::TSettingsRecord record;
  record.LoadFromIni(ini, "tester");
  EXPECT_EQ(record.Number(TSetting::kWebPQuality), 70);
  EXPECT_EQ(record.Choice(TSetting::kFileFormat), 4);
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
  // The bottom line tells what the start-up drop did, as after a drop on the window.
  EXPECT_TRUE(main_->Note()->text().startsWith(QStringLiteral("変換 2")))
      << main_->Note()->text().toStdString();
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

TEST_F(GuiTest, DropsDuringADropAreQueuedEachWithItsOwnPdfQuestion) {
  QStringList first = {Sample(QStringLiteral("a.bmp")), Sample(QStringLiteral("b.bmp"))};
  QStringList second = {Sample(QStringLiteral("c.bmp"))};
  QStringList third = {Sample(QStringLiteral("d.bmp")), Sample(QStringLiteral("e.bmp"))};
  Action("SetPDF")->trigger();
  TSaveDialogAnswer answers(QStringList{
      Path(QStringLiteral("1.pdf")), Path(QStringLiteral("2.pdf")), Path(QStringLiteral("3.pdf"))});
  bool dropped = false;
  QObject::connect(main_->Task(), &QProgressBar::valueChanged, [&](int position) {
    if (position == 1 && !dropped) {
      dropped = true;
      // As a file manager does while the first drop converts: two more drops, one after the
      // other.
      Drop(second);
      Drop(third);
    }
  });
  qv::testing::TMessageBoxCatcher boxes;
  Drop(first);
  ASSERT_TRUE(qv::testing::ProcessUntil([&] {
    return !main_->BatchRun()->Running() && QFile::exists(Path(QStringLiteral("3.pdf")));
  })) << answers.shown
      << boxes.texts.join(u'|').toStdString();
  EXPECT_TRUE(boxes.texts.isEmpty());
  EXPECT_EQ(answers.shown, 3);
  EXPECT_EQ(PdfPages(Path(QStringLiteral("1.pdf"))), 2);
  EXPECT_EQ(PdfPages(Path(QStringLiteral("2.pdf"))), 1);
  EXPECT_EQ(PdfPages(Path(QStringLiteral("3.pdf"))), 2);
}

TEST_F(GuiTest, ADragIsAnsweredWhileAFileConvertsAndItsDropIsQueued) {
  // A picture that takes a while to convert: the window must go on answering meanwhile (a
  // file manager gives up a drag that gets no answer).
  QImage big(2000, 1500, QImage::Format_RGB888);
  big.fill(Qt::darkCyan);
  QString first = Path(QStringLiteral("big.bmp"));
  ASSERT_TRUE(big.save(first, "BMP"));
  QString second = Sample(QStringLiteral("small.bmp"));
  QString out = Path(QStringLiteral("out"));
  setup_->OutputModeGroup->SetItemIndex(1);
  setup_->DstDirEdit->setText(out);
  setup_->TargetResGroup->SetItemIndex(2);     // 96x96
  setup_->ResampleModeGroup->SetItemIndex(3);  // Lanczos3
  // The hourglass is up exactly while a file converts.
  bool dropped_while_converting = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    QCursor* cursor = QApplication::overrideCursor();
    if (dropped_while_converting || !cursor || cursor->shape() != Qt::WaitCursor) return;
    dropped_while_converting = true;
    Drop({second});  // the drag is accepted
  });
  poll.start(2);
  qv::testing::TMessageBoxCatcher boxes;
  Drop({first});
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < 20000 &&
         !(QFile::exists(out + QStringLiteral("/small.bmp")) && !main_->BatchRun()->Running()))
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_TRUE(dropped_while_converting);
  EXPECT_TRUE(boxes.texts.isEmpty()) << boxes.texts.join(u'|').toStdString();
  EXPECT_EQ(QImage(out + QStringLiteral("/big.bmp")).size(), QSize(96, 96));
  EXPECT_EQ(QImage(out + QStringLiteral("/small.bmp")).size(), QSize(96, 96));
}

// On X11 the drop's data is fetched from whichever program began the latest drag: when the next
// drag begins right after this one was let go, the drop's data holds that drag's files or none.
TEST_F(GuiTest, TheFilesDroppedAreTheOnesThatWereDraggedOverTheWindow) {
  QString out = Path(QStringLiteral("out"));
  setup_->OutputModeGroup->SetItemIndex(1);
  setup_->DstDirEdit->setText(out);
  QStringList first = {Sample(QStringLiteral("a.bmp")), Sample(QStringLiteral("b.bmp"))};
  QString second = Sample(QStringLiteral("c.bmp"));
  QString third = Sample(QStringLiteral("d.bmp"));
  QString other = Sample(QStringLiteral("other.bmp"));
  // A drag that entered with its files and was dropped with other data; the drop is answered.
  auto drag_and_drop = [&](const QString& dragged, QMimeData& at_drop) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(dragged)});
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(main_.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDragMoveEvent move(QPoint(52, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(main_.get(), &move);
    EXPECT_TRUE(move.isAccepted());
    QDropEvent drop(QPointF(52, 50), Qt::CopyAction, &at_drop, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(main_.get(), &drop);
    EXPECT_TRUE(drop.isAccepted());
  };
  QMimeData others_files;
  others_files.setUrls({QUrl::fromLocalFile(other)});
  QMimeData no_files;
  no_files.setText(QStringLiteral("the next drag's text"));
  // While the first drop converts: queued, and converted after it.
  QStringList done_before_second;
  QObject::connect(main_->Task(), &QProgressBar::valueChanged, [&](int position) {
    if (position == 1 && done_before_second.isEmpty() && main_->Task()->maximum() == 2) {
      done_before_second << QStringLiteral("-");
      drag_and_drop(second, others_files);
    }
    if (main_->Task()->maximum() == 1 && position == 1)
      done_before_second = QDir(out).entryList(QDir::Files);
  });
  qv::testing::TMessageBoxCatcher boxes;
  DropAndWait(first);
  ASSERT_TRUE(QFile::exists(out + QStringLiteral("/c.bmp")));
  EXPECT_EQ(done_before_second, (QStringList{QStringLiteral("a.bmp"), QStringLiteral("b.bmp")}));
  // While nothing runs, with no files left in the drop's data.
  drag_and_drop(third, no_files);
  ASSERT_TRUE(qv::testing::ProcessUntil([&] {
    return !main_->BatchRun()->Running() && QFile::exists(out + QStringLiteral("/d.bmp"));
  }));
  EXPECT_FALSE(QFile::exists(out + QStringLiteral("/other.bmp")));
  EXPECT_TRUE(boxes.texts.isEmpty()) << boxes.texts.join(u'|').toStdString();
  // A drag that left the window leaves nothing behind for a drop without files.
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(other)});
  QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(main_.get(), &enter);
  QDragLeaveEvent leave;
  QApplication::sendEvent(main_.get(), &leave);
  QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &no_files, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(main_.get(), &drop);
  EXPECT_FALSE(drop.isAccepted());
}

TEST_F(GuiTest, ClosingDuringADropStopsBeforeTheNextFileWritesItsPdfAndStartsNoQueuedDrop) {
  QStringList files = {Sample(QStringLiteral("a.bmp")), Sample(QStringLiteral("b.bmp")),
                       Sample(QStringLiteral("c.bmp"))};
  std::string ini = Path(QStringLiteral("quenvale.ini")).toStdString();
  for (TQtAutoIni* auto_ini : {&main_->AutoIni1(), &setup_->AutoIni1()}) {
    auto_ini->Component().SetIniPathOverride(ini);
    auto_ini->SetSection("tester");
  }
  Action("SetPDF")->trigger();
  TSaveDialogAnswer answers(
      QStringList{Path(QStringLiteral("drop.pdf")), Path(QStringLiteral("queued.pdf"))});
  QObject::connect(main_->Task(), &QProgressBar::valueChanged, [&](int position) {
    if (position == 1) Drop({Sample(QStringLiteral("d.bmp"))});
    // The window is closed after the first file, before the second starts.
    if (position == 2) QTimer::singleShot(0, main_.get(), [&] { main_->close(); });
  });
  qv::testing::TMessageBoxCatcher boxes;
  DropAndWait(files);
  QApplication::processEvents();
  EXPECT_FALSE(main_->isVisible());
  EXPECT_TRUE(boxes.texts.isEmpty()) << boxes.texts.join(u'|').toStdString();
  EXPECT_EQ(PdfPages(Path(QStringLiteral("drop.pdf"))), 1) << "the pages made so far";
  EXPECT_EQ(answers.shown, 1) << "the queued drop is not started";
  EXPECT_FALSE(QFile::exists(Path(QStringLiteral("queued.pdf"))));
}

TEST_F(GuiTest, AFileDragHighlightsTheWindowAndADragWithoutFilesIsRefused) {
  QMimeData files;
  files.setUrls({QUrl::fromLocalFile(Sample(QStringLiteral("a.bmp")))});
  QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(main_.get(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  EXPECT_TRUE(main_->DragHover());
  EXPECT_EQ(main_->backgroundRole(), QPalette::Highlight);
  EXPECT_TRUE(main_->autoFillBackground());
  QDragLeaveEvent leave;
  QApplication::sendEvent(main_.get(), &leave);
  EXPECT_FALSE(main_->DragHover());
  EXPECT_EQ(main_->backgroundRole(), QPalette::Window);

  QMimeData text;
  text.setText(QStringLiteral("no files here"));
  QDragEnterEvent refused(QPoint(50, 50), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(main_.get(), &refused);
  EXPECT_FALSE(refused.isAccepted());
  EXPECT_FALSE(main_->DragHover());
}

TEST_F(GuiTest, TheTitleShowsProgressAndTheBarIsFullOnTheLastFile) {
  QStringList files = {Sample(QStringLiteral("a.bmp")), Sample(QStringLiteral("b.bmp")),
                       Path(QStringLiteral("missing.bmp"))};
  setup_->OutputModeGroup->SetItemIndex(1);
  setup_->DstDirEdit->setText(Path(QStringLiteral("out")));
  QStringList titles;
  QList<int> full;
  QObject::connect(main_->Task(), &QProgressBar::valueChanged, [&](int position) {
    titles << main_->windowTitle();
    full << (position == main_->Task()->maximum() ? 1 : 0);
  });
  DropAndWait(files);
  EXPECT_EQ(titles, (QStringList{QStringLiteral("1/3 - Quenvale"), QStringLiteral("2/3 - Quenvale"),
                                 QStringLiteral("3/3 - Quenvale"), QStringLiteral("Quenvale")}));
  EXPECT_EQ(full, (QList<int>{0, 0, 1, 0}));
  EXPECT_EQ(main_->windowTitle(), QStringLiteral("Quenvale"));
}

TEST_F(GuiTest, TheErrorBoxNamesTheFailedFileBelowTheMessage) {
  QString bad = Path(QStringLiteral("bad.bmp"));
  QFile file(bad);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("XX definitely not a bitmap");
  file.close();
  QStringList informative;
  int room_for_title = -1;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      informative << box->text() + QStringLiteral("|") + box->informativeText();
      // Beside its title, a title bar holds an icon and buttons: the box is wide enough for all.
      room_for_title = box->width() - box->fontMetrics().horizontalAdvance(box->windowTitle());
      box->accept();
    }
  });
  timer.start(10);
  setup_->OutputModeGroup->SetItemIndex(1);
  setup_->DstDirEdit->setText(Path(QStringLiteral("out")));
  Drop({Sample(QStringLiteral("a.bmp")), bad});
  ASSERT_TRUE(qv::testing::ProcessUntil([&] { return !informative.isEmpty(); }));
  EXPECT_EQ(informative.front(), QStringLiteral("ビットマップイメージが不正です.|") + bad);
  EXPECT_GE(room_for_title, 160);
}

// The bottom line says what the last run did, its tool tip the counts by reason; the result list
// opens by itself after a run with a problem (a file passed over), not after a clean one.
TEST_F(GuiTest, TheBottomLineTellsWhatTheLastRunDid) {
  QString out = Path(QStringLiteral("out"));
  ASSERT_TRUE(QDir().mkpath(out));
  ASSERT_TRUE(QFile::copy(QStringLiteral(QV_SOURCE_DIR "/samples/gradient.bmp"),
                          out + QStringLiteral("/b.bmp")));
  QFile odd(Path(QStringLiteral("odd.xyz")));
  ASSERT_TRUE(odd.open(QIODevice::WriteOnly));
  odd.write("no plug-in reads this");
  odd.close();
  setup_->OutputModeGroup->SetItemIndex(1);
  setup_->DstDirEdit->setText(out);
  qv::testing::TMessageBoxCatcher boxes;
  DropAndWait({Sample(QStringLiteral("a.bmp")), Sample(QStringLiteral("b.bmp")),
               Path(QStringLiteral("odd.xyz"))});
  EXPECT_TRUE(boxes.texts.isEmpty()) << "no box per file";
  EXPECT_TRUE(main_->Note()->isVisible());
  EXPECT_EQ(main_->Note()->text(), QStringLiteral("変換 1、スキップ 2"));
  EXPECT_TRUE(main_->Note()->toolTip().contains(
      QStringLiteral("出力が存在するためスキップ: 1\n読み込めない形式のためスキップ: 1")))
      << main_->Note()->toolTip().toStdString();
  EXPECT_EQ(main_->Mes()->text(), QStringLiteral("Drop Files Here."));
  EXPECT_TRUE(main_->ResultList()->isVisible());

  // A clean run says so, and leaves the list as it was.
  main_->ResultList()->close();
  DropAndWait({Sample(QStringLiteral("c.bmp"))});
  EXPECT_EQ(main_->Note()->text(), QStringLiteral("変換 1"));
  EXPECT_FALSE(main_->ResultList()->isVisible());
  // Unless the settings ask for it after every drop.
  setup_->ResultListAlwaysBox->setChecked(true);
  DropAndWait({Sample(QStringLiteral("d.bmp"))});
  EXPECT_TRUE(main_->ResultList()->isVisible());
  // A click on the line opens it.
  main_->ResultList()->close();
  QTest::mouseClick(main_->Note(), Qt::LeftButton);
  EXPECT_TRUE(main_->ResultList()->isVisible());

  // A line longer than the window's rows is cut where it leaves them, with "...".
  const QString counts =
      QStringLiteral("12 converted, 3 with warnings, 4 passed over, 2 failed, 7 not reached");
  main_->ShowNote(counts, counts);
  const QString shown = main_->Note()->text();
  ASSERT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
  EXPECT_TRUE(counts.startsWith(shown.chopped(1))) << shown.toStdString();
  EXPECT_GT(shown.size(), 12);
  EXPECT_LE(main_->Note()->heightForWidth(main_->Note()->width()), main_->Note()->height());
}

// A file of n bytes of a sample, cut short.
QString Truncated(const QString& sample, const QString& path, qint64 bytes) {
  QFile in(sample);
  EXPECT_TRUE(in.open(QIODevice::ReadOnly));
  QFile out(path);
  EXPECT_TRUE(out.open(QIODevice::WriteOnly));
  out.write(in.read(bytes));
  return path;
}

// One row per name with every outcome a file can have, the output and the time it took; rows copy
// as text; the list opens by itself after the error box of a failure. With KeepGoing a failure is
// listed and the drop goes on; Clear empties the list.
TEST_F(GuiTest, TheResultListTellsEveryOutcomeAndCopiesItsRows) {
  QString out = Path(QStringLiteral("out"));
  ASSERT_TRUE(QDir().mkpath(out));
  ASSERT_TRUE(QFile::copy(QStringLiteral(QV_SOURCE_DIR "/samples/gradient.bmp"),
                          out + QStringLiteral("/exists.bmp")));
  QFile odd(Path(QStringLiteral("odd.xyz")));
  ASSERT_TRUE(odd.open(QIODevice::WriteOnly));
  odd.write("no plug-in reads this");
  odd.close();
  QFile bad(Path(QStringLiteral("bad.bmp")));
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write("XX definitely not a bitmap");
  bad.close();
  const QString torn = Truncated(QStringLiteral(QV_SOURCE_DIR "/samples/photo.jpg"),
                                 Path(QStringLiteral("torn.jpg")), 1000);
  setup_->OutputModeGroup->SetItemIndex(1);
  setup_->DstDirEdit->setText(out);
  const QStringList files = {Sample(QStringLiteral("a.bmp")), Sample(QStringLiteral("exists.bmp")),
                             Path(QStringLiteral("odd.xyz")), torn,
                             Path(QStringLiteral("bad.bmp")), Sample(QStringLiteral("after.bmp"))};
  QStringList list_shown_at_box;
  TResultListForm* list = main_->ResultList();
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      list_shown_at_box << (list->isVisible() ? QStringLiteral("shown") : QStringLiteral("hidden"));
      box->accept();
    }
  });
  poll.start(10);
  DropAndWait(files);
  EXPECT_EQ(list_shown_at_box, QStringList{QStringLiteral("hidden")}) << "one error box, first";
  EXPECT_TRUE(list->isVisible());
  ASSERT_EQ(list->RowCount(), 6);
  const std::vector<TRowState> states = {TRowState::kConverted,  TRowState::kPassedOver,
                                         TRowState::kPassedOver, TRowState::kWarned,
                                         TRowState::kFailed,     TRowState::kNotReached};
  for (int row = 0; row < 6; ++row) {
    EXPECT_EQ(list->State(row), states[static_cast<std::size_t>(row)]) << row;
    QTreeWidgetItem* item = list->List()->topLevelItem(row);
    EXPECT_EQ(item->text(TResultListForm::kFileColumn), files[row]);
    // Every name handled took its time; the one not reached none.
    EXPECT_EQ(item->text(TResultListForm::kTimeColumn).endsWith(QStringLiteral(" 秒")), row < 5)
        << item->text(TResultListForm::kTimeColumn).toStdString();
  }
  auto result = [&](int row) {
    return list->List()->topLevelItem(row)->text(TResultListForm::kResultColumn);
  };
  EXPECT_EQ(result(0), QStringLiteral("変換済み"));
  EXPECT_EQ(result(1), QStringLiteral("スキップ: 出力が存在する"));
  EXPECT_EQ(result(2), QStringLiteral("スキップ: 読み込めない形式"));
  EXPECT_TRUE(result(3).contains(QStringLiteral("Premature end of JPEG file")))
      << result(3).toStdString();
  EXPECT_EQ(result(4), QStringLiteral("失敗: ビットマップイメージが不正です."));
  EXPECT_EQ(result(5), QStringLiteral("未処理"));
  EXPECT_EQ(list->List()->topLevelItem(0)->text(TResultListForm::kOutputColumn),
            out + QStringLiteral("/a.bmp"));
  EXPECT_EQ(list->List()->topLevelItem(3)->text(TResultListForm::kOutputColumn),
            out + QStringLiteral("/torn.bmp"));
  EXPECT_EQ(list->OutputFolder(), out);
  EXPECT_EQ(main_->Note()->text(),
            QStringLiteral("変換 2、警告あり 1、スキップ 2、失敗 1、未処理 1"));

  // Copied as text: every row, or the rows selected, in the list's order, by the button or Ctrl+C.
  QStringList lines = list->RowsText().split(u'\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 6);
  EXPECT_EQ(lines[0].split(u'\t').mid(0, 3),
            (QStringList{files[0], QStringLiteral("変換済み"), out + QStringLiteral("/a.bmp")}));
  EXPECT_EQ(lines[5], files[5] + QStringLiteral("\t未処理\t\t"));
  list->List()->topLevelItem(4)->setSelected(true);
  list->List()->topLevelItem(1)->setSelected(true);
  QTest::keyClick(list->List(), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), lines[1] + u'\n' + lines[4] + u'\n');
  list->List()->clearSelection();
  list->findChild<QPushButton*>(QStringLiteral("CopyButton"))->click();
  EXPECT_EQ(QApplication::clipboard()->text(), list->RowsText());

  // Keep going: the failure is listed and the drop goes on, without a box.
  setup_->KeepGoingBox->setChecked(true);
  list->close();
  list_shown_at_box.clear();
  DropAndWait({Path(QStringLiteral("bad.bmp")), Sample(QStringLiteral("later.bmp"))});
  EXPECT_TRUE(list_shown_at_box.isEmpty());
  EXPECT_TRUE(list->isVisible());
  ASSERT_EQ(list->RowCount(), 8);
  EXPECT_EQ(list->State(6), TRowState::kFailed);
  EXPECT_EQ(list->State(7), TRowState::kConverted);
  EXPECT_TRUE(QFile::exists(out + QStringLiteral("/later.bmp")));
  EXPECT_EQ(main_->Note()->text(), QStringLiteral("変換 1、失敗 1"));
  list->findChild<QPushButton*>(QStringLiteral("ClearButton"))->click();
  EXPECT_EQ(list->RowCount(), 0);
}

// Stop after this file, from the menu (shown only while a drop runs) or from the list: the drop
// ends before its next file, its PDF holds the pages made so far, the rest is not reached.
TEST_F(GuiTest, StopAfterThisFileWritesThePagesMadeSoFar) {
  QStringList files;
  for (const char* name : {"a.bmp", "b.bmp", "c.bmp", "d.bmp", "e.bmp"})
    files << Sample(QString::fromLatin1(name));
  Action("SetPDF")->trigger();
  TSaveDialogAnswer answers(
      QStringList{Path(QStringLiteral("menu.pdf")), Path(QStringLiteral("list.pdf"))});
  EXPECT_FALSE(Action("AppStop")->isVisible());
  TResultListForm* list = main_->ResultList();
  EXPECT_FALSE(list->StopButton()->isEnabled());
  bool shown_while_running = false;
  int run = 0;
  QObject::connect(main_->Task(), &QProgressBar::valueChanged, [&](int position) {
    if (run == 0 && position == 2) {
      shown_while_running = Action("AppStop")->isVisible();
      Action("AppStop")->trigger();
    }
    if (run == 1 && position == 3) {
      EXPECT_TRUE(list->StopButton()->isEnabled());
      list->StopButton()->click();
    }
  });
  qv::testing::TMessageBoxCatcher boxes;
  DropAndWait(files);
  EXPECT_TRUE(shown_while_running);
  EXPECT_FALSE(Action("AppStop")->isVisible());
  EXPECT_EQ(PdfPages(Path(QStringLiteral("menu.pdf"))), 1);
  EXPECT_EQ(main_->Note()->text(), QStringLiteral("変換 1、未処理 4"));
  ASSERT_EQ(list->RowCount(), 5);
  EXPECT_EQ(list->State(1), TRowState::kNotReached);
  EXPECT_EQ(list->List()->topLevelItem(0)->text(TResultListForm::kOutputColumn),
            Path(QStringLiteral("menu.pdf")));
  run = 1;
  DropAndWait(files);
  EXPECT_EQ(PdfPages(Path(QStringLiteral("list.pdf"))), 2);
  EXPECT_FALSE(list->StopButton()->isEnabled());
  EXPECT_TRUE(boxes.texts.isEmpty()) << boxes.texts.join(u'|').toStdString();
}

// A drop that would replace its originals by their own conversions asks once; "Skip these"
// keeps them as they were; "Do not ask again" keeps the answer, stored at once, and the next
// drop asks nothing.
TEST_F(GuiTest, TheReplaceQuestionAsksOnceAndCanKeepItsAnswer) {
  std::string ini = Path(QStringLiteral("quenvale.ini")).toStdString();
  setup_->AutoIni1().Component().SetIniPathOverride(ini);
  setup_->AutoIni1().SetSection("tester");
  const QStringList files = {Sample(QStringLiteral("a.bmp")), Sample(QStringLiteral("b.bmp"))};
  const QSize original = QImage(files[0]).size();
  setup_->OverWriteGroup->SetItemIndex(1);  // beside the inputs, same format: BMP
  setup_->TargetResGroup->SetItemIndex(2);  // 96x96: a replaced file is another picture
  QStringList questions;
  bool replace = false, never_again = false;
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || box->objectName() != QStringLiteral("ReplaceQuestion")) return;
    questions << box->text();
    box->checkBox()->setChecked(never_again);
    for (QAbstractButton* button : box->buttons())
      if ((box->buttonRole(button) == QMessageBox::DestructiveRole) == replace) button->click();
  });
  answer.start(10);
  DropAndWait(files);
  ASSERT_EQ(questions.size(), 1);
  EXPECT_TRUE(questions[0].contains(u'2')) << questions[0].toStdString();
  EXPECT_EQ(QImage(files[0]).size(), original);
  EXPECT_EQ(QImage(files[1]).size(), original);
  EXPECT_EQ(main_->ResultList()->State(0), TRowState::kPassedOver);

  replace = never_again = true;
  DropAndWait({files[0]});
  EXPECT_EQ(questions.size(), 2);
  EXPECT_EQ(QImage(files[0]).size(), QSize(96, 96));
  EXPECT_EQ(setup_->Choice(TSetting::kReplaceOriginals), 1);
  qv::TSettingsRecord record;
  record.LoadFromIni(ini, "tester");
  EXPECT_EQ(record.Choice(TSetting::kReplaceOriginals), 1);
  DropAndWait({files[1]});
  EXPECT_EQ(questions.size(), 2) << "not asked again";
  EXPECT_EQ(QImage(files[1]).size(), QSize(96, 96));
}

// The latest choice wins: a custom size takes the mark off the menu's sizes, and a size picked
// in the menu turns the custom size off.
TEST_F(GuiTest, ASizePickedInTheMenuTurnsTheCustomSizeOff) {
  setup_->CustomWidthEdit->setText(QStringLiteral("144"));
  setup_->CustomHeightEdit->setText(QStringLiteral("108"));
  setup_->CustomSizeBox->setChecked(true);
  for (QAction* size : main_->PopupMenu1()->actions()[2]->menu()->actions())
    EXPECT_FALSE(size->isChecked()) << size->text().toStdString();
  Action("Set640x480")->trigger();
  EXPECT_FALSE(setup_->Checked(TSetting::kCustomSize));
  EXPECT_TRUE(Action("Set640x480")->isChecked());
  setup_->OutputModeGroup->SetItemIndex(1);
  setup_->DstDirEdit->setText(Path(QStringLiteral("out")));
  DropAndWait({Sample(QStringLiteral("a.bmp"))});
  EXPECT_EQ(QImage(Path(QStringLiteral("out/a.bmp"))).size(), QSize(640, 480));
}

// A first-time user is told how to reach the menu (a tool tip, and the bottom line before the
// first drop); Shift+F10 and the Menu key open it inside the window; a double click opens the
// settings.
TEST_F(GuiTest, TheMenuAndTheSettingsAreEasyToFind) {
  EXPECT_EQ(main_->Note()->text(), QStringLiteral("右クリックでメニュー"));
  EXPECT_TRUE(main_->Note()->isVisible());
  EXPECT_TRUE(main_->toolTip().contains(QStringLiteral("Shift+F10")))
      << main_->toolTip().toStdString();
  QMenu* menu = main_->PopupMenu1();
  QList<QRect> shown;
  auto close_when_shown = [&] {
    QTimer::singleShot(50, [&] {
      if (menu->isVisible()) shown << menu->geometry();
      menu->close();
    });
  };
  close_when_shown();
  QTest::keyClick(main_.get(), Qt::Key_F10, Qt::ShiftModifier);
  close_when_shown();
  QContextMenuEvent key_menu(QContextMenuEvent::Keyboard, QPoint(500, 500),
                             main_->mapToGlobal(QPoint(500, 500)));
  QApplication::sendEvent(main_.get(), &key_menu);
  ASSERT_EQ(shown.size(), 2);
  for (const QRect& geometry : shown)
    EXPECT_TRUE(main_->frameGeometry().contains(geometry.topLeft())) << "inside the window";
  EXPECT_FALSE(setup_->isVisible());
  QTest::mouseDClick(main_.get(), Qt::LeftButton, Qt::NoModifier, QPoint(50, 30));
  EXPECT_TRUE(setup_->isVisible());
}

TEST_F(GuiTest, TheFolderPickerStartsInTheDesktopsPicturesFolder) {
  QString home = Path(QStringLiteral("home"));
  ASSERT_TRUE(QDir().mkpath(home + QStringLiteral("/.config")));
  ASSERT_TRUE(QDir().mkpath(home + QStringLiteral("/Bilder")));
  ASSERT_TRUE(QDir().mkpath(home + QStringLiteral("/Dokumente/My Pictures")));
  QFile dirs(home + QStringLiteral("/.config/user-dirs.dirs"));
  ASSERT_TRUE(dirs.open(QIODevice::WriteOnly));
  dirs.write("XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\nXDG_PICTURES_DIR=\"$HOME/Bilder\"\n");
  dirs.close();
  QByteArray old_home = qgetenv("HOME"), old_config = qgetenv("XDG_CONFIG_HOME");
  qputenv("HOME", home.toLocal8Bit());
  qputenv("XDG_CONFIG_HOME", (home + QStringLiteral("/.config")).toLocal8Bit());
  QTimer cancel;
  QObject::connect(&cancel, &QTimer::timeout, [] {
    if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) dialog->reject();
  });
  cancel.start(10);
  setup_->DstDirButtonClick(setup_->DstDirEdit);
  QString first = setup_->BrowseFolder.SelectFolderName;
  // Without a pictures folder the picker starts in the documents folder.
  ASSERT_TRUE(QDir(home + QStringLiteral("/Bilder")).removeRecursively());
  setup_->DstDirButtonClick(setup_->DstDirEdit);
  QString second = setup_->BrowseFolder.SelectFolderName;
  qputenv("HOME", old_home);
  qputenv("XDG_CONFIG_HOME", old_config);
  EXPECT_EQ(first, home + QStringLiteral("/Bilder"));
  EXPECT_EQ(second, home + QStringLiteral("/Dokumente"));
}

// As an ordinary user (a root test run drops to "nobody" in a child process): the start-up
// idle class can be left for normal, and the menu's mark follows the class actually in force,
// staying put when the system refuses a change.
TEST(Priority, AnOrdinaryUserCanLeaveIdleAndTheMarkShowsTheClassInForce) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        // The notes' texts, read while the catalogue can still be read (the build folder may be
        // closed to the user the test becomes).
        qv::testing::App();
        const QString high_refused = TrQ("High priority refused");
        const QString realtime_refused = TrQ("Realtime priority refused");
        if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) std::_Exit(10);
        if (::setpriority(PRIO_PROCESS, 0, 0) != 0) std::_Exit(11);  // not started niced
        TDropFileForm form;
        auto mark = [&](const char* name) {
          return form.Action(QString::fromLatin1(name))->isChecked();
        };
        form.SetIdlePriorityExecute();
        if (!mark("SetIdlePriority")) std::_Exit(12);
        if (::sched_getscheduler(0) == SCHED_OTHER) std::_Exit(13);  // idle yields
        form.Action(QStringLiteral("SetNormalPriority"))->trigger();
        if (::sched_getscheduler(0) != SCHED_OTHER || ::getpriority(PRIO_PROCESS, 0) != 0)
          std::_Exit(14);
        if (!mark("SetNormalPriority")) std::_Exit(15);
        // High and real-time need privileges: refused, the mark stays on normal, and the bottom
        // line says so.
        form.Action(QStringLiteral("SetHighPriority"))->trigger();
        if (!mark("SetNormalPriority") || ::getpriority(PRIO_PROCESS, 0) != 0) std::_Exit(16);
        if (form.Note()->text() != high_refused) std::_Exit(20);
        form.Action(QStringLiteral("SetRealtimePriority"))->trigger();
        if (!mark("SetNormalPriority") || ::sched_getscheduler(0) != SCHED_OTHER) std::_Exit(17);
        if (form.Note()->text() != realtime_refused) std::_Exit(21);
        // And back to idle and to normal again.
        form.Action(QStringLiteral("SetIdlePriority"))->trigger();
        if (!mark("SetIdlePriority") || CurrentPriorityClass() != kIdlePriorityClass)
          std::_Exit(18);
        form.Action(QStringLiteral("SetNormalPriority"))->trigger();
        if (!mark("SetNormalPriority") || ::sched_getscheduler(0) != SCHED_OTHER) std::_Exit(19);
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(0), "");
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
  EXPECT_EQ(form.AboutText(),
            QStringLiteral("Quenvale - ファイルをドロップするだけで変換します。\n\nunidentified"));
  // A block with a translation but without the key gives "None".
  std::vector<char> block;
  for (char ch : std::string_view("\\VarFileInfo\\Translation=0x04B00411\0", 37))
    block.push_back(ch);
  EXPECT_EQ(QueryVersionValue(block, "\\VarFileInfo\\Translation"), "0x04B00411");
  EXPECT_EQ(QueryVersionValue(block, "\\StringFileInfo\\041104B0\\FileVersion"), std::nullopt);
}

// A sample of the texts both windows show, read from freshly built windows.
struct ShownTexts {
  QString label, first_entry, mode_menu, exit, dialog_title, image_tab, save_tab, cancel,
      output_group, first_size, size_640, sepia, photo_tab, auto_orient, unit, note, note_details;
};

ShownTexts TextsOfNewWindows() {
  TDropFileForm main;
  TSetupForm setup(&main);
  main.SetSetupForm(&setup);
  QList<QAction*> entries = main.PopupMenu1()->actions();
  TBatchSummary summary;
  TFileResult passed;
  passed.status = TFileStatus::kPassedOver;
  passed.reason = TPassReason::kOutputExists;
  summary.Add(passed);
  return {main.findChild<QLabel*>(QStringLiteral("Mes"))->text(),
          entries.front()->text(),
          entries[3]->text(),
          entries.back()->text(),
          setup.windowTitle(),
          setup.PageControl1->tabText(0),
          setup.PageControl1->tabText(1),
          setup.CancelButton->text(),
          setup.OutputModeGroup->title(),
          setup.TargetResGroup->Button(0)->text(),
          setup.TargetResGroup->Button(3)->text(),
          setup.SepiaModeBox->text(),
          setup.PageControl1->tabText(2),
          setup.AutoOrientBox->text(),
          setup.TabSheet3->findChildren<QLabel*>().back()->text(),
          QString::fromStdString(summary.Brief()),
          DropDetails(summary)};
}

// Every caption of the settings dialog fits its control, whose place and size are fixed: radio
// buttons, check boxes and push buttons their width, group titles their frame, labels the room
// left of their spin edit, and the main window's caption its label.
void ExpectCaptionsFit() {
  TDropFileForm main;
  TSetupForm setup(&main);
  main.SetSetupForm(&setup);
  main.show();
  setup.show();
  // Each page shown once, which lays its radio buttons out in their frames.
  for (int page = 0; page < setup.PageControl1->count(); ++page) {
    setup.PageControl1->setCurrentIndex(page);
    QApplication::processEvents();
    for (QAbstractButton* button :
         setup.PageControl1->widget(page)->findChildren<QAbstractButton*>()) {
      if (!qobject_cast<QRadioButton*>(button) && !qobject_cast<QCheckBox*>(button)) continue;
      EXPECT_LE(button->sizeHint().width(), button->width()) << button->text().toStdString();
    }
  }
  for (QPushButton* button : {setup.GoButton, setup.CancelButton}) {
    EXPECT_LE(button->fontMetrics().horizontalAdvance(button->text()) + 8, button->width())
        << button->text().toStdString();
  }
  for (QGroupBox* group : setup.findChildren<QGroupBox*>())
    EXPECT_LE(group->fontMetrics().horizontalAdvance(group->title()) + 16, group->width())
        << group->title().toStdString();
  EXPECT_LT(setup.Label1->geometry().right(), setup.JPEGQLEdit->geometry().left());
  EXPECT_LT(setup.Label2->geometry().right(), setup.PNGCLEdit->geometry().left());
  QLabel* label = main.findChild<QLabel*>(QStringLiteral("Mes"));
  EXPECT_LE(label->heightForWidth(label->width()), label->height());
}

TEST(GuiLanguage, TextsAreJapaneseUnderAJapaneseLocaleAndEnglishOtherwise) {
  qv::testing::App();
  {
    qv::testing::TEnglishTexts english;
    ShownTexts texts = TextsOfNewWindows();
    EXPECT_EQ(texts.label, QStringLiteral("Drop Files Here."));
    EXPECT_EQ(texts.first_entry, QStringLiteral("&Options..."));
    EXPECT_EQ(texts.mode_menu, QStringLiteral("&Mode"));
    EXPECT_EQ(texts.exit, QStringLiteral("E&xit"));
    EXPECT_EQ(texts.dialog_title, QStringLiteral("Settings"));
    EXPECT_EQ(texts.image_tab, QStringLiteral("Image"));
    EXPECT_EQ(texts.save_tab, QStringLiteral("Saving"));
    EXPECT_EQ(texts.cancel, QStringLiteral("Cancel"));
    EXPECT_EQ(texts.output_group, QStringLiteral("&Destination"));
    EXPECT_EQ(texts.first_size, QStringLiteral("No resizing"));
    EXPECT_EQ(texts.size_640, QStringLiteral("640x480"));
    EXPECT_EQ(texts.sepia, QStringLiteral("Save in sepia tones"));
    EXPECT_EQ(texts.photo_tab, QStringLiteral("Photos"));
    EXPECT_EQ(texts.auto_orient, QStringLiteral("Turn photos &upright by their EXIF orientation"));
    EXPECT_EQ(texts.unit, QStringLiteral("pixels (1 to 65535)"));
    EXPECT_EQ(texts.note, QStringLiteral("1 passed over"));
    EXPECT_EQ(texts.note_details, QStringLiteral("1 passed over: output exists"));
    ExpectCaptionsFit();
  }
  ShownTexts texts = TextsOfNewWindows();
  EXPECT_EQ(texts.label, QStringLiteral("Drop Files Here."));
  EXPECT_EQ(texts.first_entry, QStringLiteral("環境設定(&O)..."));
  EXPECT_EQ(texts.mode_menu, QStringLiteral("動作モード(&M)"));
  EXPECT_EQ(texts.exit, QStringLiteral("終了(&X)"));
  EXPECT_EQ(texts.dialog_title, QStringLiteral("設定"));
  EXPECT_EQ(texts.image_tab, QStringLiteral("画像設定"));
  EXPECT_EQ(texts.save_tab, QStringLiteral("保存設定"));
  EXPECT_EQ(texts.cancel, QStringLiteral("キャンセル"));
  EXPECT_EQ(texts.output_group, QStringLiteral("画像の保存先(&D)"));
  EXPECT_EQ(texts.first_size, QStringLiteral("サイズ変更なし"));
  EXPECT_EQ(texts.size_640, QStringLiteral("640ｘ480"));
  EXPECT_EQ(texts.sepia, QStringLiteral("セピア調の色合いにして保存する"));
  EXPECT_EQ(texts.photo_tab, QStringLiteral("写真"));
  EXPECT_EQ(texts.auto_orient, QStringLiteral("写真を EXIF の向きに従って正立させる(&U)"));
  EXPECT_EQ(texts.unit, QStringLiteral("ピクセル (1 から 65535)"));
  EXPECT_EQ(texts.note, QStringLiteral("スキップ 1"));
  EXPECT_EQ(texts.note_details, QStringLiteral("出力が存在するためスキップ: 1"));
  ExpectCaptionsFit();
}

TEST(GuiLanguage, TheWindowHasTheProgramIcon) {
  qv::testing::App();
  TDropFileForm main;
  QIcon icon = main.windowIcon();
  ASSERT_FALSE(icon.isNull());
  for (int size : {16, 32, 48, 256}) {
    QImage image = icon.pixmap(size, size).toImage();
    EXPECT_EQ(image.size(), QSize(size, size));
    // A drawn picture, not an empty one: the tile's blue in the middle of the top edge.
    QColor top = image.pixelColor(size / 2, size / 8);
    EXPECT_GT(top.blue(), 150) << size;
    EXPECT_LT(top.red(), 120) << size;
  }
}

// Last: it runs and ends the program's event loop, after which a process does not start
// another (every test runs in a process of its own under ctest).
TEST_F(GuiTest, LeavingWithTheSettingsDialogOpenSavesNothingUnconfirmed) {
  std::string ini = Path(QStringLiteral("quenvale.ini")).toStdString();
  for (TQtAutoIni* auto_ini : {&main_->AutoIni1(), &setup_->AutoIni1()}) {
    auto_ini->Component().SetIniPathOverride(ini);
    auto_ini->SetSection("tester");
  }
  main_->AppSetupExecute();
  setup_->JPEGQLEdit->setText(QStringLiteral("42"));
  setup_->FileFormatGroup->SetItemIndex(2);
  // The program's own loop runs and ends as it does for a user choosing Exit.
  QTimer::singleShot(0, main_.get(), [&] { main_->AppExitExecute(); });
  QApplication::exec();
  QApplication::processEvents();
  QStringList keys = Keys(QString::fromStdString(ini));
  EXPECT_TRUE(keys.contains(QStringLiteral("DropFileFormTop")));
  EXPECT_FALSE(keys.contains(QStringLiteral("JPEGQL"))) << keys.join(u' ').toStdString();
  EXPECT_FALSE(keys.contains(QStringLiteral("FileFormat")));

  // OK still saves.
  TDropFileForm main2;
  TSetupForm setup2(&main2);
  main2.SetSetupForm(&setup2);
  setup2.AutoIni1().Component().SetIniPathOverride(ini);
  setup2.AutoIni1().SetSection("tester");
  main2.AppSetupExecute();
  setup2.JPEGQLEdit->setText(QStringLiteral("42"));
  setup2.GoButton->click();
  EXPECT_TRUE(Keys(QString::fromStdString(ini)).contains(QStringLiteral("JPEGQL")));
}

// "quenvale --help" and "--version" print and end at once instead of opening the window (which
// would keep the program running): the answer comes before the application starts, so it needs
// no display either.
TEST(GuiProgram, HelpAndVersionPrintAndExitWithoutAWindow) {
  const std::string program = QV_BINARY_DIR "/bin/quenvale";
  qv::testing::ProgramResult help =
      qv::testing::TChildProcess(program, {"--help"}, {{"QT_QPA_PLATFORM=offscreen"}}).Wait(60);
  EXPECT_FALSE(help.timed_out) << "the window opened";
  EXPECT_EQ(help.status, 0) << help.err;
  EXPECT_NE(help.out.find("quenvale [OPTIONS] [FILE...]"), std::string::npos) << help.out;
  EXPECT_NE(help.out.find("--version"), std::string::npos) << help.out;

  qv::testing::TEnglishTexts english;
  qv::testing::ProgramResult version =
      qv::testing::TChildProcess(program, {"--version"},
                                 {{"QT_QPA_PLATFORM=", "DISPLAY=", "WAYLAND_DISPLAY="}})
          .Wait(60);
  EXPECT_EQ(version.status, 0) << version.err;
  EXPECT_EQ(version.out.substr(0, version.out.find('\n')), "quenvale 1.0.0");
  EXPECT_NE(version.out.find("Copyright (C) 2026 The Quenvale developers\nLicence: MIT"),
            std::string::npos)
      << version.out;
}

}  // namespace
}  // namespace qv::gui
