// The settings as they stood at one moment.
#include "app/settings_snapshot.h"

namespace qv {

TSettingsSnapshot::TSettingsSnapshot() {
  for (const TSettingRow& row : SettingRows())
    values_[static_cast<std::size_t>(row.id)] = row.default_value;
}

void TSettingsSnapshot::Take(const IJobSettings& source) {
  for (const TSettingRow& row : SettingRows())
    values_[static_cast<std::size_t>(row.id)] = source.Stored(row.id);
}

}  // namespace qv
