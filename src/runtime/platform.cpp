// The platform layer of the core on POSIX.
#include "runtime/platform.h"

#include <pwd.h>
#include <unistd.h>

#include <vector>

namespace qv {

std::string GetWindowsUserName() {
  std::string name;
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  struct passwd entry;
  struct passwd* result = nullptr;
  if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result)
    name = result->pw_name;
  if (name.size() > 255) name.resize(255);
  return name;
}

}  // namespace qv
