// TSetupForm: the settings dialog, whose controls are the settings the conversion job reads.
#include "gui/setup_form.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <exception>

#include "app/job_options.h"
#include "app/name_pattern.h"
#include "gui/drop_file_form.h"
#include "gui/platform_utils.h"
#include "gui/qt_auto_ini.h"
#include "gui/qt_control.h"
#include "gui/ui_font.h"
#include "runtime/exceptions.h"
#include "runtime/platform.h"
#include "settings/auto_ini.h"
#include "settings/ini_file.h"
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
  TabSheet4 = new QWidget;
  TabSheet4->setObjectName(QStringLiteral("TabSheet4"));
  PageControl1->addTab(TabSheet4, TrQ("Batch"));
  BuildImagePage();
  BuildSavePage();
  BuildPhotoPage();
  BuildBatchPage();
  BuildStoredOnly();

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
  setTabOrder(JPEGQLEdit, WebPQualityEdit);
  setTabOrder(WebPQualityEdit, WebPLosslessBox);
  setTabOrder(WebPLosslessBox, AVIFQualityEdit);
  setTabOrder(AVIFQualityEdit, AutoOrientBox);
  setTabOrder(AutoOrientBox, KeepMetadataBox);
  setTabOrder(KeepMetadataBox, KeepAspectBox);
  setTabOrder(KeepAspectBox, CustomSizeBox);
  setTabOrder(CustomSizeBox, CustomWidthEdit);
  setTabOrder(CustomWidthEdit, CustomHeightEdit);
  setTabOrder(CustomHeightEdit, ColorProfileGroup);
  setTabOrder(ColorProfileGroup, RecurseBox);
  setTabOrder(RecurseBox, KeepDateBox);
  setTabOrder(KeepDateBox, NamePatternEdit);
  setTabOrder(NamePatternEdit, KeepGoingBox);
  setTabOrder(KeepGoingBox, ResultListAlwaysBox);
  setTabOrder(ResultListAlwaysBox, ReplaceOriginalsGroup);
  setTabOrder(ReplaceOriginalsGroup, JobsEdit);
  PageControl1->setCurrentIndex(0);

  BrowseFolder.Caption = TrQ("Choose a folder");
  BrowseFolder.SelectFolder = widgets::TSelectFolder::sfManual;
  BrowseFolder.RootFolder = widgets::TRootFolder::rfDesktop;
  BrowseFolder.Options = widgets::sboReturnOnlyFSDirs;

  auto_ini_ = std::make_unique<TQtAutoIni>(this);
  auto_ini_->SetCheckWinState(true);
}

TSetupForm::~TSetupForm() = default;

namespace {

QStringList ItemsOf(const TSettingRow& row) {
  QStringList items;
  for (const TItemCaption& item : row.items)
    items << QString::fromUtf8(item.context ? TrCtx(item.context, item.text) : Tr(item.text));
  return items;
}

QWidget* NewControl(const TSettingRow& row, QWidget* parent) {
  switch (row.kind) {
    case TSettingKind::kChoice: {
      auto* group = new widgets::TRadioGroup(row.caption ? TrQ(row.caption) : QString(),
                                             ItemsOf(row), parent);
      group->SetItemIndex(std::stoi(row.default_value));
      return group;
    }
    case TSettingKind::kCheck: {
      auto* box = new QCheckBox(row.caption ? TrQ(row.caption) : QString(), parent);
      box->setChecked(row.default_value[0] == '1');
      return box;
    }
    case TSettingKind::kNumber: {
      auto* field = new widgets::TSpEdit(parent);
      field->SetMinValue(row.min_value);
      field->SetMaxValue(row.max_value);
      field->setMaxLength(static_cast<int>(QString::number(row.max_value).size()));
      field->setText(QString::fromLatin1(row.default_value));
      return field;
    }
    case TSettingKind::kText: {
      auto* edit = new QLineEdit(parent);
      edit->setText(QString::fromUtf8(row.default_value));
      return edit;
    }
  }
  return nullptr;
}

}  // namespace

template <typename T>
T* TSetupForm::Register(T* widget, TSetting setting, int x, int y, int width, int height) {
  const TSettingRow& row = RowOf(setting);
  Named(widget, row.key, x, y, width, height);
  // Stored only once changed, so a settings file of defaults stays as it was.
  if (row.optional)
    widget->setProperty(kOptionalDefaultProperty, QString::fromUtf8(row.default_value));
  controls_[static_cast<std::size_t>(setting)] = widget;
  return widget;
}

template <typename T>
T* TSetupForm::CreateControl(TSetting setting, QWidget* parent, int x, int y, int width,
                             int height) {
  auto* widget = qobject_cast<T*>(NewControl(RowOf(setting), parent));
  Assert(widget != nullptr, __FILE__, __LINE__);
  return Register(widget, setting, x, y, width, height);
}

