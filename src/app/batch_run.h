// The batch run: one drop of file names converted in order, with progress and one PDF per drop.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "app/batch_summary.h"
#include "app/conversion_job.h"
#include "app/pdf_steps.h"
#include "app/settings_snapshot.h"
#include "runtime/translation.h"

namespace qv {

class IBatchHost;
class IJobHost;
class IJobSettings;

inline constexpr char kPleaseWait[] = N_("Please wait...");

class TBatchRun {
 public:
  TBatchRun(const IJobSettings& settings, IJobHost& job_host, IBatchHost& batch_host);
  ~TBatchRun();

  // Converts the names of one drop in list order, each through ConvertDropName, telling the
  // host what became of every name (FileFinished) and the counts at the end (DropFinished). A
  // drop that arrives while one is running (through the event processing between files) is
  // queued and converted after it, with its own PDF question. A failure ends its drop and is
  // rethrown once the queue is done, unless keep-going is on; label, progress bar and cursor are
  // restored on every path. The progress bar stands at i + 1 of n while name i is handled, so
  // it is full during the last one.
  void FileDrop(const std::vector<std::string>& files);

  // Keep going: a failed file is told to the host and the drop goes on with the next name; in
  // PDF mode the failed file has no page. FileDrop then raises only a failure of writing the
  // PDF file. Off by default (a failure ends the drop).
  void SetKeepGoing(bool keep_going) { keep_going_ = keep_going; }

  // Files converted at once (1, the default: one after the other, on the calling thread). With
  // more, the files are converted on worker threads with the settings as they stood when the
  // drop began; outputs, PDF page order, pass-over and overwrite rules, what the host is told and
  // in what order, and the failure raised are those of one after the other. The host's RunFile
  // is then not used.
  void SetJobs(int jobs) { jobs_ = jobs < 1 ? 1 : jobs; }

  // The counts of the last FileDrop call, the drops queued behind it included.
  const TBatchSummary& Summary() const { return summary_; }
  // The names of those drops that were not reached (a failure or a stop ended their drop),
  // counting the files found in dropped folders so far.
  int NotReached() const { return not_reached_; }

  bool Running() const { return running_; }

 private:
  void RunDrop(const std::vector<std::string>& files);
  // The loop over the names of RunDrop: each name's result from runner, in list order, told to
  // the host and counted; a failure ends the drop unless keep-going is on.
  void RunNames(class TDropNames& names, class IDropRunner& runner, TBatchSummary& summary);

  const IJobSettings& settings_;
  // What the job reads: settings_ as they stood when the current file began.
  TSettingsSnapshot file_settings_;
  IJobHost& job_host_;
  IBatchHost& batch_host_;
  TConversionJob job_;
  TPReportPtr pdf_writer_;
  bool running_ = false;
  bool keep_going_ = false;
  int jobs_ = 1;
  TBatchSummary summary_;
  int not_reached_ = 0;
  std::deque<std::vector<std::string>> queue_;
};

}  // namespace qv
