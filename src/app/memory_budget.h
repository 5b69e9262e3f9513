// The memory the pictures of a drop's files converted at once may take, and what one file's
// conversion is expected to hold at its peak.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>

namespace qv {

class IJobSettings;

// The environment variable that sets the budget (bytes, or with K, M or G after the number).
inline constexpr char kMemoryBudgetVariable[] = "QV_MEMORY_BUDGET";

// Half the memory the system can give the process (AvailableMemory: the kernel's estimate, or a
// container's limit where that is lower); 1 GiB when it cannot be read. Half leaves the other
// half to the rest of the system and to what the estimate of a conversion leaves out.
std::uint64_t DefaultMemoryBudget();

// The budget of a drop: the setting MemoryBudget when it holds a size, else the environment
// variable when it holds one, else the default.
std::uint64_t MemoryBudgetOf(const IJobSettings& settings);

// What converting a picture of width x height holds at its peak when it is resized to target
// (none: it keeps its size): the picture at 24 bits, the resized picture at 32 bits (the widest a
// resampler leaves) or, kept at its size, a second copy of it, and a fifth of the larger of the
// two for the steps' own buffers and the encoder. A picture that is not resized thus counts 2.2
// times its 24-bit size, the bound a conversion stays under (docs/limits.md).
std::uint64_t ConversionPeak(int width, int height, std::optional<std::pair<int, int>> target);

}  // namespace qv
