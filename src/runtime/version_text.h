// The program's version, copyright holder and licence, as --version prints them and the About box
// shows them.
#pragma once

#include <string>

namespace qv {

// The version of this build ("1.0.0").
const char* ProgramVersion();

// Two lines without a final line break: the copyright holder and the licence (with the address
// of its text), the second in the user's language.
std::string CopyrightText();

// What "PROGRAM --version" prints, as GNU programs do: "PROGRAM VERSION", the copyright lines,
// and that the program is free software without warranty; every line ends with a line break.
std::string VersionText(const std::string& program);

}  // namespace qv
