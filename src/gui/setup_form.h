// TSetupForm: the settings dialog, whose controls are the settings the conversion job reads.
#pragma once

#include <QDialog>
#include <memory>

#include "settings/job_settings.h"
#include "widgets/sh_browse_for_folder_ex.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QTabWidget;

namespace qv::widgets {
class TEllipsesEdit;
class TRadioGroup;
class TSpEdit;
}  // namespace qv::widgets

namespace qv::gui {

class TDropFileForm;
class TQtAutoIni;

class TSetupForm : public QDialog, public IJobSettings {
  Q_OBJECT

 public:
  // Created hidden; FormCreate places it and loads its settings.
  explicit TSetupForm(TDropFileForm* main_form);
  ~TSetupForm() override;

  // IJobSettings: read live from the controls.
  int OutputMode() const override;
  std::string DstDir() const override;
  int OverWrite() const override;
  int FileFormat() const override;
  int TargetRes() const override;
  int ResampleMode() const override;
  bool SepiaMode() const override;
  bool Reduce256ColorMode() const override;
  int JPEGQL() const override;
  int PNGCL() const override;
  bool AutoOrient() const override;
  bool KeepMetadata() const override;
  bool KeepAspect() const override;
  bool CustomSize() const override;
  int CustomWidth() const override;
  int CustomHeight() const override;

  // Handlers.
  void FormCreate();
  void GoButtonClick();
  void CancelButtonClick();
  void RadioGroupClick();
  void DstDirButtonClick(widgets::TEllipsesEdit* sender);

  // The program is ending: from now on closing the dialog saves nothing (only OK and a close
  // by the user save).
  void SetProgramEnding() { program_ending_ = true; }

  QTabWidget* PageControl1;
  QWidget* TabSheet1;
  QWidget* TabSheet2;
  QWidget* TabSheet3;
  widgets::TRadioGroup* TargetResGroup;
  widgets::TRadioGroup* FileFormatGroup;
  QCheckBox* SepiaModeBox;
  QCheckBox* Reduce256ColorModeBox;
  widgets::TRadioGroup* OutputModeGroup;
  widgets::TRadioGroup* OverWriteGroup;
  widgets::TEllipsesEdit* DstDirEdit;
  widgets::TRadioGroup* ResampleModeGroup;
  QLabel* Label1;
  QLabel* Label2;
  widgets::TSpEdit* JPEGQLEdit;
  widgets::TSpEdit* PNGCLEdit;
  // The photo options' page.
  QCheckBox* AutoOrientBox;
  QCheckBox* KeepMetadataBox;
  QCheckBox* KeepAspectBox;
  QCheckBox* CustomSizeBox;
  widgets::TSpEdit* CustomWidthEdit;
  widgets::TSpEdit* CustomHeightEdit;
  QPushButton* GoButton;
  QPushButton* CancelButton;
  widgets::TSHBrowseForFolderEx BrowseFolder;
  TQtAutoIni& AutoIni1() { return *auto_ini_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  // Esc: as Cancel.
  void reject() override;

 private:
  void BuildImagePage();
  void BuildSavePage();
  void BuildPhotoPage();

  TDropFileForm* main_form_;
  std::unique_ptr<TQtAutoIni> auto_ini_;
  bool program_ending_ = false;
};

}  // namespace qv::gui