void TSetupForm::BuildImagePage() {
  TargetResGroup =
      CreateControl<widgets::TRadioGroup>(TSetting::kTargetRes, TabSheet1, 8, 8, 217, 209);
  // The formats beyond the first four (WebP, AVIF) are offered in a list beside a fifth button,
  // "Other:", so the group keeps its frame and the page its layout.
  FileFormatGroup =
      CreateControl<widgets::TRadioGroup>(TSetting::kFileFormat, TabSheet1, 231, 8, 217, 97);
  FileFormatGroup->SetOtherFrom(static_cast<int>(TOutputFormat::kWebP), TrQ("Other:"));
  TargetResGroup->OnClick = [this](widgets::TRadioGroup*) { RadioGroupClick(); };
  FileFormatGroup->OnClick = [this](widgets::TRadioGroup*) { RadioGroupClick(); };
  SepiaModeBox = CreateControl<QCheckBox>(TSetting::kSepiaMode, TabSheet1, 240, 112, 193, 17);
  Reduce256ColorModeBox =
      CreateControl<QCheckBox>(TSetting::kReduce256ColorMode, TabSheet1, 240, 136, 193, 17);
  // Never shown: its value comes only from the INI file.
  Reduce256ColorModeBox->setVisible(false);
}

void TSetupForm::BuildSavePage() {
  // Created in the rows' order, which is the order the settings walk (and the INI file) sees
  // them.
  DstDirEdit = Register(new widgets::TEllipsesEdit(TabSheet2), TSetting::kDstDir, 8, 72, 449, 20);
  DstDirEdit->SetEditStyle(widgets::TEditStyle::esAlwaysEllipses);
  DstDirEdit->SetDeactiveColor(Qt::white);
  DstDirEdit->OnButtonClick = [this](widgets::TEllipsesEdit* sender) { DstDirButtonClick(sender); };
  OutputModeGroup =
      CreateControl<widgets::TRadioGroup>(TSetting::kOutputMode, TabSheet2, 8, 8, 217, 57);
  OverWriteGroup =
      CreateControl<widgets::TRadioGroup>(TSetting::kOverWrite, TabSheet2, 240, 8, 217, 57);
  ResampleModeGroup =
      CreateControl<widgets::TRadioGroup>(TSetting::kResampleMode, TabSheet2, 8, 96, 217, 129);
  PNGCLEdit = CreateControl<widgets::TSpEdit>(TSetting::kPNGCL, TabSheet2, 360, 124, 41, 21);
  JPEGQLEdit = CreateControl<widgets::TSpEdit>(TSetting::kJPEGQL, TabSheet2, 352, 100, 49, 21);
  // The web formats' fields below JPEG's and PNG's, at the same spacing; WebP's lossless switch
  // beside its quality.
  WebPQualityEdit =
      CreateControl<widgets::TSpEdit>(TSetting::kWebPQuality, TabSheet2, 352, 148, 49, 21);
  WebPLosslessBox = CreateControl<QCheckBox>(TSetting::kWebPLossless, TabSheet2, 240, 174, 217, 17);
  AVIFQualityEdit =
      CreateControl<widgets::TSpEdit>(TSetting::kAVIFQuality, TabSheet2, 352, 196, 49, 21);
  Label1 = new QLabel(TrQ(RowOf(TSetting::kJPEGQL).caption), TabSheet2);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->move(240, 104);
  Label1->adjustSize();
  Label2 = new QLabel(TrQ(RowOf(TSetting::kPNGCL).caption), TabSheet2);
  Label2->setObjectName(QStringLiteral("Label2"));
  Label2->move(240, 128);
  Label2->adjustSize();
  for (auto [setting, y] :
       {std::pair{TSetting::kWebPQuality, 152}, {TSetting::kAVIFQuality, 200}}) {
    auto* label = new QLabel(TrQ(RowOf(setting).caption), TabSheet2);
    label->setObjectName(QString::fromLatin1(RowOf(setting).key) + QStringLiteral("Label"));
    label->move(240, y);
    label->adjustSize();
  }
}

void TSetupForm::BuildBatchPage() {
  // Created in the rows' order, which is the order the settings walk sees them.
  RecurseBox = CreateControl<QCheckBox>(TSetting::kRecurse, TabSheet4, 8, 10, 449, 17);
  NamePatternEdit = CreateControl<QLineEdit>(TSetting::kNamePattern, TabSheet4, 120, 63, 337, 21);
  KeepDateBox = CreateControl<QCheckBox>(TSetting::kKeepDate, TabSheet4, 8, 34, 449, 17);
  NamePatternLabel = new QLabel(TrQ(RowOf(TSetting::kNamePattern).caption), TabSheet4);
  NamePatternLabel->move(8, 66);
  NamePatternLabel->adjustSize();
  NamePatternLabel->setBuddy(NamePatternEdit);
  NamePatternEdit->setPlaceholderText(QStringLiteral("{name}_{w}x{h}"));
  NamePatternEdit->setToolTip(
      TrQ("Fields: {name} {ext} {n} {n:3} {w} {h} {date} {date:%Y%m%d} {folder}.\n"
          "Empty: the input's name with the new extension."));
  NamePreview = new QLabel(TabSheet4);
  NamePreview->setGeometry(120, 88, 337, 15);
  connect(NamePatternEdit, &QLineEdit::textChanged, this, [this] { UpdateNamePreview(); });
  UpdateNamePreview();

  // How the window runs its drops, below: a failure that need not end a drop, the files
  // converted at once, what a drop that would replace its originals does, and when the result
  // list opens by itself.
  KeepGoingBox = CreateControl<QCheckBox>(TSetting::kKeepGoing, TabSheet4, 8, 108, 449, 17);
  JobsEdit = CreateControl<widgets::TSpEdit>(TSetting::kJobs, TabSheet4, 240, 184, 57, 21);
  ReplaceOriginalsGroup =
      CreateControl<widgets::TRadioGroup>(TSetting::kReplaceOriginals, TabSheet4, 8, 148, 217, 74);
  ResultListAlwaysBox =
      CreateControl<QCheckBox>(TSetting::kResultListAlways, TabSheet4, 8, 128, 449, 17);
  JobsLabel = new QLabel(TrQ(RowOf(TSetting::kJobs).caption), TabSheet4);
  JobsLabel->setObjectName(QStringLiteral("JobsLabel"));
  JobsLabel->setGeometry(240, 150, 217, 30);
  JobsLabel->setWordWrap(true);
  JobsLabel->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
  JobsLabel->setBuddy(JobsEdit);
}

