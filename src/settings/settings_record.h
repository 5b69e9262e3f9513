// The settings record: the settings dialog's controls as a model, for the command line.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "app/job_settings.h"

namespace qv {

// Holds every setting with the dialog's design-time defaults and serves them to the job.
class TSettingsRecord : public IJobSettings {
 public:
  TSettingsRecord();

  // Sets one setting by its stored key ("TargetRes", "JPEGQL", ...) from its stored text.
  // Returns false for an unknown key or a malformed value (the record is then unchanged).
  bool SetValue(const std::string& key, const std::string& value);
  // Every setting as key and stored text, in the order the INI file gets them.
  std::vector<std::pair<std::string, std::string>> Values() const;

  // Loads the record from the INI file's section with the dialog's rules (missing file or key
  // keeps the default). SaveToIni writes it as the dialog's OK does.
  void LoadFromIni(const std::string& ini_path, const std::string& section);
  void SaveToIni(const std::string& ini_path, const std::string& section) const;

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

 private:
  std::vector<std::pair<std::string, std::string>> values_;
};

// The INI file the GUI uses (the executable's folder, "quenvale.ini"; the per-user location
// when that folder cannot be written), and the section for the current user.
std::string DefaultIniPath();
std::string DefaultIniSection();

}  // namespace qv
