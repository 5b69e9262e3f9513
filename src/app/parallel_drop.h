// Converting the files of one drop several at a time, with the results of converting them one
// after the other.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/conversion_job.h"
#include "app/drop_names.h"
#include "app/drop_runner.h"
#include "app/file_result.h"
#include "app/pdf_steps.h"
#include "runtime/spare_threads.h"
#include "runtime/stream.h"

namespace qv {

class IJobHost;
class IJobSettings;
class TPReport;

// For each file of a drop, the earlier files it must wait for: those that write what it reads
// or writes, and those that read what it writes (paths compared as the same file however they
// are spelt). A PDF drop writes no image file, so its files wait for none.
std::vector<std::vector<int>> DropDependencies(const std::vector<std::string>& files,
                                               const IJobSettings& settings, bool pdf_mode);
// The same for the names of a drop, each output in its name's subfolder (see TDropName).
std::vector<std::vector<int>> DropDependencies(const std::vector<TDropName>& names,
                                               const IJobSettings& settings, bool pdf_mode);

// For each file of a drop converted by workers at once, whether the other workers will likely
// have run out of files before it is converted, so that its long loops are worth cutting into
// bands for them to share: its size, times the other workers, is more than the sizes of the
// files after it (a file that cannot be measured counts as empty).
std::vector<bool> HelpExpected(const std::vector<std::string>& files, int workers);
std::vector<bool> HelpExpected(const std::vector<TDropName>& names, int workers);

// Worker threads that convert the names of one drop, up to jobs at once, each through
// ConvertDropName with a job of its own. Names start in list order, each once the names it
// depends on are finished, so pass-over and overwrite rules see them in list order. The caller
// takes the results in list order (Finish); only then is a name's output file put in place (and
// counted as the drop's output), the job's calls to its host that tell the user something
// (messages, warnings, an output written twice) made, and the PDF page printed, so the files and
// the host are what they are when the files are converted one after the other. Without
// keep-going no name starts after a failed one, and the outputs of names after it that were
// converted meanwhile are never put in place. Destroying the drop lets the files being converted
// finish and joins the workers.
//
// Where resources run out, a name fails only where it would fail converted one after the other:
// - Memory: a name starts only while the peaks its conversion and those in progress are expected
//   to reach (TConversionJob::ExpectedPeak) stay within memory_budget; a name larger than the
//   whole budget, or whose size cannot be told beforehand, is converted alone.
// - Descriptors: no more workers than the spare descriptors allow, and an output that waits its
//   turn holds none (TSafeFileStream::Park); one that could not be parked counts against them.
// - Disk space: a name whose output found the disk full while later outputs waiting their turn
//   held space is converted again in its turn, with those outputs dropped and converted again
//   after it, each alone; only a name that finds the disk full alone fails.
// - Signals: the signal handler's table of temporary names holds every output that can wait.
class TParallelDrop : public IDropRunner {
 public:
  // settings stay unchanged while the drop lives; main_job is the batch run's job, whose record
  // of the drop's outputs the workers' jobs share and whose PDF mode they take. Pages go to
  // report when it is given. files are the drop's names from first_index on (a stretch of a
  // longer drop, whose earlier names are finished): indexes count from the drop's first name.
  TParallelDrop(const std::vector<TDropName>& files, int jobs, const IJobSettings& settings,
                IJobHost& job_host, TConversionJob& main_job, TPReport* report, bool keep_going,
                std::uint64_t memory_budget, int first_index = 0);
  ~TParallelDrop() override;
  TParallelDrop(const TParallelDrop&) = delete;
  TParallelDrop& operator=(const TParallelDrop&) = delete;

  // Every name is converted with the settings the drop was given.
  const IJobSettings& SettingsFor(int) override { return settings_; }
  // Waits for name index (each index from first_index once, in list order), puts its output in
  // place, makes its host calls and prints its page; an output or page that cannot be put in place
  // fails the name.
  TFileResult Finish(int index) override;

  // Held by every call to the hosts, the workers' included: the caller holds it while it calls
  // them.
  std::unique_lock<std::mutex> LockHosts() override { return std::unique_lock(host_mutex_); }

  // Workers started (fewer than the jobs asked for when descriptors are short).
  int Workers() const { return workers_count_; }

 private:
  struct TFileState {
    bool done = false;
    // To be converted again, alone, in its turn (its output found the disk full while others
    // held space, or it was dropped for one that did).
    bool redo = false;
    // Converted with no other name converting or waiting after it: a full disk is its own.
    bool alone = false;
    TFileResult result;
    // The job's calls to its host that tell the user something, made when the name is finished.
    std::vector<std::function<void(IJobHost&)>> host_calls;
    std::optional<TPdfPagePicture> page;
    // The output file, written; synced (ahead, while the caller waits for an earlier name, or
    // then) and put in place when the caller finishes the name.
    TConversionJob::THeldOutput output;
    bool synced = false;
    // The output keeps its descriptors while it waits (it could not be parked).
    bool open = false;
    // Converted, with an output to sync that is not synced yet.
    bool AwaitsSync() const {
      return done && output.file && !synced && result.status != TFileStatus::kFailed;
    }
  };
  class TWorkerHost;

  void Work();
  // Converts name index and keeps what became of it in its state; alone, it is the name's last
  // try (see TFileState::alone).
  void Convert(int index, bool alone);
  // Converts name index again on the calling thread with no other name converting, after the
  // outputs of the names after it are dropped (they are converted again in their turn).
  void ConvertAgainAlone(int index);
  // Marks a name whose output found the disk full to be converted again, unless it was alone
  // (under mutex_); true when marked.
  bool RedoWhenOutOfSpace(TFileState& state);
  // The state's output, no longer counted as holding descriptors (under mutex_).
  TConversionJob::THeldOutput TakeOutput(TFileState& state);
  // A later name's state whose output is ready and not yet synced (under mutex_).
  TFileState* UnsyncedAfter(int index);

  const std::vector<TDropName>& files_;
  const int first_index_;  // the drop's index of files_[0]
  const std::vector<std::vector<int>> dependencies_;
  const IJobSettings& settings_;
  IJobHost& job_host_;
  TConversionJob& main_job_;
  TPReport* report_;
  const bool pdf_mode_;
  const bool keep_going_;
  const int workers_count_;
  // Names may be done ahead of the caller by at most this many, so that pages waiting to be
  // printed stay few.
  const int window_;
  // Outputs that could not be parked may wait with their descriptors, at most this many.
  const int open_outputs_room_;
  const std::uint64_t memory_budget_;
  // For each name, whether the other workers are likely to run out of names before it is
  // converted: its file is larger than the files after it, shared among them.
  const std::vector<bool> help_expected_;

  std::mutex mutex_;  // everything below but the workers
  std::condition_variable changed_;
  std::vector<TFileState> states_;
  int next_ = 0;
  int finished_ = 0;
  int first_failure_;
  bool stop_ = false;
  // Names start converting in list order once admitted: admitted_ is the next to be, and the
  // expected peaks of the names converting add up to admitted_peak_.
  int admitted_ = 0;
  std::uint64_t admitted_peak_ = 0;
  int converting_ = 0;
  // A name is converted alone: no other starts.
  bool paused_ = false;
  int open_outputs_ = 0;

  std::mutex host_mutex_;
  // Workers with no name left to take help the pictures still being converted.
  TSpareThreads spare_;
  std::vector<std::thread> workers_;
};

}  // namespace qv
