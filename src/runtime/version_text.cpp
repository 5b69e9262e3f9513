// The version, copyright and licence texts of both programs.
#include "runtime/version_text.h"

#include "runtime/translation.h"

namespace qv {

const char* ProgramVersion() { return QV_VERSION; }

std::string CopyrightText() {
  return std::string("Copyright (C) 2026 The Quenvale developers\n") +
         // TRANSLATORS: the licence line of --version and the About box.
         Tr("Licence: MIT <https://opensource.org/license/mit>");
}

std::string VersionText(const std::string& program) {
  return program + " " + ProgramVersion() + "\n" + CopyrightText() + "\n" +
         Tr("This is free software: you are free to change and redistribute it.\n"
            "There is NO WARRANTY, to the extent permitted by law.") +
         "\n";
}

}  // namespace qv
