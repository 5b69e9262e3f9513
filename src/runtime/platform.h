// The platform layer of the core: user, process and file-system facts behind one small interface.
#pragma once

#include <string>

namespace qv {

// Login name of the effective user, at most 255 bytes; empty when none can be found.
std::string GetWindowsUserName();

}  // namespace qv
