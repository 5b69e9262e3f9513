// The names a file replacement gives its temporary files, and which leftovers may be removed.
//
// A temporary name is "." + the target's name (shortened to fit NAME_MAX) + ".qvtmp-" + the
// writer's machine + "-" + its process id + "-" + a counter, for example
// ".photo.png.qvtmp-3f2a9c0d1e5b7a64-4000-0". The machine token names the space the process id
// belongs to: the kernel's boot id (new at every boot) and the process's pid namespace, hashed
// to 16 hexadecimal digits. A folder shared between machines (NFS, SMB) holds names of other
// machines, whose process ids say nothing here, so a leftover is removed only when
// - this machine wrote it and its process no longer runs (killed between naming and renaming), or
// - it has not been changed for a day (a writer of another machine, an earlier boot, or an older
//   version whose names carry no machine token).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qv {

// A temporary name for the target's name (its last path component), unique in this process.
std::string TemporaryName(const std::string& target_name);

// The machine token of this process (16 lower-case hexadecimal digits), computed once.
const std::string& ThisMachine();

// The writer a temporary name shows: machine token (empty in names of the older form
// "...qvtmp-PID-N", which carry none) and process id; nullopt for any other name.
struct TTemporaryWriter {
  std::string machine;
  std::int32_t pid = 0;
};
std::optional<TTemporaryWriter> TemporaryWriter(std::string_view name);

// Whether the file of that name is a leftover that may be removed, given the seconds since it
// last changed: see the rule at the top. A process that may exist (kill answers anything but
// ESRCH) counts as running.
bool IsAbandonedTemporary(std::string_view name, std::int64_t seconds_unchanged);

// How long a temporary file of unknown liveness stays: a day.
inline constexpr std::int64_t kTemporaryLifetimeSeconds = 24 * 60 * 60;

}  // namespace qv
