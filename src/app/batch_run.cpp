// The batch run: one drop of file names converted in order, with progress and one PDF per drop.
#include "app/batch_run.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <new>
#include <thread>

#include "app/batch_host.h"
#include "app/drop_names.h"
#include "app/file_result.h"
#include "app/in_place_drop.h"
#include "app/job_host.h"
#include "app/memory_budget.h"
#include "app/replaced_originals.h"
#include "app/streamed_parallel_drop.h"
#include "runtime/exceptions.h"
#include "runtime/paths.h"
#include "runtime/translation.h"
#include "settings/job_settings.h"

namespace qv {

int JobCount(int jobs) {
  if (jobs > 0) return jobs;
  return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

TBatchRun::TBatchRun(const IJobSettings& settings, IJobHost& job_host, IBatchHost& batch_host)
    : settings_(settings),
      job_host_(job_host),
      batch_host_(batch_host),
      job_(file_settings_, job_host),
      pdf_writer_(CreatePdfWriter()) {}

TBatchRun::~TBatchRun() = default;

void TBatchRun::RequestStop() {
  if (running_) stop_ = true;
}

bool TBatchRun::Stopping() const { return stop_ || batch_host_.StopRequested(); }

void TBatchRun::FileDrop(const std::vector<std::string>& files) {
  if (running_) {
    queue_.push_back(files);
    batch_host_.DropQueued(files);
    return;
  }
  running_ = true;
  summary_ = {};
  not_reached_ = 0;
  std::exception_ptr first_failure;
  auto run = [&](const std::vector<std::string>& names) {
    try {
      RunDrop(names);
    } catch (...) {
      if (!first_failure)
        first_failure = std::current_exception();
      else
        batch_host_.ReportError(std::current_exception());
    }
  };
  run(files);
  while (!queue_.empty() && !Stopping()) {
    std::vector<std::string> next = std::move(queue_.front());
    queue_.pop_front();
    run(next);
  }
  // A stop leaves the queued drops unstarted.
  for (const std::vector<std::string>& unstarted : queue_) {
    not_reached_ += static_cast<int>(unstarted.size());
    batch_host_.DropNotStarted(unstarted);
  }
  queue_.clear();
  stop_ = false;
  running_ = false;
  if (first_failure) std::rethrow_exception(first_failure);
}

std::vector<TDropName> TBatchRun::AllNames(TDropNames& names) {
  std::vector<TDropName> all;
  batch_host_.RunFile([&] {
    while (std::optional<TDropName> name = names.At(static_cast<int>(all.size())))
      all.push_back(std::move(*name));
  });
  return all;
}

void TBatchRun::ListNames(TDropNames& names) {
  for (; listed_ < names.Known(); ++listed_)
    batch_host_.FileListed(listed_, names.At(listed_).value().path);
}

void TBatchRun::AskReplaceOriginals(TDropNames& names) {
  // Only a drop that overwrites can replace anything: the others need not wait for the walk.
  if (settings_.Choice(TSetting::kOverWrite) == 0 || !batch_host_.AsksBeforeReplacingOriginals())
    return;
  std::vector<TDropName> all = AllNames(names);
  ListNames(names);
  std::vector<std::string> originals = ReplacedOriginals(all, settings_);
  if (!originals.empty() && !batch_host_.ReplaceOriginals(static_cast<int>(originals.size())))
    job_.KeepInputs(originals);
}

void TBatchRun::LosePages(TBatchSummary& summary, std::exception_ptr error) {
  for (auto& [index, result] : pages_) {
    summary.Remove(result);
    SetFailure(result, error);
    summary.Add(result);
    batch_host_.FileFailedAfterAll(index, result);
  }
  pages_.clear();
}

void TBatchRun::RunDrop(const std::vector<std::string>& files) {
  if (Stopping()) return;
  batch_host_.DropStarting();
  listed_ = 0;
  pages_.clear();
  pdf_file_.clear();
  TBatchSummary summary;
  // Dropped folders stand for the files under them, listed while the drop runs.
  TDropNames names(files,
                   TFolderRule{.recurse = settings_.Checked(TSetting::kRecurse),
                               .include_hidden = settings_.Checked(TSetting::kIncludeHidden)});
  batch_host_.SetProgressMax(names.Known());
  batch_host_.SetProgressVisible(true);

  bool pdf_mode = OutputFormatOf(settings_.Choice(TSetting::kFileFormat)) == TOutputFormat::kPdf;
  std::optional<std::string> pdf_file;
  if (pdf_mode) {
    pdf_file = batch_host_.AskPdfFileName();
    if (pdf_file) {
      // Refused targets end the drop before anything is converted.
      try {
        CheckPdfTarget(*pdf_file, files);
        batch_host_.CheckPdfReplace(*pdf_file);
      } catch (...) {
        batch_host_.SetProgressVisible(false);
        throw;
      }
      BeginPdfDrop(*pdf_writer_, *pdf_file);
      pdf_file_ = *pdf_file;
    } else {
      pdf_mode = false;
    }
  }
  job_.SetPdfMode(pdf_mode, pdf_writer_.get());
  job_.BeginDrop();
  if (!pdf_mode) AskReplaceOriginals(names);
  ListNames(names);

  std::string caption = batch_host_.Caption();
  batch_host_.SetCaption(Tr(kPleaseWait));
  auto restore = [&] {
    batch_host_.SetCaption(caption);
    batch_host_.SetProgressPosition(0);
  };
  auto finish = [&] {
    ListNames(names);
    not_reached_ += names.Known() - summary.Files();
    batch_host_.SetProgressVisible(false);
    job_host_.SetCursor(TCursor::crDefault);
    summary_.Add(summary);
    batch_host_.DropFinished(summary);
  };
  // Pages whose file cannot be written were never converted after all.
  auto end_pdf = [&] {
    try {
      return EndPdfDrop(*pdf_writer_);
    } catch (...) {
      LosePages(summary, std::current_exception());
      throw;
    }
  };
  try {
    if (jobs_ > 1) {
      // The workers take the names in stretches while the folders are still walked.
      file_settings_.Take(settings_);
      // The workers' jobs keep their cursors to themselves: the hourglass stands for all of them.
      job_host_.SetCursor(TCursor::crHourGlass);
      auto runner =
          std::make_unique<TStreamedParallelDrop>(names, jobs_, file_settings_, job_host_, job_,
                                                  job_.PdfMode() ? pdf_writer_.get() : nullptr,
                                                  keep_going_, MemoryBudgetOf(file_settings_));
      // Its end waits for the files still being converted (after a failure or a stop).
      struct TEnd {
        IBatchHost& host;
        std::unique_ptr<TStreamedParallelDrop>& runner;
        ~TEnd() {
          host.RunFile([this] { runner.reset(); });
        }
      } end{batch_host_, runner};
      RunNames(names, *runner, summary);
    } else {
      TInPlaceDrop runner(names, settings_, file_settings_, job_);
      RunNames(names, runner, summary);
    }
    restore();
    if (pdf_mode) {
      pdf_mode = false;  // written here or not at all: a failure to write is not tried again
      end_pdf();
    }
  } catch (const std::bad_alloc&) {
    // Memory that could not be had anywhere on the way is the system's out-of-memory failure,
    // never the library's text.
    restore();
    finish();
    throw EOutOfMemory();
  } catch (...) {
    restore();
    // The pages made before the failure are kept, as an image drop keeps the files converted
    // before it. A failure to write them is reported; the first failure still ends the drop.
    if (pdf_mode) {
      try {
        if (int pages = end_pdf(); pages > 0) batch_host_.PartialPdfWritten(*pdf_file, pages);
      } catch (...) {
        batch_host_.ReportError(std::current_exception());
      }
    }
    finish();
    throw;
  }
  finish();
}

void TBatchRun::RunNames(TDropNames& names, IDropRunner& runner, TBatchSummary& summary) {
  int progress_max = names.Known();
  for (int i = 0;; ++i) {
    std::optional<TDropName> name;
    if (i < names.Known())
      name = names.At(i);
    else  // the walk of a dropped folder has not come to it yet: the window stays alive meanwhile
      batch_host_.RunFile([&] { name = names.At(i); });
    if (!name) break;
    {
      auto lock = runner.LockHosts();
      ListNames(names);
      // The count grows while dropped folders are walked.
      if (int known = names.Known(); known != progress_max) {
        progress_max = known;
        batch_host_.SetProgressMax(progress_max);
      }
      batch_host_.SetProgressPosition(i + 1);
      batch_host_.ProcessMessages();
      if (Stopping()) break;
      // Only names that will be converted are announced; the others are told as passed over.
      const IJobSettings& settings = runner.SettingsFor(i);
      const bool no_pdf_file =
          OutputFormatOf(settings.Choice(TSetting::kFileFormat)) == TOutputFormat::kPdf &&
          !job_.PdfMode();
      if (!no_pdf_file && name->error.empty() && !name->not_a_file && FileExists(name->path))
        batch_host_.FileStarting(i, names.Known(), name->path);
    }
    // Converted here, or waited for while workers convert it: the window stays alive meanwhile.
    TFileResult result;
    std::exception_ptr failure;
    batch_host_.RunFile([&] {
      try {
        result = runner.Finish(i);
      } catch (...) {
        failure = std::current_exception();
      }
    });
    if (failure) std::rethrow_exception(failure);
    auto lock = runner.LockHosts();
    if (result.status == TFileStatus::kConverted && result.output.empty() && job_.PdfMode()) {
      result.output = pdf_file_;
      pages_.emplace_back(i, result);
    }
    summary.Add(result);
    batch_host_.FileFinished(i, names.Known(), result);
    if (result.status == TFileStatus::kFailed && !keep_going_) std::rethrow_exception(result.error);
  }
}

}  // namespace qv