void TSetupForm::SaveSetting(TSetting setting) {
  TAutoIni& component = auto_ini_->Component();
  component.MakeIniPath();
  TIniFile(component.IniPath())
      .WriteString(component.Section(), RowOf(setting).key, Stored(setting));
}

void TSetupForm::UpdateNamePreview() {
  const std::string text = widgets::ToLocal(NamePatternEdit->text());
  if (text.empty()) {
    NamePreview->clear();
    return;
  }
  QPalette palette = NamePreview->palette();
  try {
    TNamePattern pattern(text);
    TNameFields example{.name = "IMG_0042",
                        .extension = "jpg",
                        .number = 7,
                        .width = 1024,
                        .height = 768,
                        .date = {},
                        .folder = "Holiday"};
    example.date.tm_year = 2024 - 1900;
    example.date.tm_mon = 6;
    example.date.tm_mday = 14;
    palette.setColor(QPalette::WindowText, palette.color(QPalette::Active, QPalette::WindowText));
    NamePreview->setText(QStringLiteral("→ ") + QString::fromStdString(pattern.Format(example)));
  } catch (const Exception& error) {
    palette.setColor(QPalette::WindowText, Qt::darkRed);
    NamePreview->setText(QString::fromStdString(error.Message()));
  }
  NamePreview->setPalette(palette);
  NamePreview->setToolTip(NamePreview->text());
}

void TSetupForm::BuildPhotoPage() {
  // Created in the rows' order, which is the order the settings walk sees them.
  AutoOrientBox = CreateControl<QCheckBox>(TSetting::kAutoOrient, TabSheet3, 8, 10, 449, 17);
  KeepMetadataBox = CreateControl<QCheckBox>(TSetting::kKeepMetadata, TabSheet3, 8, 34, 449, 17);
  KeepAspectBox = CreateControl<QCheckBox>(TSetting::kKeepAspect, TabSheet3, 8, 58, 449, 17);
  CustomSizeBox = CreateControl<QCheckBox>(TSetting::kCustomSize, TabSheet3, 8, 90, 449, 17);
  CustomWidthEdit =
      CreateControl<widgets::TSpEdit>(TSetting::kCustomWidth, TabSheet3, 28, 114, 65, 21);
  CustomHeightEdit =
      CreateControl<widgets::TSpEdit>(TSetting::kCustomHeight, TabSheet3, 116, 114, 65, 21);
  auto* by = new QLabel(QStringLiteral("x"), TabSheet3);
  by->move(101, 117);
  by->adjustSize();
  auto* unit = new QLabel(TrQ("pixels (1 to 65535)"), TabSheet3);
  unit->move(189, 117);
  unit->adjustSize();
  ColorProfileGroup =
      CreateControl<widgets::TRadioGroup>(TSetting::kColorProfile, TabSheet3, 8, 146, 449, 77);
  // The fields serve only the custom size.
  auto follow = [this](bool on) {
    CustomWidthEdit->setEnabled(on);
    CustomHeightEdit->setEnabled(on);
  };
  connect(CustomSizeBox, &QCheckBox::toggled, this, follow);
  follow(false);
}

void TSetupForm::BuildStoredOnly() {
  auto* stored_only = new QWidget(this);
  stored_only->setObjectName(QStringLiteral("StoredOnly"));
  stored_only->setVisible(false);
  // Never shown; sized as a page's controls are.
  for (const TSettingRow& row : SettingRows())
    if (row.page == TSettingPage::kNone)
      Register(NewControl(row, stored_only), row.id, 8, 8, 217, 57);
}

std::string TSetupForm::Stored(TSetting setting) const {
  QWidget* control = controls_[static_cast<std::size_t>(setting)];
  // A folder or other text reaches the job in the file system's encoding.
  if (auto* edit = qobject_cast<QLineEdit*>(control)) return widgets::ToLocal(edit->text());
  return StoredText(TQtControl(control));
}

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
