// TSetupForm: the settings dialog, whose controls are the settings the conversion job reads.
#include "gui/setup_form.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <exception>

#include "gui/drop_file_form.h"
#include "gui/platform_utils.h"
#include "gui/qt_auto_ini.h"
#include "gui/qt_control.h"
#include "gui/ui_font.h"
#include "runtime/platform.h"
#include "settings/photo_settings.h"
#include "widgets/ellipses_edit.h"
#include "widgets/error_box.h"
#include "widgets/radio_group.h"
#include "widgets/spin_edit.h"
#include "widgets/translated_text.h"

namespace qv::gui {

namespace {

template <typename T>
T* Named(T* widget, const char* name, int x, int y, int width, int height) {
  widget->setObjectName(QString::fromLatin1(name));
  widget->setGeometry(x, y, width, height);
  return widget;
}

}  // namespace

TSetupForm::TSetupForm(TDropFileForm* main_form)
    : QDialog(nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint),
      main_form_(main_form) {
  setObjectName(QStringLiteral("SetupForm"));
  setWindowTitle(TrQ("Settings"));
  setFont(JapaneseUiFont());
  setFixedSize(472, 293);
  setModal(false);

  PageControl1 = Named(new QTabWidget(this), "PageControl1", 0, 0, 472, 257);
  TabSheet1 = new QWidget;
  TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
  TabSheet2 = new QWidget;
  TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
  PageControl1->addTab(TabSheet1, TrQ("Image"));
  PageControl1->addTab(TabSheet2, TrQ("Saving"));
  TabSheet3 = new QWidget;
  TabSheet3->setObjectName(QStringLiteral("TabSheet3"));
  PageControl1->addTab(TabSheet3, TrQ("Photos"));
  BuildImagePage();
  BuildSavePage();
  BuildPhotoPage();

  GoButton = Named(new QPushButton(TrQ("OK"), this), "GoButton", 304, 268, 75, 20);
  GoButton->setDefault(true);
  GoButton->setAutoDefault(false);
  CancelButton = Named(new QPushButton(TrQ("Cancel"), this), "CancelButton", 389, 268, 75, 20);
  CancelButton->setAutoDefault(false);
  connect(GoButton, &QPushButton::clicked, this, [this] {
    try {
      GoButtonClick();
    } catch (...) {
      widgets::ShowException(std::current_exception(), this);
    }
  });
  connect(CancelButton, &QPushButton::clicked, this, [this] { CancelButtonClick(); });

  setTabOrder(GoButton, CancelButton);
  setTabOrder(CancelButton, PageControl1);
  setTabOrder(PageControl1, TargetResGroup);
  setTabOrder(TargetResGroup, FileFormatGroup);
  setTabOrder(FileFormatGroup, SepiaModeBox);
  setTabOrder(SepiaModeBox, DstDirEdit);
  setTabOrder(DstDirEdit, OutputModeGroup);
  setTabOrder(OutputModeGroup, OverWriteGroup);
  setTabOrder(OverWriteGroup, ResampleModeGroup);
  setTabOrder(ResampleModeGroup, PNGCLEdit);
  setTabOrder(PNGCLEdit, JPEGQLEdit);
  setTabOrder(JPEGQLEdit, AutoOrientBox);
  setTabOrder(AutoOrientBox, KeepMetadataBox);
  setTabOrder(KeepMetadataBox, KeepAspectBox);
  setTabOrder(KeepAspectBox, CustomSizeBox);
  setTabOrder(CustomSizeBox, CustomWidthEdit);
  setTabOrder(CustomWidthEdit, CustomHeightEdit);
  PageControl1->setCurrentIndex(0);

  BrowseFolder.Caption = TrQ("Choose a folder");
  BrowseFolder.SelectFolder = widgets::TSelectFolder::sfManual;
  BrowseFolder.RootFolder = widgets::TRootFolder::rfDesktop;
  BrowseFolder.Options = widgets::sboReturnOnlyFSDirs;

  auto_ini_ = std::make_unique<TQtAutoIni>(this);
  auto_ini_->SetCheckWinState(true);
}

TSetupForm::~TSetupForm() = default;

void TSetupForm::BuildImagePage() {
  TargetResGroup = Named(
      new widgets::TRadioGroup(
          TrQ("Output &size"),
          {TrQ("No resizing"), TrQ("Fit to the desktop size"), TrQ("96x96 (MSN messenger ICON)"),
           QString::fromUtf8(TrCtx("settings dialog", "640x480")), QStringLiteral("800x600"),
           QStringLiteral("1024x768"), QStringLiteral("1152x864"), QStringLiteral("1280x960"),
           QStringLiteral("1280x1024"), QStringLiteral("1600x1200")},
          TabSheet1),
      "TargetRes", 8, 8, 217, 209);
  FileFormatGroup =
      Named(new widgets::TRadioGroup(TrQ("Output &format"),
                                     {TrQ("Bitmap (Windows BMP)"), TrQ("JPEG (small, some loss)"),
                                      TrQ("PNG (small, lossless)"), TrQ("PDF (an Adobe PDF file)")},
                                     TabSheet1),
            "FileFormat", 231, 8, 217, 97);
  TargetResGroup->SetItemIndex(0);
  FileFormatGroup->SetItemIndex(0);
  TargetResGroup->OnClick = [this](widgets::TRadioGroup*) { RadioGroupClick(); };
  FileFormatGroup->OnClick = [this](widgets::TRadioGroup*) { RadioGroupClick(); };
  SepiaModeBox =
      Named(new QCheckBox(TrQ("Save in sepia tones"), TabSheet1), "SepiaMode", 240, 112, 193, 17);
  Reduce256ColorModeBox = Named(new QCheckBox(TrQ("Reduce to 256 colours"), TabSheet1),
                                "Reduce256ColorMode", 240, 136, 193, 17);
  // Never shown: its value comes only from the INI file.
  Reduce256ColorModeBox->setVisible(false);
}

void TSetupForm::BuildSavePage() {
  // Created in this order, which is the order the settings walk (and the INI file) sees them.
  DstDirEdit = Named(new widgets::TEllipsesEdit(TabSheet2), "DstDir", 8, 72, 449, 20);
  DstDirEdit->SetEditStyle(widgets::TEditStyle::esAlwaysEllipses);
  DstDirEdit->SetDeactiveColor(Qt::white);
  DstDirEdit->OnButtonClick = [this](widgets::TEllipsesEdit* sender) { DstDirButtonClick(sender); };
  OutputModeGroup =
      Named(new widgets::TRadioGroup(
                TrQ("&Destination"),
                {TrQ("Beside the input file"), TrQ("Into the folder given below")}, TabSheet2),
            "OutputMode", 8, 8, 217, 57);
  OverWriteGroup =
      Named(new widgets::TRadioGroup(TrQ("If the output exi&sts"),
                                     {TrQ("Pass it over"), TrQ("Overwrite it")}, TabSheet2),
            "OverWrite", 240, 8, 217, 57);
  OutputModeGroup->SetItemIndex(0);
  OverWriteGroup->SetItemIndex(0);
  ResampleModeGroup =
      Named(new widgets::TRadioGroup(TrQ("Resa&mpling method"),
                                     {QStringLiteral("Bi-Linear"), QStringLiteral("Bi-Linear(MMX)"),
                                      QStringLiteral("Mitchell"), QStringLiteral("Lanczos3"),
                                      QStringLiteral("B-Spline"), QStringLiteral("Bell")},
                                     TabSheet2),
            "ResampleMode", 8, 96, 217, 129);
  ResampleModeGroup->SetItemIndex(0);
  PNGCLEdit = Named(new widgets::TSpEdit(TabSheet2), "PNGCL", 360, 124, 41, 21);
  PNGCLEdit->SetMinValue(0);
  PNGCLEdit->SetMaxValue(9);
  PNGCLEdit->setMaxLength(1);
  PNGCLEdit->setText(QStringLiteral("9"));
  JPEGQLEdit = Named(new widgets::TSpEdit(TabSheet2), "JPEGQL", 352, 100, 49, 21);
  JPEGQLEdit->SetMinValue(1);
  JPEGQLEdit->SetMaxValue(100);
  JPEGQLEdit->setMaxLength(3);
  JPEGQLEdit->setText(QStringLiteral("85"));
  Label1 = new QLabel(TrQ("JPEG Quality Level"), TabSheet2);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->move(240, 104);
  Label1->adjustSize();
  Label2 = new QLabel(TrQ("PNG Compress Level"), TabSheet2);
  Label2->setObjectName(QStringLiteral("Label2"));
  Label2->move(240, 128);
  Label2->adjustSize();
}

void TSetupForm::BuildPhotoPage() {
  // Created in the order the settings walk sees them (the settings model's order).
  AutoOrientBox =
      Named(new QCheckBox(TrQ("Turn JPEG photos &upright by their EXIF orientation"), TabSheet3),
            "AutoOrient", 8, 10, 449, 17);
  KeepMetadataBox = Named(
      new QCheckBox(TrQ("Keep &EXIF data and colour profile (JPEG to JPEG or PNG)"), TabSheet3),
      "KeepMetadata", 8, 34, 449, 17);
  KeepAspectBox =
      Named(new QCheckBox(TrQ("&Keep the aspect ratio: fit inside the target size, never enlarge"),
                          TabSheet3),
            "KeepAspect", 8, 58, 449, 17);
  CustomSizeBox =
      Named(new QCheckBox(TrQ("&Custom target size instead of the listed sizes:"), TabSheet3),
            "CustomSize", 8, 90, 449, 17);
  CustomWidthEdit = Named(new widgets::TSpEdit(TabSheet3), "CustomWidth", 28, 114, 65, 21);
  CustomHeightEdit = Named(new widgets::TSpEdit(TabSheet3), "CustomHeight", 116, 114, 65, 21);
  for (widgets::TSpEdit* field : {CustomWidthEdit, CustomHeightEdit}) {
    field->SetMinValue(kCustomSizeMin);
    field->SetMaxValue(kCustomSizeMax);
    field->setMaxLength(5);
  }
  CustomWidthEdit->setText(QStringLiteral("1024"));
  CustomHeightEdit->setText(QStringLiteral("768"));
  auto* by = new QLabel(QStringLiteral("x"), TabSheet3);
  by->move(101, 117);
  by->adjustSize();
  auto* unit = new QLabel(TrQ("pixels (1 to 65535)"), TabSheet3);
  unit->move(189, 117);
  unit->adjustSize();
  // The fields serve only the custom size.
  auto follow = [this](bool on) {
    CustomWidthEdit->setEnabled(on);
    CustomHeightEdit->setEnabled(on);
  };
  connect(CustomSizeBox, &QCheckBox::toggled, this, follow);
  follow(false);
  // Stored only once changed, so a settings file of defaults stays as it was.
  for (const auto& [name, text] : PhotoSettingDefaults()) {
    QWidget* control = TabSheet3->findChild<QWidget*>(QString::fromStdString(name));
    if (control) control->setProperty(kOptionalDefaultProperty, QString::fromStdString(text));
  }
}

int TSetupForm::OutputMode() const { return OutputModeGroup->ItemIndex(); }
std::string TSetupForm::DstDir() const { return widgets::ToLocal(DstDirEdit->text()); }
int TSetupForm::OverWrite() const { return OverWriteGroup->ItemIndex(); }
int TSetupForm::FileFormat() const { return FileFormatGroup->ItemIndex(); }
int TSetupForm::TargetRes() const { return TargetResGroup->ItemIndex(); }
int TSetupForm::ResampleMode() const { return ResampleModeGroup->ItemIndex(); }
bool TSetupForm::SepiaMode() const { return SepiaModeBox->isChecked(); }
bool TSetupForm::Reduce256ColorMode() const { return Reduce256ColorModeBox->isChecked(); }
int TSetupForm::JPEGQL() const { return JPEGQLEdit->Value(); }
int TSetupForm::PNGCL() const { return PNGCLEdit->Value(); }
bool TSetupForm::AutoOrient() const { return AutoOrientBox->isChecked(); }
bool TSetupForm::KeepMetadata() const { return KeepMetadataBox->isChecked(); }
bool TSetupForm::KeepAspect() const { return KeepAspectBox->isChecked(); }
bool TSetupForm::CustomSize() const { return CustomSizeBox->isChecked(); }
int TSetupForm::CustomWidth() const { return CustomWidthEdit->Value(); }
int TSetupForm::CustomHeight() const { return CustomHeightEdit->Value(); }

void TSetupForm::FormCreate() {
  move(0, 0);
  auto_ini_->SetSection(GetWindowsUserName());
  auto_ini_->LoadFromIni();
}

void TSetupForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) auto_ini_->StoreState();
}

