// Several files of a drop at once: workers take the names in list order, wait for the earlier
// names whose outputs or inputs they share, and keep what the user is to be told until the
// caller takes the name in its turn.
#include "app/parallel_drop.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>
#include <unordered_map>
#include <utility>

#include "app/conversion_job.h"
#include "app/job_host.h"
#include "app/job_options.h"
#include "app/name_pattern.h"
#include "runtime/exceptions.h"
#include "runtime/file_replacement.h"
#include "runtime/paths.h"
#include "runtime/process_limits.h"
#include "settings/job_settings.h"

namespace qv {

std::vector<std::vector<int>> DropDependencies(const std::vector<std::string>& files,
                                               const IJobSettings& settings, bool pdf_mode) {
  std::vector<TDropName> names;
  for (const std::string& file : files) names.push_back(TDropName{.path = file});
  return DropDependencies(names, settings, pdf_mode);
}

std::vector<std::vector<int>> DropDependencies(const std::vector<TDropName>& names,
                                               const IJobSettings& settings, bool pdf_mode) {
  std::vector<std::vector<int>> dependencies(names.size());
  const TOutputFormat format = OutputFormatOf(settings.Choice(TSetting::kFileFormat));
  if (pdf_mode || format == TOutputFormat::kPdf) return dependencies;
  const TOutputPlace place = OutputPlaceOf(settings.Choice(TSetting::kOutputMode));
  const std::string dst_dir = settings.Text(TSetting::kDstDir);
  std::optional<TNamePattern> pattern;
  try {
    pattern.emplace(settings.Text(TSetting::kNamePattern));
  } catch (const std::exception&) {
    // Every name fails on the pattern without writing anything.
    return dependencies;
  }
  const std::string extension = OutputExtension(format) + 1;
  // For each path: the last name that writes it, and the names that read it since then. With a
  // name pattern an output's name is known only once its file is converted, so a name waits for
  // the last earlier name writing into its input's folder when the pattern could make its
  // input's name, and for the last earlier name reading a file the pattern could make in its
  // output folder (names the pattern gives two files of the drop are numbered in list order,
  // whatever the order they are converted in).
  std::unordered_map<std::string, int> last_writer;
  std::unordered_map<std::string, std::vector<int>> readers;
  std::unordered_map<std::string, int> last_writer_into;     // folder -> name
  std::unordered_map<std::string, int> last_pattern_reader;  // folder -> name
  for (std::size_t j = 0; j < names.size(); ++j) {
    const std::string& file = names[j].path;
    const std::string in = OutputKey(file);
    std::vector<int>& deps = dependencies[j];
    if (auto it = last_writer.find(in); it != last_writer.end()) deps.push_back(it->second);
    if (!pattern->Empty()) {
      const std::string in_folder = ExtractFilePath(in);
      const bool makeable = pattern->CouldMake(ExtractFileName(in), extension);
      if (auto it = last_writer_into.find(in_folder); makeable && it != last_writer_into.end())
        deps.push_back(it->second);
      try {
        const std::string out_folder = IncludeTrailingPathDelimiter(
            OutputKey(OutputFolder(file, place, dst_dir, names[j].subfolder)));
        if (auto it = last_pattern_reader.find(out_folder); it != last_pattern_reader.end())
          deps.push_back(it->second);
        last_writer_into[out_folder] = static_cast<int>(j);
      } catch (const std::exception&) {
        // No output folder: the name fails without writing anything.
      }
      if (makeable) last_pattern_reader[in_folder] = static_cast<int>(j);
      std::sort(deps.begin(), deps.end());
      deps.erase(std::unique(deps.begin(), deps.end()), deps.end());
      continue;
    }
    std::optional<std::string> out;
    try {
      out = OutputKey(OutputPath(file, place, dst_dir, format, names[j].subfolder));
    } catch (const std::exception&) {
      // No output can be named (no output folder): the name fails without writing anything.
    }
    if (out) {
      if (auto it = last_writer.find(*out); it != last_writer.end()) deps.push_back(it->second);
      if (auto it = readers.find(*out); it != readers.end()) {
        deps.insert(deps.end(), it->second.begin(), it->second.end());
        readers.erase(it);
      }
    }
    std::sort(deps.begin(), deps.end());
    deps.erase(std::unique(deps.begin(), deps.end()), deps.end());
    if (out) last_writer[*out] = static_cast<int>(j);
    if (!out || in != *out) readers[in].push_back(static_cast<int>(j));
  }
  return dependencies;
}

std::vector<bool> HelpExpected(const std::vector<std::string>& files, int workers) {
  std::vector<TDropName> names;
  for (const std::string& file : files) names.push_back(TDropName{.path = file});
  return HelpExpected(names, workers);
}

std::vector<bool> HelpExpected(const std::vector<TDropName>& names, int workers) {
  std::vector<bool> expected(names.size(), false);
  if (workers < 2) return expected;
  std::uintmax_t after = 0;  // bytes of the files after the name
  for (std::size_t j = names.size(); j-- > 0;) {
    std::error_code error;
    std::uintmax_t size = std::filesystem::file_size(names[j].path, error);
    if (error) size = 0;  // no file to measure: the name fails or a plug-in reads it
    expected[j] = size * static_cast<std::uintmax_t>(workers - 1) > after;
    after += size;
  }
  return expected;
}

namespace {

// Descriptors left for the process beside the workers: standard streams, the caller's commit,
// the settings file, what libraries open.
constexpr int kReservedDescriptors = 16;
// What one worker may hold open at once: its input, its output and the output's folder, and one
// a reader or a plug-in opens.
constexpr int kDescriptorsPerWorker = 4;
// What an output that waits its turn holds when it could not be parked: itself and its folder.
constexpr int kDescriptorsPerOutput = 2;

// A failure for want of space (a full disk, a quota).
bool OutOfSpace(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const EStreamError& failure) {
    return failure.SystemError() == ENOSPC || failure.SystemError() == EDQUOT;
  } catch (...) {
    return false;
  }
}

}  // namespace

