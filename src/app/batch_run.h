// The batch run: one drop of file names converted in order, with progress and one PDF per drop.
#pragma once

#include <atomic>
#include <deque>
#include <exception>
#include <memory>
#include <string>
#include <utility>
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

// The files converted at once for a Jobs setting: 0 (or less) is one per core.
int JobCount(int jobs);

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
  // it is full during the last one. When the host asks before originals are replaced
  // (IBatchHost::AsksBeforeReplacingOriginals), a drop that would replace some of its inputs by
  // their own conversions asks once, after the PDF question. When the PDF file cannot be written,
  // the files that became its pages count as failed.
  void FileDrop(const std::vector<std::string>& files);

  // Stop after this file: the running drop stops before its next name (its PDF is written with
  // the pages made so far; the names left count as not reached) and the drops queued behind it
  // are not started. Does nothing while no drop runs; the next FileDrop runs normally.
  void RequestStop();
  bool StopRequested() const { return stop_; }

  // Keep going: a failed file is told to the host and the drop goes on with the next name; in
  // PDF mode the failed file has no page. FileDrop then raises only a failure of writing the
  // PDF file. Off by default (a failure ends the drop).
  void SetKeepGoing(bool keep_going) { keep_going_ = keep_going; }

  // Files converted at once (1, the default: one after the other, each through the host's
  // RunFile). With more, the files are converted on worker threads with the settings as they
  // stood when the drop began; outputs, PDF page order, pass-over and overwrite rules, what the
  // host is told and in what order, and the failure raised are those of one after the other. The
  // batch run then waits for the workers through the host's RunFile.
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
  // Every name of the drop, the folders walked to the end (the window stays alive meanwhile).
  std::vector<TDropName> AllNames(class TDropNames& names);
  // Tells the host the names of the drop known and not yet told.
  void ListNames(class TDropNames& names);
  // Asks the host whether the inputs the drop would replace by their conversions are replaced.
  void AskReplaceOriginals(class TDropNames& names);
  // The PDF file could not be written (error): its pages count as failed.
  void LosePages(TBatchSummary& summary, std::exception_ptr error);
  // A stop was asked for: by RequestStop, or by the host (the program ends).
  bool Stopping() const;

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
  std::atomic<bool> stop_ = false;
  TBatchSummary summary_;
  int not_reached_ = 0;
  std::deque<std::vector<std::string>> queue_;
  // Of the running drop: its PDF file, the names told to the host so far, and the names that
  // became pages of the PDF file with what was told of them.
  std::string pdf_file_;
  int listed_ = 0;
  std::vector<std::pair<int, TFileResult>> pages_;
};

}  // namespace qv