void TSetupForm::GoButtonClick() {
  auto_ini_->SaveToIni();
  hide();
}

void TSetupForm::CancelButtonClick() {
  auto_ini_->RestoreState();
  hide();
}

void TSetupForm::reject() { CancelButtonClick(); }

void TSetupForm::closeEvent(QCloseEvent* event) {
  // The program's end closes the dialog too: what the user has not confirmed is not saved.
  if (program_ending_) {
    event->accept();
    return;
  }
  // Closing from the title bar saves like OK; a failed save keeps the dialog open.
  try {
    auto_ini_->SaveToIni();
  } catch (...) {
    event->ignore();
    widgets::ShowException(std::current_exception(), this);
    return;
  }
  event->accept();
}

void TSetupForm::RadioGroupClick() {
  if (main_form_) main_form_->SyncMenuChecks();
}

void TSetupForm::DstDirButtonClick(widgets::TEllipsesEdit* sender) {
  // The pictures folder as the desktop names it (XDG user folders); the documents folder when
  // that does not exist.
  QString documents = GetSpecialFolderPath(this, kCsidlPersonal);
  QString pictures = GetSpecialFolderPath(this, kCsidlMyPictures);
  BrowseFolder.SelectFolderName =
      !pictures.isEmpty() && QDir(pictures).exists() ? pictures : documents;
  if (BrowseFolder.Execute(this)) sender->setText(BrowseFolder.FolderName());
}

}  // namespace qv::gui
