// Threads that keep cores busy while a test runs, so that work shared between threads is
// interleaved in more ways than on an idle machine.
#pragma once

#include <atomic>
#include <thread>
#include <vector>

namespace qv::testing {

class BusyThreads {
 public:
  explicit BusyThreads(int count) {
    for (int i = 0; i < count; ++i)
      threads_.emplace_back([this] {
        std::atomic<unsigned> spin{0};
        while (!stop_) spin.fetch_add(1, std::memory_order_relaxed);
      });
  }
  ~BusyThreads() {
    stop_ = true;
    for (std::thread& thread : threads_) thread.join();
  }
  BusyThreads(const BusyThreads&) = delete;
  BusyThreads& operator=(const BusyThreads&) = delete;

 private:
  std::atomic<bool> stop_{false};
  std::vector<std::thread> threads_;
};

}  // namespace qv::testing
