// Message texts of the settings layer, kept together so tests can compare them (message ids of
// the catalogue; Tr translates them where they are shown).
#pragma once

#include "runtime/translation.h"

namespace qv::messages {

// TRANSLATORS: the INI layer's write failure; "%s" is the file's path.
inline constexpr char kIniWriteError[] = N_("Cannot write to %s");
// Shown by TAutoIni before it passes a failed save or load on.
inline constexpr char kCanNotSaveIni[] = N_("Can not save to IniFile");
inline constexpr char kCanNotLoadIni[] = N_("Can not load from IniFile");

}  // namespace qv::messages
