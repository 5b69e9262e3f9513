// Where the INI file lives: beside the executable, or in the user's configuration folder when
// the program is an installed one or the executable's folder cannot be written.
#pragma once

#include <string>
#include <string_view>

namespace qv {

// The per-user file: $XDG_CONFIG_HOME/quenvale/<file_name>; when XDG_CONFIG_HOME is unset, empty
// or not absolute, $HOME/.config/quenvale/<file_name> (HOME empty: the passwd entry's home).
std::string UserConfigIniPath(std::string_view file_name);

// The path to use for the wanted INI file (read and write alike): the per-user file of the same
// name when wanted lies in the folder of an installed program's executable (see IsInstalled);
// otherwise wanted itself when a writable file stands there, or when its folder exists and can be
// written; otherwise the per-user file. A relative wanted path is judged against the current
// folder.
std::string ResolveIniPath(const std::string& wanted);

}  // namespace qv
