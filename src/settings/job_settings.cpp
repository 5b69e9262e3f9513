// The plain values of the settings the conversion job reads.
#include "settings/job_settings.h"

#include <algorithm>

#include "runtime/strings.h"

namespace qv {

int IJobSettings::Choice(TSetting setting) const { return StrToIntDef(Stored(setting), -1); }

bool IJobSettings::Checked(TSetting setting) const { return Stored(setting) == "1"; }

int IJobSettings::Number(TSetting setting) const {
  return StrToIntDef(Stored(setting), RowOf(setting).min_value);
}

int IJobSettings::Clamped(TSetting setting) const {
  const TSettingRow& row = RowOf(setting);
  return std::clamp(Number(setting), row.min_value, row.max_value);
}

}  // namespace qv