// The host of a worker's job: what tells the user something is kept for the name's turn; the
// cursor is the worker's own; the questions the job needs answered now (display size, plug-ins)
// are asked under the hosts' lock.
class TParallelDrop::TWorkerHost : public IJobHost {
 public:
  TWorkerHost(IJobHost& host, std::mutex& host_mutex,
              std::vector<std::function<void(IJobHost&)>>& calls)
      : host_(host), host_mutex_(host_mutex), calls_(calls) {}

  TCursor Cursor() const override { return cursor_; }
  void SetCursor(TCursor cursor) override { cursor_ = cursor; }
  void ShowErrorMessage(const std::string& text, const std::string& caption) override {
    calls_.push_back([=](IJobHost& host) { host.ShowErrorMessage(text, caption); });
  }
  std::pair<int, int> PrimaryDisplaySize() override {
    std::lock_guard lock(host_mutex_);
    return host_.PrimaryDisplaySize();
  }
  // Through the plug-ins at once where the host allows it (the plug-ins that need it still take
  // turns there), else one worker at a time.
  void ReadByPlugins(const std::string& file_name, TBitmap& image) override {
    std::unique_lock lock(host_mutex_, std::defer_lock);
    if (!host_.PluginReadsMayOverlap()) lock.lock();
    host_.ReadByPlugins(file_name, image);
  }
  void ReadByPluginsWithMetadata(const std::string& file_name, TBitmap& image,
                                 TPluginMetadata& metadata) override {
    std::unique_lock lock(host_mutex_, std::defer_lock);
    if (!host_.PluginReadsMayOverlap()) lock.lock();
    host_.ReadByPluginsWithMetadata(file_name, image, metadata);
  }
  std::optional<std::pair<int, int>> PictureSizeByPlugins(const std::string& file_name) override {
    std::lock_guard lock(host_mutex_);
    return host_.PictureSizeByPlugins(file_name);
  }
  void FileWarning(const std::string& file_name, const std::string& text) override {
    calls_.push_back([=](IJobHost& host) { host.FileWarning(file_name, text); });
  }
  void SameOutputTwice(const std::string& earlier_input, const std::string& input,
                       const std::string& output, bool overwritten) override {
    calls_.push_back(
        [=](IJobHost& host) { host.SameOutputTwice(earlier_input, input, output, overwritten); });
  }

