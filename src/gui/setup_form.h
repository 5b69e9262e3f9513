// TSetupForm: the settings dialog, whose controls are the settings the conversion job reads.
#pragma once

#include <QDialog>
#include <array>
#include <memory>

#include "settings/job_settings.h"
#include "widgets/sh_browse_for_folder_ex.h"

class QCheckBox;
class QLabel;
class QLineEdit;
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
  std::string Stored(TSetting setting) const override;

  // Handlers.
  void FormCreate();
  void GoButtonClick();
  void CancelButtonClick();
  void RadioGroupClick();
  void DstDirButtonClick(widgets::TEllipsesEdit* sender);

  // The program is ending: from now on closing the dialog saves nothing (only OK and a close
  // by the user save).
  void SetProgramEnding() { program_ending_ = true; }
  // Writes one setting's control value into the INI file at once (a choice made outside the
  // dialog that is kept whether or not the dialog is confirmed); throws as a save does.
  void SaveSetting(TSetting setting);

  QTabWidget* PageControl1;
  QWidget* TabSheet1;
  QWidget* TabSheet2;
  QWidget* TabSheet3;
  QWidget* TabSheet4;
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
  widgets::TSpEdit* WebPQualityEdit;
  QCheckBox* WebPLosslessBox;
  widgets::TSpEdit* AVIFQualityEdit;
  // Folders and output names.
  QCheckBox* RecurseBox;
  QCheckBox* KeepDateBox;
  QLabel* NamePatternLabel;
  QLineEdit* NamePatternEdit;
  // An example name the pattern makes, or what is wrong with it.
  QLabel* NamePreview;
  // How the window runs its drops.
  QCheckBox* KeepGoingBox;
  QLabel* JobsLabel;
  widgets::TSpEdit* JobsEdit;
  widgets::TRadioGroup* ReplaceOriginalsGroup;
  QCheckBox* ResultListAlwaysBox;
  // The photo options' page.
  QCheckBox* AutoOrientBox;
  QCheckBox* KeepMetadataBox;
  QCheckBox* KeepAspectBox;
  QCheckBox* CustomSizeBox;
  widgets::TSpEdit* CustomWidthEdit;
  widgets::TSpEdit* CustomHeightEdit;
  widgets::TRadioGroup* ColorProfileGroup;
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
  // Folders, output names and dates.
  void BuildBatchPage();
  // Hidden controls for the settings of no page, which the INI file and the command line set.
  void BuildStoredOnly();
  // Shows what the name pattern makes of an example photo.
  void UpdateNamePreview();
  // Makes widget the control of setting: named after its row's key, with the row's optional
  // default, placed at x, y, width, height.
  template <typename T>
  T* Register(T* widget, TSetting setting, int x, int y, int width, int height);
  // Creates the control of a setting on parent at its row's default: a radio group with the
  // row's items, a check box with its caption, a spin field with its range, a line edit.
  template <typename T>
  T* CreateControl(TSetting setting, QWidget* parent, int x, int y, int width, int height);

  TDropFileForm* main_form_;
  std::unique_ptr<TQtAutoIni> auto_ini_;
  bool program_ending_ = false;
  // The control of every setting, by TSetting.
  std::array<QWidget*, kSettingCount> controls_{};
};

}  // namespace qv::gui
