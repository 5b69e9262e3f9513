// Converts the names of a drop on worker threads while its dropped folders are still walked: the
// names known when a stretch begins (up to twice the stretch before, and at least four for each
// worker when the walk finds them in time) go to one parallel drop, and the next stretch begins
// when the caller has taken the last result of the one before. The first outputs come while a large
// tree is still listed, and -j applies across the whole tree.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "app/drop_names.h"
#include "app/drop_runner.h"
#include "app/parallel_drop.h"

namespace qv {

class IJobHost;
class IJobSettings;
class TConversionJob;
class TPReport;

class TStreamedParallelDrop : public IDropRunner {
 public:
  // As TParallelDrop's; names is the drop's list, walked on its own thread.
  TStreamedParallelDrop(TDropNames& names, int jobs, const IJobSettings& settings,
                        IJobHost& job_host, TConversionJob& main_job, TPReport* report,
                        bool keep_going, std::uint64_t memory_budget);

  const IJobSettings& SettingsFor(int) override { return settings_; }
  TFileResult Finish(int index) override;
  // The hosts' lock of the stretch converting now (of none before the first).
  std::unique_lock<std::mutex> LockHosts() override;

  // How long a stretch waits for the walk to find names for every worker before it begins with
  // fewer.
  static constexpr std::chrono::milliseconds kPatience{50};

 private:
  // Begins the stretch that starts at name index.
  void BeginStretch(int index);

  TDropNames& names_;
  const int jobs_;
  const IJobSettings& settings_;
  IJobHost& job_host_;
  TConversionJob& main_job_;
  TPReport* report_;
  const bool keep_going_;
  const std::uint64_t memory_budget_;
  std::mutex idle_mutex_;  // the hosts' lock while no stretch converts
  // The stretch converting now: its names (which it refers to, so destroyed after it), its first
  // index and its end.
  std::vector<TDropName> stretch_names_;
  std::unique_ptr<TParallelDrop> stretch_;
  int stretch_end_ = 0;
};

}  // namespace qv
