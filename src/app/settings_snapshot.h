// The settings as they stood at one moment: what a file is converted with when the conversion
// runs away from the controls that hold the settings (on a worker thread).
#pragma once

#include <array>
#include <string>
#include <utility>

#include "settings/job_settings.h"

namespace qv {

// Holds every row of the setting table as stored text.
class TSettingsSnapshot : public IJobSettings {
 public:
  // Every setting at its default.
  TSettingsSnapshot();
  // Reads every setting from source now.
  void Take(const IJobSettings& source);
  // Sets one setting to a stored text.
  void Set(TSetting setting, std::string stored) {
    values_[static_cast<std::size_t>(setting)] = std::move(stored);
  }

  std::string Stored(TSetting setting) const override {
    return values_[static_cast<std::size_t>(setting)];
  }

 private:
  std::array<std::string, kSettingCount> values_;
};

}  // namespace qv
