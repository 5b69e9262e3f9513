// Message texts of the settings layer, kept together so tests can compare them.
#pragma once

namespace qv::messages {

// The INI layer's write failure; "%s" is the file's path.
inline constexpr char kIniWriteError[] = "%s に書き込めません";
// Shown by TAutoIni before it passes a failed save or load on.
inline constexpr char kCanNotSaveIni[] = "Can not save to IniFile";
inline constexpr char kCanNotLoadIni[] = "Can not load from IniFile";

}  // namespace qv::messages
