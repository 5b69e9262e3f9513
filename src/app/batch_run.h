// The batch run: one drop of file names converted in order, with progress and one PDF per drop.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "app/conversion_job.h"
#include "app/pdf_steps.h"

namespace qv {

class IBatchHost;
class IJobHost;
class IJobSettings;

inline constexpr char kPleaseWait[] = "Please wait...";

class TBatchRun {
 public:
  TBatchRun(const IJobSettings& settings, IJobHost& job_host, IBatchHost& batch_host);
  ~TBatchRun();

  // Converts the names of one drop in list order. A drop that arrives while one is running
  // (through the event processing between files) is queued and converted after it. A failure
  // ends its drop and is rethrown once the queue is done; label, progress bar and cursor are
  // restored on every path.
  void FileDrop(const std::vector<std::string>& files);

  // Files converted at once (1, the default: one after the other). Outputs, PDF page order,
  // pass-over and overwrite rules and the failure reported are those of converting one after
  // the other.
  void SetJobs(int jobs) { jobs_ = jobs < 1 ? 1 : jobs; }
  int Jobs() const { return jobs_; }

  bool Running() const { return running_; }
  TConversionJob& Job() { return job_; }

 private:
  void RunDrop(const std::vector<std::string>& files);

  const IJobSettings& settings_;
  IJobHost& job_host_;
  IBatchHost& batch_host_;
  TConversionJob job_;
  TPReportPtr pdf_writer_;
  bool running_ = false;
  int jobs_ = 1;
  std::deque<std::vector<std::string>> queue_;
};

}  // namespace qv