 private:
  IJobHost& host_;
  std::mutex& host_mutex_;
  std::vector<std::function<void(IJobHost&)>>& calls_;
  TCursor cursor_ = TCursor::crDefault;
};

TParallelDrop::TParallelDrop(const std::vector<TDropName>& files, int jobs,
                             const IJobSettings& settings, IJobHost& job_host,
                             TConversionJob& main_job, TPReport* report, bool keep_going,
                             std::uint64_t memory_budget, int first_index)
    : files_(files),
      first_index_(first_index),
      dependencies_(DropDependencies(files, settings, main_job.PdfMode())),
      settings_(settings),
      job_host_(job_host),
      main_job_(main_job),
      report_(report),
      pdf_mode_(main_job.PdfMode()),
      keep_going_(keep_going),
      workers_count_(
          std::clamp((SpareFileDescriptors() - kReservedDescriptors) / kDescriptorsPerWorker, 1,
                     std::max(jobs, 1))),
      window_(4 * workers_count_),
      open_outputs_room_(std::max(
          (SpareFileDescriptors() - kReservedDescriptors - workers_count_ * kDescriptorsPerWorker) /
              kDescriptorsPerOutput,
          1)),
      memory_budget_(std::max<std::uint64_t>(memory_budget, 1)),
      help_expected_(HelpExpected(files, workers_count_)),
      states_(files.size()),
      first_failure_(static_cast<int>(files.size())) {
  // Every output that can wait at once has its place in the signal handler's table before the
  // workers start: those waiting their turn and those being written.
  ReserveTemporaryFileSlots(window_ + workers_count_ + 1);
  // One thread per job even when the names are fewer: a thread with no name lends itself at once
  // to the pictures being converted (a single big file gets every core).
  workers_.reserve(static_cast<std::size_t>(workers_count_));
  try {
    for (int i = 0; i < workers_count_; ++i) workers_.emplace_back([this] { Work(); });
  } catch (...) {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    spare_.Close();
    for (std::thread& worker : workers_) worker.join();
    throw;
  }
}

TParallelDrop::~TParallelDrop() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  spare_.Close();
  for (std::thread& worker : workers_) worker.join();
}

void TParallelDrop::Work() {
  const int count = static_cast<int>(files_.size());
  for (;;) {
    int index;
    {
      std::unique_lock lock(mutex_);
      // A name is taken in list order, within the window, while outputs that kept their
      // descriptors leave room, and never past a failure that ends the drop (should the failing
      // name be converted again, the names after it follow).
      changed_.wait(lock, [&] {
        return stop_ || next_ >= count ||
               (!paused_ && next_ < finished_ + window_ && open_outputs_ < open_outputs_room_ &&
                (keep_going_ || first_failure_ >= next_));
      });
      if (stop_) return;
      if (next_ >= count) break;
      index = next_++;
      // Each name depended on is finished (its output in place) before this one starts; the
      // list is ordered, so its last name is the one to wait for.
      const std::vector<int>& deps = dependencies_[static_cast<std::size_t>(index)];
      changed_.wait(lock, [&] {
        return stop_ || ((deps.empty() || deps.back() < finished_) &&
                         (keep_going_ || first_failure_ >= index));
      });
      if (stop_) return;
    }
    // What the name will cost is read from its header once what it reads is in place.
    std::uint64_t peak = memory_budget_;
    {
      std::vector<std::function<void(IJobHost&)>> ignored;
      TWorkerHost host(job_host_, host_mutex_, ignored);
      TConversionJob job(settings_, host);
      try {
        peak =
            job.ExpectedPeak(files_[static_cast<std::size_t>(index)].path).value_or(memory_budget_);
      } catch (...) {
        // Unknown: the name is converted alone, as one larger than the budget.
      }
      peak = std::max<std::uint64_t>(peak, 1);
    }
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] {
        return stop_ ||
               (!paused_ && admitted_ == index && (keep_going_ || first_failure_ >= index) &&
                (admitted_peak_ == 0 || admitted_peak_ + peak <= memory_budget_));
      });
      if (stop_) return;
      ++admitted_;
      admitted_peak_ += peak;
      ++converting_;
    }
    changed_.notify_all();
    Convert(index, false);
    {
      std::lock_guard lock(mutex_);
      admitted_peak_ -= peak;
      --converting_;
    }
    changed_.notify_all();
  }
  // No name is left: the pictures of the names still being converted get this thread too.
  spare_.Help();
}

