// Temporary names that carry their writer's machine and process, and the rule for leftovers.
#include "runtime/temporary_name.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <fstream>

#include "runtime/strings.h"

namespace qv {

namespace {

constexpr char kTempMarker[] = ".qvtmp-";
constexpr std::size_t kMachineDigits = 16;

// What tells this process's pid space apart from every other: the kernel's boot id (random per
// boot) and the pid namespace. Without /proc the host name stands in for the boot id.
std::string MachineIdentity() {
  std::string boot_id;
  std::ifstream("/proc/sys/kernel/random/boot_id") >> boot_id;
  if (boot_id.empty()) {
    char host[HOST_NAME_MAX + 1] = {};
    if (::gethostname(host, sizeof host - 1) == 0) boot_id = std::string("host:") + host;
  }
  char link[64] = {};
  ssize_t size = ::readlink("/proc/self/ns/pid", link, sizeof link - 1);
  return boot_id + "/" + std::string(link, size > 0 ? static_cast<std::size_t>(size) : 0);
}

// 64-bit FNV-1a: a fixed, well-spread hash, so the token is the same in every process of a
// machine's boot and namespace.
std::uint64_t Fnv1a(std::string_view text) {
  std::uint64_t hash = 0xcbf29ce484222325ull;
  for (unsigned char byte : text) {
    hash ^= byte;
    hash *= 0x100000001b3ull;
  }
  return hash;
}

bool IsMachineToken(std::string_view text) {
  return text.size() == kMachineDigits && std::all_of(text.begin(), text.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

bool IsProcessRunning(std::int32_t pid) { return ::kill(pid, 0) == 0 || errno != ESRCH; }

}  // namespace

const std::string& ThisMachine() {
  static const std::string token = [] {
    char digits[kMachineDigits + 1];
    std::snprintf(digits, sizeof digits, "%016llx",
                  static_cast<unsigned long long>(Fnv1a(MachineIdentity())));
    return std::string(digits);
  }();
  return token;
}

std::string TemporaryName(const std::string& target_name) {
  static std::atomic<unsigned> counter{0};
  std::string suffix = kTempMarker + ThisMachine() + "-" +
                       IntToStr(static_cast<std::int64_t>(::getpid())) + "-" +
                       IntToStr(static_cast<std::int64_t>(counter.fetch_add(1)));
  std::size_t room = NAME_MAX - 1 - suffix.size();
  return "." + target_name.substr(0, std::min(room, target_name.size())) + suffix;
}

std::optional<TTemporaryWriter> TemporaryWriter(std::string_view name) {
  auto marker = name.rfind(kTempMarker);
  if (name.empty() || name[0] != '.' || marker == std::string_view::npos) return std::nullopt;
  std::string_view rest = name.substr(marker + std::char_traits<char>::length(kTempMarker));
  TTemporaryWriter writer;
  auto dash = rest.find('-');
  if (dash != std::string_view::npos && IsMachineToken(rest.substr(0, dash))) {
    writer.machine = std::string(rest.substr(0, dash));
    rest.remove_prefix(dash + 1);
    dash = rest.find('-');
  }
  if (dash == std::string_view::npos) return std::nullopt;
  std::optional<std::int32_t> pid = ParseInt32(rest.substr(0, dash));
  std::optional<std::int32_t> count = ParseInt32(rest.substr(dash + 1));
  if (!pid || *pid <= 0 || !count || *count < 0) return std::nullopt;
  writer.pid = *pid;
  return writer;
}

bool IsAbandonedTemporary(std::string_view name, std::int64_t seconds_unchanged) {
  std::optional<TTemporaryWriter> writer = TemporaryWriter(name);
  if (!writer) return false;
  if (seconds_unchanged >= kTemporaryLifetimeSeconds) return true;
  return writer->machine == ThisMachine() && !IsProcessRunning(writer->pid);
}

}  // namespace qv
