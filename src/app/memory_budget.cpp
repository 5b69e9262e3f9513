// The memory budget of the files converted at once, and the peak of one conversion.
#include "app/memory_budget.h"

#include <algorithm>
#include <cstdlib>

#include "runtime/process_limits.h"
#include "runtime/strings.h"
#include "settings/job_settings.h"

namespace qv {

std::uint64_t DefaultMemoryBudget() {
  return AvailableMemory().value_or(std::uint64_t{2} << 30) / 2;
}

std::uint64_t MemoryBudgetOf(const IJobSettings& settings) {
  if (auto size = ParseByteSize(settings.Text(TSetting::kMemoryBudget))) return *size;
  if (const char* variable = std::getenv(kMemoryBudgetVariable))
    if (auto size = ParseByteSize(variable)) return *size;
  return DefaultMemoryBudget();
}

std::uint64_t ConversionPeak(int width, int height, std::optional<std::pair<int, int>> target) {
  auto pixels = [](int w, int h) {
    return static_cast<std::uint64_t>(std::abs(static_cast<std::int64_t>(w))) *
           static_cast<std::uint64_t>(std::abs(static_cast<std::int64_t>(h)));
  };
  const std::uint64_t picture = 3 * pixels(width, height);
  // Kept at its size, a picture may be held twice on its way out (a writer's converted copy).
  const std::uint64_t second = target ? 4 * pixels(target->first, target->second) : picture;
  return picture + second + std::max(picture, second) / 5;
}

}  // namespace qv