void TParallelDrop::Convert(int index, bool alone) {
  const TDropName& name = files_[static_cast<std::size_t>(index)];
  std::vector<std::function<void(IJobHost&)>> calls;
  std::optional<TPdfPagePicture> page;
  TConversionJob::THeldOutput output;
  TFileResult result;
  try {
    TWorkerHost host(job_host_, host_mutex_, calls);
    TConversionJob job(settings_, host);
    // The spare threads (workers with no name left) may help with this file's long loops.
    job.SetWorkContext(TWorkContext(spare_, help_expected_[static_cast<std::size_t>(index)]));
    job.ShareDropOutputs(main_job_);
    job.SetPdfMode(pdf_mode_, nullptr);
    if (pdf_mode_) job.SetPdfPageSink([&](TPdfPagePicture picture) { page = std::move(picture); });
    job.SetOutputHold([&](TConversionJob::THeldOutput held) { output = std::move(held); });
    result = ConvertDropName(job, settings_, name, first_index_ + index);
  } catch (...) {
    main_job_.EndTurn(first_index_ + index);
    result.file_name = name.path;
    SetFailure(result, std::current_exception());
  }
  // The caller syncs the outputs while it waits for the names before them; when as many outputs
  // wait for it as there are workers, it has fallen behind, and the worker syncs its own. An
  // output the caller does not take at once waits without descriptors.
  bool synced = false, park = false, open = false;
  if (output.file && result.status != TFileStatus::kFailed) {
    {
      std::lock_guard lock(mutex_);
      synced = std::count_if(states_.begin() + finished_, states_.begin() + next_,
                             [](const TFileState& other) { return other.AwaitsSync(); }) >=
               workers_count_;
      park = index > finished_;
    }
    try {
      if (synced) output.file->Sync();
      open = park && !output.file->Park();
    } catch (...) {
      SetFailure(result, std::current_exception());
    }
  }
  std::lock_guard lock(mutex_);
  TFileState& state = states_[static_cast<std::size_t>(index)];
  state.synced = synced;
  state.result = std::move(result);
  state.host_calls = std::move(calls);
  state.page = std::move(page);
  state.output = std::move(output);
  state.open = open && state.output.file;
  if (state.open) ++open_outputs_;
  state.alone = alone;
  state.redo = false;
  state.done = true;
  if (!RedoWhenOutOfSpace(state) && state.result.status == TFileStatus::kFailed)
    first_failure_ = std::min(first_failure_, index);
  changed_.notify_all();
}

bool TParallelDrop::RedoWhenOutOfSpace(TFileState& state) {
  if (state.alone || state.result.status != TFileStatus::kFailed || !OutOfSpace(state.result.error))
    return false;
  state.redo = true;
  return true;
}

void TParallelDrop::ConvertAgainAlone(int index) {
  std::vector<TConversionJob::THeldOutput> dropped;
  {
    std::unique_lock lock(mutex_);
    paused_ = true;
    changed_.wait(lock, [&] { return converting_ == 0; });
    // The outputs after it give their space back; those names are converted again in their
    // turn, as this one is now.
    for (int j = index + 1; j < next_; ++j) {
      TFileState& later = states_[static_cast<std::size_t>(j)];
      if (!later.done) continue;
      dropped.push_back(TakeOutput(later));
      later = TFileState{};
      later.done = true;
      later.redo = true;
    }
    if (first_failure_ > index) first_failure_ = static_cast<int>(files_.size());
    TFileState& state = states_[static_cast<std::size_t>(index)];
    dropped.push_back(TakeOutput(state));
    state = TFileState{};
  }
  dropped.clear();  // the temporary files go before the name is converted again
  Convert(index, true);
  {
    std::lock_guard lock(mutex_);
    paused_ = false;
  }
  changed_.notify_all();
}

