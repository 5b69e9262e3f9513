// Several files of a drop at once: workers take the files in list order, wait for the earlier
// files whose outputs or inputs they share, and hand PDF pages back to be printed in order.
#include "app/parallel_drop.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>

#include "app/batch_host.h"
#include "app/conversion_job.h"
#include "app/job_host.h"
#include "app/job_settings.h"
#include "app/pdf_steps.h"
#include "runtime/paths.h"

namespace qv {

namespace {

// A path as one key for the same file however it is written.
std::string PathKey(const std::string& path) {
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(path, error);
  if (error) return path;
  std::filesystem::path canonical = std::filesystem::weakly_canonical(absolute, error);
  return (error ? absolute.lexically_normal() : canonical).string();
}

// The job host for one file on a worker: every call is made under the shared lock, and the
// batch host is told which file is speaking before a message names it.
class TLockedJobHost : public IJobHost {
 public:
  TLockedJobHost(IJobHost& host, IBatchHost& batch_host, std::mutex& mutex, int index, int count,
                 const std::string& file_name)
      : host_(host),
        batch_host_(batch_host),
        mutex_(mutex),
        index_(index),
        count_(count),
        file_name_(file_name) {}
  TCursor Cursor() const override {
    std::lock_guard lock(mutex_);
    return host_.Cursor();
  }
  void SetCursor(TCursor cursor) override {
    std::lock_guard lock(mutex_);
    host_.SetCursor(cursor);
  }
  void ShowErrorMessage(const std::string& text, const std::string& caption) override {
    std::lock_guard lock(mutex_);
    batch_host_.FileStarting(index_, count_, file_name_);
    host_.ShowErrorMessage(text, caption);
  }
  std::pair<int, int> PrimaryDisplaySize() override {
    std::lock_guard lock(mutex_);
    return host_.PrimaryDisplaySize();
  }
  void ReadByPlugins(const std::string& file_name, TBitmap& image) override {
    std::lock_guard lock(mutex_);
    host_.ReadByPlugins(file_name, image);
  }

 private:
  IJobHost& host_;
  IBatchHost& batch_host_;
  std::mutex& mutex_;
  int index_;
  int count_;
  const std::string& file_name_;
};

struct TFileState {
  bool done = false;
  std::optional<TPdfPagePicture> page;
  std::exception_ptr failure;
};

}  // namespace

std::vector<std::vector<int>> DropDependencies(const std::vector<std::string>& files,
                                               const IJobSettings& settings, bool pdf_mode) {
  std::vector<std::vector<int>> dependencies(files.size());
  if (pdf_mode) return dependencies;
  int format = EffectiveFileFormat(settings.FileFormat());
  std::string dst_dir = settings.DstDir();
  int output_mode = settings.OutputMode();
  // For each path: the last file that writes it, and the files that read it since then.
  std::unordered_map<std::string, int> last_writer;
  std::unordered_map<std::string, std::vector<int>> readers;
  for (std::size_t j = 0; j < files.size(); ++j) {
    std::string in = PathKey(files[j]);
    std::string out = PathKey(OutputPath(files[j], output_mode, dst_dir, format));
    std::vector<int>& deps = dependencies[j];
    if (auto it = last_writer.find(in); it != last_writer.end()) deps.push_back(it->second);
    if (auto it = last_writer.find(out); it != last_writer.end()) deps.push_back(it->second);
    if (auto it = readers.find(out); it != readers.end()) {
      deps.insert(deps.end(), it->second.begin(), it->second.end());
      readers.erase(it);
    }
    std::sort(deps.begin(), deps.end());
    deps.erase(std::unique(deps.begin(), deps.end()), deps.end());
    last_writer[out] = static_cast<int>(j);
    if (in != out) readers[in].push_back(static_cast<int>(j));
  }
  return dependencies;
}

void ConvertInParallel(const std::vector<std::string>& files, int jobs,
                       const IJobSettings& settings, IJobHost& job_host, IBatchHost& batch_host,
                       bool pdf_mode, TPReport* report) {
  const int count = static_cast<int>(files.size());
  const std::vector<std::vector<int>> dependencies = DropDependencies(files, settings, pdf_mode);
  std::vector<TFileState> states(files.size());
  std::mutex state_mutex;  // states, next and first_failure
  std::condition_variable changed;
  std::mutex host_mutex;  // calls to either host
  int next = 0;
  int first_failure = count;

  auto finish = [&](int index, std::optional<TPdfPagePicture> page, std::exception_ptr failure) {
    std::lock_guard lock(state_mutex);
    states[index].done = true;
    states[index].page = std::move(page);
    states[index].failure = failure;
    if (failure) first_failure = std::min(first_failure, index);
    changed.notify_all();
  };

  auto work = [&] {
    for (;;) {
      int index;
      {
        std::unique_lock lock(state_mutex);
        if (next >= count || next > first_failure) return;
        index = next++;
        changed.wait(lock, [&] {
          return std::all_of(dependencies[index].begin(), dependencies[index].end(),
                             [&](int d) { return states[d].done; });
        });
        if (first_failure < index) {  // the drop has ended before this file
          lock.unlock();
          finish(index, std::nullopt, nullptr);
          continue;
        }
      }
      const std::string& name = files[index];
      std::optional<TPdfPagePicture> page;
      std::exception_ptr failure;
      try {
        bool pass_over;
        {
          std::lock_guard lock(host_mutex);
          batch_host.SetProgressPosition(index);
          pass_over = (settings.FileFormat() == 3 && !pdf_mode) || !FileExists(name);
          if (!pass_over) batch_host.FileStarting(index, count, name);
        }
        if (!pass_over) {
          TLockedJobHost host(job_host, batch_host, host_mutex, index, count, name);
          TConversionJob job(settings, host);
          job.SetPdfMode(pdf_mode, nullptr);
          job.SetPdfPageSink([&](TPdfPagePicture picture) { page = std::move(picture); });
          job.ConvertFile(name);
        }
      } catch (...) {
        failure = std::current_exception();
      }
      finish(index, std::move(page), failure);
    }
  };

  std::vector<std::thread> workers;
  const int worker_count = std::max(1, std::min(jobs, count));
  workers.reserve(static_cast<std::size_t>(worker_count));
  std::exception_ptr print_failure;
  try {
    for (int i = 0; i < worker_count; ++i) workers.emplace_back(work);
    // Pages are printed here, in list order, as the files before them are done; a page is
    // dropped once printed, so only pages done ahead of their turn wait in memory.
    for (int i = 0; i < count; ++i) {
      std::optional<TPdfPagePicture> page;
      {
        std::unique_lock lock(state_mutex);
        changed.wait(lock, [&] { return states[i].done; });
        if (states[i].failure || first_failure < i) break;
        page = std::move(states[i].page);
        states[i].page.reset();
      }
      if (page && pdf_mode && report != nullptr) PrintPdfPage(*report, *page);
    }
  } catch (...) {
    print_failure = std::current_exception();
    std::lock_guard lock(state_mutex);
    first_failure = -1;  // no file starts any more
  }
  for (std::thread& worker : workers) worker.join();
  if (print_failure) std::rethrow_exception(print_failure);
  if (first_failure < count) {
    // The host names the file of the failure it is handed next.
    batch_host.FileStarting(first_failure, count, files[first_failure]);
    std::rethrow_exception(states[first_failure].failure);
  }
}

}  // namespace qv
