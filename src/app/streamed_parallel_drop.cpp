// A parallel drop in stretches that follow the walk of its folders.
#include "app/streamed_parallel_drop.h"

#include <algorithm>
#include <utility>

namespace qv {

TStreamedParallelDrop::TStreamedParallelDrop(TDropNames& names, int jobs,
                                             const IJobSettings& settings, IJobHost& job_host,
                                             TConversionJob& main_job, TPReport* report,
                                             bool keep_going, std::uint64_t memory_budget)
    : names_(names),
      jobs_(jobs),
      settings_(settings),
      job_host_(job_host),
      main_job_(main_job),
      report_(report),
      keep_going_(keep_going),
      memory_budget_(memory_budget) {}

void TStreamedParallelDrop::BeginStretch(int index) {
  // The names before index are finished: the stretch before ends with its workers idle.
  stretch_.reset();
  // Enough names for every worker several times over, and twice the stretch before, unless the
  // walk is slow to find them: the stretches grow, so a large tree takes few of them.
  const int wanted = std::max(4 * std::max(jobs_, 1), 2 * static_cast<int>(stretch_names_.size()));
  const int end = std::min(names_.WaitForKnown(index + wanted, kPatience), index + wanted);
  std::vector<TDropName> stretch;
  stretch.reserve(static_cast<std::size_t>(std::max(end - index, 1)));
  for (int i = index; i < end || i == index; ++i) {
    std::optional<TDropName> name = names_.At(i);
    if (!name) break;
    stretch.push_back(std::move(*name));
  }
  stretch_names_ = std::move(stretch);
  stretch_end_ = index + static_cast<int>(stretch_names_.size());
  stretch_ = std::make_unique<TParallelDrop>(stretch_names_, jobs_, settings_, job_host_, main_job_,
                                             report_, keep_going_, memory_budget_, index);
}

TFileResult TStreamedParallelDrop::Finish(int index) {
  if (!stretch_ || index >= stretch_end_) BeginStretch(index);
  return stretch_->Finish(index);
}

std::unique_lock<std::mutex> TStreamedParallelDrop::LockHosts() {
  return stretch_ ? stretch_->LockHosts() : std::unique_lock(idle_mutex_);
}

}  // namespace qv
