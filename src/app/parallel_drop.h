// Converting the files of one drop several at a time, with the results of converting them one
// after the other.
#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/drop_names.h"
#include "app/drop_runner.h"
#include "app/file_result.h"
#include "app/pdf_steps.h"
#include "runtime/spare_threads.h"
#include "runtime/stream.h"

namespace qv {

class IJobHost;
class IJobSettings;
class TConversionJob;
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
// takes the results in list order (Finish); only then is a name's output file put in place, the
// job's calls to its host that tell the user something (messages, warnings, an output written
// twice) made, and the PDF page printed, so the files and the host are what they are when the
// files are converted one after the other. Without keep-going no name starts after a failed one,
// and the outputs of names after it that were converted meanwhile are never put in place.
// Destroying the drop lets the files being converted finish and joins the workers.
class TParallelDrop : public IDropRunner {
 public:
  // settings stay unchanged while the drop lives; main_job is the batch run's job, whose record
  // of the drop's outputs the workers' jobs share and whose PDF mode they take. Pages go to
  // report when it is given.
  TParallelDrop(const std::vector<TDropName>& files, int jobs, const IJobSettings& settings,
                IJobHost& job_host, const TConversionJob& main_job, TPReport* report,
                bool keep_going);
  ~TParallelDrop() override;
  TParallelDrop(const TParallelDrop&) = delete;
  TParallelDrop& operator=(const TParallelDrop&) = delete;

  // Every name is converted with the settings the drop was given.
  const IJobSettings& SettingsFor(int) override { return settings_; }
  // Waits for name index (each index once, in list order), puts its output in place, makes its
  // host calls and prints its page; an output or page that cannot be put in place fails the name.
  TFileResult Finish(int index) override;

  // Held by every call to the hosts, the workers' included: the caller holds it while it calls
  // them.
  std::unique_lock<std::mutex> LockHosts() override { return std::unique_lock(host_mutex_); }

 private:
  struct TFileState {
    bool done = false;
    TFileResult result;
    // The job's calls to its host that tell the user something, made when the name is finished.
    std::vector<std::function<void(IJobHost&)>> host_calls;
    std::optional<TPdfPagePicture> page;
    // The output file, written; synced (ahead, while the caller waits for an earlier name, or
    // then) and put in place when the caller finishes the name.
    std::unique_ptr<TSafeFileStream> output;
    bool synced = false;
    // Converted, with an output to sync that is not synced yet.
    bool AwaitsSync() const {
      return done && output && !synced && result.status != TFileStatus::kFailed;
    }
  };
  class TWorkerHost;

  void Work();
  void Convert(int index);
  // A later name's state whose output is ready and not yet synced (under mutex_).
  TFileState* UnsyncedAfter(int index);

  const std::vector<TDropName>& files_;
  const std::vector<std::vector<int>> dependencies_;
  const IJobSettings& settings_;
  IJobHost& job_host_;
  const TConversionJob& main_job_;
  TPReport* report_;
  const bool pdf_mode_;
  const bool keep_going_;
  // Names may be done ahead of the caller by at most this many, so that pages waiting to be
  // printed stay few.
  const int window_;
  const int workers_count_;
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

  std::mutex host_mutex_;
  // Workers with no name left to take help the pictures still being converted.
  TSpareThreads spare_;
  std::vector<std::thread> workers_;
};

}  // namespace qv
