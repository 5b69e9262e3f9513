// The settings record: the settings dialog's control model, loaded and saved through TAutoIni.
#include "settings/settings_record.h"

#include <algorithm>

#include "runtime/exceptions.h"
#include "runtime/paths.h"
#include "runtime/platform.h"
#include "runtime/strings.h"
#include "settings/auto_ini.h"
#include "settings/ini_file.h"
#include "settings/ini_location.h"
#include "settings/setup_form_model.h"

namespace qv {

namespace {

// The record has no window: a failure reaches the caller as the exception alone.
class TSilentHost : public IAutoIniHost {
 public:
  void ShowMessage(const std::string&) override {}
};

// Runs one TAutoIni operation over the record's form, on the given file and section, with the
// dialog's properties except the position (the record has none to store).
template <typename Operation>
void WithAutoIni(TModelControl& form, const std::string& ini_path, const std::string& section,
                 Operation operation) {
  TSilentHost host;
  TAutoIni auto_ini(form, host);
  auto_ini.SetIniPathOverride(ini_path);
  auto_ini.SetSection(section);
  operation(auto_ini);
}

TModelControl& Control(TModelControl& form, const std::string& name) {
  TModelControl* control = form.Find(name);
  Assert(control != nullptr, __FILE__, __LINE__);
  return *control;
}

// The dialog's controls, and after them the options only the command line sets (stored in the
// same section only once changed, off by default): decoding JPEGs at a reduced size, and the
// PNG row filters.
std::unique_ptr<TModelControl> MakeRecordModel() {
  std::unique_ptr<TModelControl> form = MakeSetupFormModel();
  TModelControl& speed = form->Add(TControlKind::kOther, "SpeedOptions");
  TModelControl& fast_shrink = speed.Add(TControlKind::kCheckBox, "FastShrink");
  fast_shrink.SetOptionalDefault("0");
  TModelControl& filters = speed.Add(TControlKind::kRadioGroup, "PNGFilters");
  filters.SetItems({"sub", "all"});
  filters.SetItemIndex(0);
  filters.SetOptionalDefault("0");
  return form;
}

}  // namespace

TSettingsRecord::TSettingsRecord() : form_(MakeRecordModel()) {}

TSettingsRecord::~TSettingsRecord() = default;

TSettingsRecord::TSettingsRecord(const TSettingsRecord& other) : form_(MakeRecordModel()) {
  *this = other;
}

TSettingsRecord& TSettingsRecord::operator=(const TSettingsRecord& other) {
  if (this == &other) return *this;
  // Both trees are built alike: every stored value is copied as it stands.
  for (const auto& [name, value] : other.AllValues()) {
    TModelControl& control = Control(*form_, name);
    switch (control.Kind()) {
      case TControlKind::kEdit: control.SetText(value); break;
      case TControlKind::kCheckBox: control.SetChecked(value == "1"); break;
      default: control.SetItemIndex(StrToIntDef(value, -1)); break;
    }
  }
  return *this;
}

bool TSettingsRecord::SetValue(const std::string& key, const std::string& value) {
  TSilentHost host;
  TAutoIni walker(*form_, host);
  walker.StoreState();
  // Only the controls TAutoIni stores are settings.
  TModelControl* control = nullptr;
  for (const std::string& entry : walker.StateList()) {
    std::string name = entry.substr(0, entry.find('='));
    if (EqualsNoCase(name, key)) control = form_->Find(name);
  }
  if (!control) return false;

  std::optional<std::int32_t> number = ParseInt32(value);
  switch (control->Kind()) {
    case TControlKind::kRadioGroup:
      if (!number || *number < -1 || *number >= control->ItemCount()) return false;
      control->SetItemIndex(*number);
      return true;
    case TControlKind::kCheckBox:
      if (!number) return false;
      control->SetChecked(*number != 0);
      return true;
    case TControlKind::kEdit:
      if (value.find_first_of("\r\n") != std::string::npos) return false;
      // A spin field (it has a range) holds a number.
      if (control->MaxValue() > control->MinValue() && !number) return false;
      control->SetText(value);
      return true;
    default: return false;
  }
}

std::vector<std::pair<std::string, std::string>> TSettingsRecord::Values() const {
  std::vector<std::pair<std::string, std::string>> values = AllValues();
  std::erase_if(values, [&](const std::pair<std::string, std::string>& entry) {
    std::optional<std::string> optional_default = form_->Find(entry.first)->OptionalDefault();
    return optional_default && *optional_default == entry.second;
  });
  return values;
}

std::vector<std::pair<std::string, std::string>> TSettingsRecord::AllValues() const {
  TSilentHost host;
  TAutoIni walker(*form_, host);
  walker.StoreState();
  std::vector<std::pair<std::string, std::string>> values;
  for (const std::string& entry : walker.StateList()) {
    std::size_t equals = entry.find('=');
    values.emplace_back(entry.substr(0, equals), entry.substr(equals + 1));
  }
  return values;
}

void TSettingsRecord::LoadFromIni(const std::string& ini_path, const std::string& section) {
  WithAutoIni(*form_, ini_path, section, [](TAutoIni& auto_ini) { auto_ini.LoadFromIni(); });
}

void TSettingsRecord::SaveToIni(const std::string& ini_path, const std::string& section) const {
  WithAutoIni(*form_, ini_path, section, [](TAutoIni& auto_ini) { auto_ini.SaveToIni(); });
}

void TSettingsRecord::SaveToIni(const std::string& ini_path, const std::string& section,
                                const std::vector<std::string>& keys) const {
  std::vector<std::pair<std::string, std::string>> writes;
  for (const auto& [name, value] : AllValues()) {
    for (const std::string& key : keys) {
      if (EqualsNoCase(key, name)) {
        writes.emplace_back(name, value);
        break;
      }
    }
  }
  // The section TAutoIni would use: an empty one means the executable's file name.
  std::string effective = section.empty() ? ExtractFileName(ExecutableFileName()) : section;
  TIniFile(ini_path).WriteValues(effective, writes);
}

int TSettingsRecord::IndexOf(const char* name) const { return form_->Find(name)->ItemIndex(); }

bool TSettingsRecord::CheckedOf(const char* name) const { return form_->Find(name)->Checked(); }

std::string TSettingsRecord::TextOf(const char* name) const { return form_->Find(name)->Text(); }

int TSettingsRecord::SpinValueOf(const char* name) const {
  const TModelControl* field = form_->Find(name);
  return StrToIntDef(field->Text(), field->MinValue());
}

int TSettingsRecord::OutputMode() const { return IndexOf("OutputMode"); }
std::string TSettingsRecord::DstDir() const { return TextOf("DstDir"); }
int TSettingsRecord::OverWrite() const { return IndexOf("OverWrite"); }
int TSettingsRecord::FileFormat() const { return IndexOf("FileFormat"); }
int TSettingsRecord::TargetRes() const { return IndexOf("TargetRes"); }
int TSettingsRecord::ResampleMode() const { return IndexOf("ResampleMode"); }
bool TSettingsRecord::SepiaMode() const { return CheckedOf("SepiaMode"); }
bool TSettingsRecord::Reduce256ColorMode() const { return CheckedOf("Reduce256ColorMode"); }
int TSettingsRecord::JPEGQL() const { return SpinValueOf("JPEGQL"); }
int TSettingsRecord::PNGCL() const { return SpinValueOf("PNGCL"); }

bool TSettingsRecord::AutoOrient() const { return CheckedOf("AutoOrient"); }
bool TSettingsRecord::KeepMetadata() const { return CheckedOf("KeepMetadata"); }
bool TSettingsRecord::KeepAspect() const { return CheckedOf("KeepAspect"); }
bool TSettingsRecord::CustomSize() const { return CheckedOf("CustomSize"); }
int TSettingsRecord::CustomWidth() const { return SpinValueOf("CustomWidth"); }
int TSettingsRecord::CustomHeight() const { return SpinValueOf("CustomHeight"); }
bool TSettingsRecord::FastShrink() const { return CheckedOf("FastShrink"); }
int TSettingsRecord::PNGFilters() const { return IndexOf("PNGFilters"); }

std::string DefaultIniPath() {
  return ResolveIniPath(ExtractFilePath(ExecutableFileName()) + "quenvale.ini");
}

std::string DefaultIniSection() {
  std::string user = GetWindowsUserName();
  return user.empty() ? std::string("quenvale") : user;
}

}  // namespace qv
