// What the process may still take from the system: open descriptors and memory.
#pragma once

#include <cstdint>
#include <optional>

namespace qv {

// Raises the soft limit of open descriptors to the hard one: the soft limit is a default
// (often 1024) that a program converting many files at once may pass on its own.
void RaiseOpenFileLimit();

// Descriptors the process may still open: the soft limit less the descriptors open now.
int SpareFileDescriptors();

// Memory the system can give the process without swapping: the kernel's estimate
// (MemAvailable), or less where a control group of the process (a container) limits it, as its
// limit less its use (cgroup v2 memory.max and memory.current, v1 memory.limit_in_bytes and
// memory.usage_in_bytes, the process's group and those above it). Nothing when neither can be
// read.
std::optional<std::uint64_t> AvailableMemory();

}  // namespace qv
