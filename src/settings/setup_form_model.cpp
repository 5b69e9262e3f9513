// The settings dialog's control tree as a model, with the dialog's captions (in the user's
// language) and defaults.
#include "settings/setup_form_model.h"

#include "runtime/exceptions.h"
#include "runtime/translation.h"
#include "settings/photo_settings.h"

namespace qv {

namespace {

TModelControl& AddRadioGroup(TModelControl& parent, const char* name,
                             std::vector<std::string> items) {
  TModelControl& group = parent.Add(TControlKind::kRadioGroup, name);
  group.SetItems(std::move(items));
  group.SetItemIndex(0);
  return group;
}

TModelControl& AddSpinField(TModelControl& parent, const char* name, int min_value, int max_value,
                            const char* text) {
  TModelControl& field = parent.Add(TControlKind::kEdit, name);
  field.SetSpinRange(min_value, max_value);
  field.SetText(text);
  field.Add(TControlKind::kOther, "");  // the spin button
  return field;
}

}  // namespace

std::unique_ptr<TModelControl> MakeSetupFormModel() {
  auto form = std::make_unique<TModelControl>(TControlKind::kOther, "SetupForm");
  form->SetTop(0);
  form->SetLeft(0);

  TModelControl& pages = form->Add(TControlKind::kOther, "PageControl1");

  TModelControl& image_page = pages.Add(TControlKind::kOther, "TabSheet1");
  AddRadioGroup(image_page, "TargetRes",
                {Tr("No resizing"), Tr("Fit to the desktop size"), Tr("96x96 (MSN messenger ICON)"),
                 TrCtx("settings dialog", "640x480"), "800x600", "1024x768", "1152x864", "1280x960",
                 "1280x1024", "1600x1200"});
  AddRadioGroup(image_page, "FileFormat",
                {Tr("Bitmap (Windows BMP)"), Tr("JPEG (small, some loss)"),
                 Tr("PNG (small, lossless)"), Tr("PDF (an Adobe PDF file)")});
  image_page.Add(TControlKind::kCheckBox, "SepiaMode");
  image_page.Add(TControlKind::kCheckBox, "Reduce256ColorMode");

  TModelControl& save_page = pages.Add(TControlKind::kOther, "TabSheet2");
  save_page.Add(TControlKind::kOther, "Label1").SetText(Tr("JPEG Quality Level"));
  save_page.Add(TControlKind::kOther, "Label2").SetText(Tr("PNG Compress Level"));
  TModelControl& folder = save_page.Add(TControlKind::kEdit, "DstDir");
  folder.Add(TControlKind::kOther, "");  // the ellipsis button
  AddRadioGroup(save_page, "OutputMode",
                {Tr("Beside the input file"), Tr("Into the folder given below")});
  AddRadioGroup(save_page, "OverWrite", {Tr("Pass it over"), Tr("Overwrite it")});
  AddRadioGroup(save_page, "ResampleMode",
                {"Bi-Linear", "Bi-Linear(MMX)", "Mitchell", "Lanczos3", "B-Spline", "Bell"});
  AddSpinField(save_page, "PNGCL", 0, 9, "9");
  AddSpinField(save_page, "JPEGQL", 1, 100, "85");

  // The photo options' page: stored only once changed from their defaults.
  TModelControl& photo_page = pages.Add(TControlKind::kOther, "TabSheet3");
  photo_page.Add(TControlKind::kCheckBox, "AutoOrient");
  photo_page.Add(TControlKind::kCheckBox, "KeepMetadata");
  photo_page.Add(TControlKind::kCheckBox, "KeepAspect");
  photo_page.Add(TControlKind::kCheckBox, "CustomSize");
  AddSpinField(photo_page, "CustomWidth", kCustomSizeMin, kCustomSizeMax, "1024");
  AddSpinField(photo_page, "CustomHeight", kCustomSizeMin, kCustomSizeMax, "768");
  for (const auto& [name, text] : PhotoSettingDefaults()) {
    TModelControl* control = photo_page.Find(name);
    Assert(control != nullptr, __FILE__, __LINE__);
    control->SetOptionalDefault(text);
  }

  form->Add(TControlKind::kOther, "GoButton").SetText(Tr("OK"));
  form->Add(TControlKind::kOther, "CancelButton").SetText(Tr("Cancel"));
  return form;
}

}  // namespace qv
