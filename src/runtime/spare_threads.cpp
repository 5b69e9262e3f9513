// Bands of one loop shared with spare threads: an atomic counter hands out the bands, so a
// thread that joins late simply takes the next one. A piece handed off is a loop of one band.
#include "runtime/spare_threads.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <utility>

namespace qv {

struct TSpareThreads::TTask {
  TTask(int count_, int band_size_, std::function<void(int, int)> body_)
      : count(count_),
        band_size(band_size_),
        bands((count_ + band_size_ - 1) / band_size_),
        body(std::move(body_)) {}

  bool HasBandsLeft() const { return next.load(std::memory_order_relaxed) < bands; }

  // Takes bands until none is left (or one has failed).
  void Work() {
    for (;;) {
      int band = next.fetch_add(1);
      if (band >= bands) return;
      int first = band * band_size;
      try {
        body(first, std::min(count, first + band_size));
      } catch (...) {
        std::lock_guard lock(error_mutex);
        if (!error) error = std::current_exception();
        next.store(bands);  // the bands not begun are skipped
      }
    }
  }

  const int count;
  const int band_size;
  const int bands;
  const std::function<void(int, int)> body;
  std::atomic<int> next{0};
  int helpers = 0;  // spare threads in Work(), under the owner's mutex_
  std::mutex error_mutex;
  std::exception_ptr error;
};

void ForEachBand(const TWorkContext& work, int count, int band_size,
                 const std::function<void(int, int)>& body) {
  if (count <= 0) return;
  band_size = std::max(band_size, 1);
  TSpareThreads::TTask task(count, band_size, body);
  TSpareThreads* spare = work.Spare();
  if (spare == nullptr || task.bands < 2) {
    task.Work();
  } else {
    spare->Post(task);
    task.Work();
    spare->Withdraw(task);
  }
  if (task.error) std::rethrow_exception(task.error);
}

bool SpareThreadAtHand(const TWorkContext& work) {
  TSpareThreads* spare = work.Spare();
  if (spare == nullptr) return false;
  std::lock_guard lock(spare->mutex_);
  return !spare->closed_ && (spare->idle_ > 0 || work.HelpExpected());
}

bool TSpareThreads::OneWaits() {
  std::lock_guard lock(mutex_);
  return !closed_ && idle_ > 0;
}

void TSpareThreads::Post(TTask& task) {
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back(&task);
  }
  posted_.notify_all();
}

bool TSpareThreads::PostIfOneWaits(TTask& task) {
  {
    std::lock_guard lock(mutex_);
    auto untaken = std::count_if(tasks_.begin(), tasks_.end(),
                                 [](const TTask* t) { return t->HasBandsLeft(); });
    if (closed_ || idle_ <= untaken) return false;
    tasks_.push_back(&task);
  }
  posted_.notify_one();
  return true;
}

void TSpareThreads::Withdraw(TTask& task) {
  // No helper takes the task once it is out of the list; those in it finish their bands.
  std::unique_lock lock(mutex_);
  tasks_.erase(std::find(tasks_.begin(), tasks_.end(), &task));
  released_.wait(lock, [&] { return task.helpers == 0; });
}

void TSpareThreads::Help() {
  std::unique_lock lock(mutex_);
  for (;;) {
    TTask* task = nullptr;
    ++idle_;
    posted_.wait(lock, [&] {
      if (closed_) return true;
      auto it = std::find_if(tasks_.begin(), tasks_.end(),
                             [](const TTask* t) { return t->HasBandsLeft(); });
      task = it == tasks_.end() ? nullptr : *it;
      return task != nullptr;
    });
    --idle_;
    if (closed_) return;
    ++task->helpers;
    lock.unlock();
    task->Work();
    lock.lock();
    --task->helpers;
    released_.notify_all();
  }
}

void TSpareThreads::Close() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
  }
  posted_.notify_all();
}

THandOff::THandOff(const TWorkContext& work, int limit)
    : spare_(work.Spare()), limit_(std::max(limit, 1)) {}

THandOff::~THandOff() {
  try {
    Wait();
  } catch (...) {
    // Dropped: only Wait() tells of a failed piece.
  }
}

bool THandOff::SpareThreadWaits() const { return spare_ != nullptr && spare_->OneWaits(); }

void THandOff::Offer(std::function<void()> piece) {
  while (static_cast<int>(pending_.size()) >= limit_) FinishOldest();
  auto task = std::make_unique<TSpareThreads::TTask>(
      1, 1, [piece = std::move(piece)](int, int) { piece(); });
  latest_out_ = spare_ != nullptr && spare_->PostIfOneWaits(*task);
  if (latest_out_) {
    pending_.push_back(std::move(task));
    return;
  }
  task->Work();
  if (task->error && !error_) error_ = task->error;
}

void THandOff::RunHere(const std::function<void()>& piece) {
  latest_out_ = false;
  piece();
}

void THandOff::Wait() {
  while (!pending_.empty()) FinishOldest();
  if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
}

void THandOff::WaitAllButLatest() {
  while (pending_.size() > (latest_out_ ? 1u : 0u)) FinishOldest();
  if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
}

void THandOff::FinishOldest() {
  TSpareThreads::TTask& task = *pending_.front();
  task.Work();  // runs the piece here if no spare thread has taken it yet
  spare_->Withdraw(task);
  if (task.error && !error_) error_ = task.error;
  pending_.pop_front();
}

}  // namespace qv
