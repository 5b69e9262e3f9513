// The settings record: the settings dialog's controls as a model, for the command line.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "settings/job_settings.h"

namespace qv {

class TModelControl;

// The controls of the settings dialog (see MakeSetupFormModel), with the dialog's design-time
// defaults, loaded and saved by TAutoIni with exactly the dialog's rules, and served to the job.
class TSettingsRecord : public IJobSettings {
 public:
  TSettingsRecord();
  ~TSettingsRecord() override;
  TSettingsRecord(const TSettingsRecord& other);
  TSettingsRecord& operator=(const TSettingsRecord& other);

  // Sets one setting by its stored key ("TargetRes", "JPEGQL", ...; ASCII case ignored) from
  // text. Returns false for an unknown key or a malformed value (see StoredValueOf; the record
  // is then unchanged).
  bool SetValue(const std::string& key, const std::string& value);
  // Every setting as key and stored text, in the order SaveToIni writes them, each value as it
  // is written ("1"/"0" for check boxes, decimal indexes, the fields' texts). An optional setting
  // at its default is left out, as a file that never held it leaves it out.
  std::vector<std::pair<std::string, std::string>> Values() const;
  // Values() with the optional settings at their defaults too.
  std::vector<std::pair<std::string, std::string>> AllValues() const;

  // Loads the record from the INI file's section as the dialog's creation does (a missing file
  // or key keeps the current value). An empty section means the executable's file name.
  void LoadFromIni(const std::string& ini_path, const std::string& section);
  // Writes every setting into the section as the dialog's OK does, without its position keys
  // (the record has no window; the dialog's stored position stays as it is). Throws
  // EIniFileError when the file cannot be written.
  void SaveToIni(const std::string& ini_path, const std::string& section) const;
  // Writes only the named settings (stored keys, ASCII case ignored; unknown names are left out)
  // in one locked rewrite, so a save changes no key it was not asked to: two processes saving
  // different keys at once both keep theirs. Throws EIniFileError when the file cannot be written.
  void SaveToIni(const std::string& ini_path, const std::string& section,
                 const std::vector<std::string>& keys) const;

  std::string Stored(TSetting setting) const override;

 private:
  std::unique_ptr<TModelControl> form_;
};

// The INI file the GUI uses: "quenvale.ini" in the executable's folder, or the per-user file
// for an installed program or when that folder cannot be written (see ResolveIniPath).
std::string DefaultIniPath();
// The section for the current user: the login name, or the GUI's executable name "quenvale"
// when there is none.
std::string DefaultIniSection();

}  // namespace qv
