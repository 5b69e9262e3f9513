// Threads with no file left to convert lend themselves to the pictures still being converted:
// a picture's long loops run in bands, and a spare thread that comes by takes bands too. The
// work's TWorkContext names the spare threads it may use.
#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "runtime/work_context.h"

namespace qv {

// body(first, last) for the consecutive bands [first, last) of at most band_size items that
// cover [0, count), each band once. The calling thread takes the bands in order; while the spare
// threads of work are waiting for work, they take bands too, so the bands may run at once and
// body must only write what its band owns. With a default work context the bands run one after
// the other on the calling thread. Returns when every band is done; the first exception a band
// throws is rethrown then (the bands not yet begun are skipped).
void ForEachBand(const TWorkContext& work, int count, int band_size,
                 const std::function<void(int first, int last)>& body);

// True when a spare thread of work waits for work now, or one is expected to come before the
// work is done (its HelpExpected()): a long loop begun now is then worth running in bands.
bool SpareThreadAtHand(const TWorkContext& work);

class TSpareThreads {
 public:
  TSpareThreads() = default;
  TSpareThreads(const TSpareThreads&) = delete;
  TSpareThreads& operator=(const TSpareThreads&) = delete;

  // The threads are lent to a piece of work through a TWorkContext naming them.

  // The calling thread has nothing else to do: it takes bands of other threads until Close().
  void Help();
  // Ends every Help(); bands posted later run on their own threads alone.
  void Close();

 private:
  struct TTask;
  friend void ForEachBand(const TWorkContext&, int, int, const std::function<void(int, int)>&);
  friend bool SpareThreadAtHand(const TWorkContext&);
  friend class THandOff;
  // Puts task where helpers find it (always, or only when a helper waits that no other task
  // posted has claimed), and takes it back once no helper works on it.
  void Post(TTask& task);
  bool PostIfOneWaits(TTask& task);
  void Withdraw(TTask& task);
  // A helper waits in Help() and Close() has not been called.
  bool OneWaits();

  std::mutex mutex_;
  std::condition_variable posted_;    // a task was posted, or Close()
  std::condition_variable released_;  // a helper left a task
  std::vector<TTask*> tasks_;
  int idle_ = 0;  // helpers waiting in Help()
  bool closed_ = false;
};

// Pieces of work handed to a spare thread one at a time while the calling thread goes on, as in
// a pipeline where the caller makes the next piece's input meanwhile. A piece no spare thread
// waits for runs at once on the calling thread, so pieces must not depend on their order.
class THandOff {
 public:
  // Hands off to the spare threads of work, if any; at most limit pieces are out at once.
  THandOff(const TWorkContext& work, int limit);
  // Waits for the pieces still out; their failures are dropped (Wait() reports them).
  ~THandOff();
  THandOff(const THandOff&) = delete;
  THandOff& operator=(const THandOff&) = delete;

  // True when a spare thread waits for work, so that a piece offered now would leave here.
  bool SpareThreadWaits() const;
  // Runs piece on a waiting spare thread, or here when none waits; with limit pieces out,
  // first waits for the oldest.
  void Offer(std::function<void()> piece);
  // Runs piece here at once (its failure leaves through this call), as the latest piece: for a
  // piece that needs no copy of its input when it does not leave.
  void RunHere(const std::function<void()>& piece);
  // Waits for every piece offered; rethrows the first failure of one.
  void Wait();
  // Waits for every piece before the latest one (Offer or RunHere), which may go on; rethrows
  // the first failure of one.
  void WaitAllButLatest();

 private:
  void FinishOldest();
  TSpareThreads* spare_;
  const int limit_;
  std::deque<std::unique_ptr<TSpareThreads::TTask>> pending_;
  std::exception_ptr error_;
  bool latest_out_ = false;  // the latest piece went to a spare thread (it is pending_.back())
};

}  // namespace qv