TConversionJob::THeldOutput TParallelDrop::TakeOutput(TFileState& state) {
  if (state.open) --open_outputs_;
  state.open = false;
  return std::move(state.output);
}

TParallelDrop::TFileState* TParallelDrop::UnsyncedAfter(int index) {
  auto found = std::find_if(states_.begin() + index + 1, states_.begin() + next_,
                            [](const TFileState& state) { return state.AwaitsSync(); });
  return found == states_.begin() + next_ ? nullptr : &*found;
}

TFileResult TParallelDrop::Finish(int index) {
  index -= first_index_;
  TFileState state;
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      TFileState& waited = states_[static_cast<std::size_t>(index)];
      // Meanwhile the outputs of later names already converted are synced, so that they go in
      // place quickly in their turn.
      for (;;) {
        TFileState* ahead = nullptr;
        changed_.wait(lock,
                      [&] { return waited.done || (ahead = UnsyncedAfter(index)) != nullptr; });
        if (waited.done) break;
        ahead->synced = true;
        TSafeFileStream& output = *ahead->output.file;
        lock.unlock();
        std::exception_ptr error;
        try {
          output.Sync();
        } catch (...) {
          error = std::current_exception();
        }
        lock.lock();
        if (error) {
          SetFailure(ahead->result, error);
          if (!RedoWhenOutOfSpace(*ahead))
            first_failure_ = std::min(first_failure_, static_cast<int>(ahead - states_.data()));
          changed_.notify_all();
        }
      }
      if (!waited.redo) {
        TConversionJob::THeldOutput output = TakeOutput(waited);
        state = std::move(waited);
        state.output = std::move(output);
        waited.host_calls.clear();
        waited.page.reset();
      }
    }
    if (state.done) break;
    ConvertAgainAlone(index);
  }
  // The output goes in place now that every name before it is converted; the names waiting for
  // it start once it is there. Without overwriting, an output that meets a file of its name
  // (another spelling of it, where the file system ignores case) is passed over, as the name
  // would have been had the file been there when it started.
  for (;;) {
    if (!state.output.file || state.result.status == TFileStatus::kFailed) break;
    try {
      if (state.output.file->Commit()) {
        main_job_.RecordDropOutput(state.output.key, state.output.input);
      } else {
        state.result.status = TFileStatus::kPassedOver;
        state.result.reason = TPassReason::kOutputExists;
        state.result.warnings.clear();
        state.host_calls.clear();
      }
      break;
    } catch (...) {
      SetFailure(state.result, std::current_exception());
    }
    // No room to put it in place while later outputs hold space: converted again alone.
    if (state.alone || !OutOfSpace(state.result.error)) break;
    state.output = {};
    ConvertAgainAlone(index);
    std::lock_guard lock(mutex_);
    TFileState& again = states_[static_cast<std::size_t>(index)];
    TConversionJob::THeldOutput output = TakeOutput(again);
    state = std::move(again);
    state.output = std::move(output);
  }
  state.output = {};
  {
    std::lock_guard lock(mutex_);
    finished_ = index + 1;
    if (state.result.status == TFileStatus::kFailed)
      first_failure_ = std::min(first_failure_, index);
  }
  changed_.notify_all();
  std::lock_guard host_lock(host_mutex_);
  try {
    for (const auto& call : state.host_calls) call(job_host_);
    if (state.page && report_ != nullptr) PrintPdfPage(*report_, *state.page);
  } catch (...) {
    // As a host call or a page that fails inside the conversion of one file after the other.
    SetFailure(state.result, std::current_exception());
  }
  return std::move(state.result);
}

}  // namespace qv
