// Threads with no file left to convert lend themselves to the pictures still being converted:
// a picture's long loops run in bands, and a spare thread that comes by takes bands too.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

namespace qv {

// body(first, last) for the consecutive bands [first, last) of at most band_size items that
// cover [0, count), each band once. The calling thread takes the bands in order; while its
// spare threads (TSpareThreads::TLend) are waiting for work, they take bands too, so the bands
// may run at once and body must only write what its band owns. Without spare threads the bands
// run one after the other on the calling thread. Returns when every band is done; the first
// exception a band throws is rethrown then (the bands not yet begun are skipped).
void ForEachBand(int count, int band_size, const std::function<void(int first, int last)>& body);

class TSpareThreads {
 public:
  TSpareThreads() = default;
  TSpareThreads(const TSpareThreads&) = delete;
  TSpareThreads& operator=(const TSpareThreads&) = delete;

  // Lends these spare threads to the bands of the calling thread while the object lives.
  class TLend {
   public:
    explicit TLend(TSpareThreads& spare);
    ~TLend();
    TLend(const TLend&) = delete;
    TLend& operator=(const TLend&) = delete;

   private:
    TSpareThreads* previous_;
  };

  // The calling thread has nothing else to do: it takes bands of other threads until Close().
  void Help();
  // Ends every Help(); bands posted later run on their own threads alone.
  void Close();

 private:
  struct TTask;
  friend void ForEachBand(int, int, const std::function<void(int, int)>&);
  void Run(TTask& task);

  std::mutex mutex_;
  std::condition_variable posted_;    // a task was posted, or Close()
  std::condition_variable released_;  // a helper left a task
  std::vector<TTask*> tasks_;
  bool closed_ = false;
};

}  // namespace qv
