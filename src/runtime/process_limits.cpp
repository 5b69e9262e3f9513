// What the process may still take from the system: open descriptors and memory.
#include "runtime/process_limits.h"

#include <dirent.h>
#include <sys/resource.h>

#include <algorithm>
#include <fstream>
#include <limits>
#include <string>

namespace qv {

void RaiseOpenFileLimit() {
  struct rlimit limit;
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return;
  limit.rlim_cur = limit.rlim_max;
  ::setrlimit(RLIMIT_NOFILE, &limit);
}

int SpareFileDescriptors() {
  struct rlimit limit;
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
  const rlim_t soft = std::min<rlim_t>(limit.rlim_cur, std::numeric_limits<int>::max());
  int open = 0;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (dirent* entry = ::readdir(dir))
      if (entry->d_name[0] != '.') ++open;
    ::closedir(dir);
    --open;  // the listing's own
  }
  return std::max(static_cast<int>(soft) - open, 0);
}

namespace {

// The first number of a file ("max" and other words read as nothing).
std::optional<std::uint64_t> ReadNumber(const std::string& path) {
  std::ifstream in(path);
  std::string word;
  if (!(in >> word) || word.empty() || word.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  try {
    return std::stoull(word);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

// A kB value of /proc/meminfo, in bytes.
std::optional<std::uint64_t> MemInfo(const std::string& key) {
  std::ifstream in("/proc/meminfo");
  std::string name;
  std::uint64_t kib;
  while (in >> name >> kib) {
    if (name == key + ":") return kib * 1024;
    in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
  }
  return std::nullopt;
}

// The least room any group on the way from folder (a control group's folder) up to root leaves:
// its limit less its use.
std::optional<std::uint64_t> GroupRoom(const std::string& root, std::string group,
                                       const char* limit_file, const char* use_file) {
  std::optional<std::uint64_t> room;
  for (;;) {
    const std::string folder = root + group;
    std::optional<std::uint64_t> limit = ReadNumber(folder + "/" + limit_file);
    std::optional<std::uint64_t> use = ReadNumber(folder + "/" + use_file);
    if (limit && use) {
      const std::uint64_t left = *limit > *use ? *limit - *use : 0;
      room = room ? std::min(*room, left) : left;
    }
    if (group.empty() || group == "/") break;
    group.erase(group.find_last_of('/'));
  }
  return room;
}

}  // namespace

std::optional<std::uint64_t> AvailableMemory() {
  std::optional<std::uint64_t> available = MemInfo("MemAvailable");
  auto lower = [&](std::optional<std::uint64_t> room) {
    if (room) available = available ? std::min(*available, *room) : *room;
  };
  // "0::/path" is the group of cgroup v2, "N:memory:/path" (among others) v1's memory group.
  std::ifstream in("/proc/self/cgroup");
  for (std::string line; std::getline(in, line);) {
    const std::size_t first = line.find(':'), second = line.find(':', first + 1);
    if (first == std::string::npos || second == std::string::npos) continue;
    const std::string controllers = line.substr(first + 1, second - first - 1);
    std::string group = line.substr(second + 1);
    if (group == "/") group.clear();
    if (line.compare(0, first, "0") == 0 && controllers.empty()) {
      lower(GroupRoom("/sys/fs/cgroup", group, "memory.max", "memory.current"));
      lower(GroupRoom("/sys/fs/cgroup/unified", group, "memory.max", "memory.current"));
    } else if (("," + controllers + ",").find(",memory,") != std::string::npos) {
      lower(GroupRoom("/sys/fs/cgroup/memory", group, "memory.limit_in_bytes",
                      "memory.usage_in_bytes"));
    }
  }
  return available;
}

}  // namespace qv
