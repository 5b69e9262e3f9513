// The settings the conversion job reads, each at the moment the step that needs it runs. The
// interface lives with the settings so the settings record can implement it without the settings
// depending on the job.
#pragma once

#include <string>

#include "settings/setting_table.h"

namespace qv {

// Implemented by the settings dialog (GUI, its live controls), the settings record (command
// line) and the snapshot a worker converts with: each serves every row of the setting table.
class IJobSettings {
 public:
  virtual ~IJobSettings() = default;

  // The setting as its control holds it, in the text the INI file stores (see TSettingKind):
  // an item index may be -1, a number field's text may be no number or out of range.
  virtual std::string Stored(TSetting setting) const = 0;

  // The plain values, read through Stored() now.
  // A choice's item index, -1 for none.
  int Choice(TSetting setting) const;
  // A check box's state.
  bool Checked(TSetting setting) const;
  // A number field's text as a decimal integer, or the field's minimum when it is not one; not
  // clamped (the text as typed).
  int Number(TSetting setting) const;
  // Number() brought into the field's range: the value the job works with, so an unconfirmed or
  // hand-edited value outside the range is clamped rather than wrapped into a codec's byte.
  int Clamped(TSetting setting) const;
  std::string Text(TSetting setting) const { return Stored(setting); }
};

}  // namespace qv
