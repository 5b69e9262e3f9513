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

}  // namespace

TSettingsRecord::TSettingsRecord() : form_(MakeSetupFormModel()) {}

TSettingsRecord::~TSettingsRecord() = default;

TSettingsRecord::TSettingsRecord(const TSettingsRecord& other) : form_(MakeSetupFormModel()) {
  *this = other;
}

TSettingsRecord& TSettingsRecord::operator=(const TSettingsRecord& other) {
  if (this == &other) return *this;
  // Both trees are built alike: every stored value is copied as it stands.
  for (const TSettingRow& row : SettingRows())
    SetStoredText(*form_->Find(row.key), other.Stored(row.id));
  return *this;
}

bool TSettingsRecord::SetValue(const std::string& key, const std::string& value) {
  const TSettingRow* row = FindSettingRow(key);
  if (!row) return false;
  std::optional<std::string> stored = StoredValueOf(*row, value);
  if (!stored) return false;
  SetStoredText(*form_->Find(row->key), *stored);
  return true;
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
  // The rows' order is the order the dialog's walk (and the INI file) sees the controls in.
  std::vector<std::pair<std::string, std::string>> values;
  for (const TSettingRow& row : SettingRows()) values.emplace_back(row.key, Stored(row.id));
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

std::string TSettingsRecord::Stored(TSetting setting) const {
  return StoredText(*form_->Find(RowOf(setting).key));
}

std::string DefaultIniPath() {
  return ResolveIniPath(ExtractFilePath(ExecutableFileName()) + "quenvale.ini");
}

std::string DefaultIniSection() {
  std::string user = GetWindowsUserName();
  return user.empty() ? std::string("quenvale") : user;
}

}  // namespace qv
