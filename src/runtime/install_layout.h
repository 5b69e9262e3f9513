// Where an installed program finds its plug-ins and its manual. The folders are known relative
// to the executable's own folder (as installed), so an installed tree works under any prefix and
// after being moved or unpacked elsewhere.
#pragma once

#include <string>
#include <string_view>

namespace qv {

// The folders of an installed program, each an absolute path ending in "/".
struct TInstallLayout {
  std::string plugins;  // the shipped image plug-ins ("*.spi")
  std::string manual;   // the manual: quenvale.pdf, quenvale.html and its pictures
};

// The installed folders as seen from exe_folder, the folder of an executable (ending in "/").
// Nothing is checked on disk.
TInstallLayout InstallLayoutFrom(std::string_view exe_folder);

// True when the executable in exe_folder is an installed program: its installed plug-in
// folder exists. A program run from its build folder (or copied into any folder of the
// user's) has none.
bool IsInstalled(std::string_view exe_folder);

// The manual's file with the given extension (".pdf", ".html"): the executable's path with that
// extension when such a file exists (a build folder, a copied program), else the installed
// manual's file when it exists, else "".
std::string FindManual(std::string_view exe_path, std::string_view ext);

}  // namespace qv
