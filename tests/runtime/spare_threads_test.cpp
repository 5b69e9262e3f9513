// Tests of sharing a loop's bands with spare threads: each item done once, by whichever thread
// comes by, and a band's failure reaching the thread that runs the loop.
#include "runtime/spare_threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

namespace qv {
namespace {

using namespace std::chrono_literals;

// Counts how often each item of a loop is done and which threads did bands.
struct Tally {
  explicit Tally(int count) : done(static_cast<std::size_t>(count)) {}
  void Band(int first, int last) {
    {
      std::lock_guard lock(mutex);
      threads.insert(std::this_thread::get_id());
      bands.emplace_back(first, last);
    }
    for (int i = first; i < last; ++i) ++done[static_cast<std::size_t>(i)];
  }
  bool EachOnce() const {
    for (const auto& d : done)
      if (d != 1) return false;
    return true;
  }
  std::vector<std::atomic<int>> done;
  std::mutex mutex;
  std::set<std::thread::id> threads;
  std::vector<std::pair<int, int>> bands;
};

TEST(ForEachBand, AloneTheBandsRunInOrderOnTheCallingThread) {
  for (auto [count, band] : {std::pair{10, 3}, {9, 3}, {1, 5}, {5, 1}, {7, 0}}) {
    Tally tally(count);
    ForEachBand(TWorkContext(), count, band, [&](int first, int last) { tally.Band(first, last); });
    EXPECT_TRUE(tally.EachOnce()) << count << " in bands of " << band;
    EXPECT_EQ(tally.threads, std::set{std::this_thread::get_id()});
    for (std::size_t i = 1; i < tally.bands.size(); ++i)
      EXPECT_EQ(tally.bands[i].first, tally.bands[i - 1].second);
    EXPECT_EQ(tally.bands.back().second, count);
  }
  int calls = 0;
  ForEachBand(TWorkContext(), 0, 4, [&](int, int) { ++calls; });
  EXPECT_EQ(calls, 0);
}

TEST(ForEachBand, SpareThreadsTakeBandsAlsoWhenTheyComeLate) {
  TSpareThreads spare;
  std::thread early([&] { spare.Help(); });
  std::thread late;
  {
    Tally tally(200);
    std::atomic<bool> started{false};
    ForEachBand(TWorkContext(spare), 200, 1, [&](int first, int last) {
      if (!started.exchange(true)) late = std::thread([&] { spare.Help(); });
      std::this_thread::sleep_for(1ms);
      tally.Band(first, last);
    });
    EXPECT_TRUE(tally.EachOnce());
    EXPECT_EQ(tally.threads.size(), 3u) << "the caller, the early and the late helper";
  }
  // A work alone: the loop stays on the calling thread though helpers wait.
  Tally alone(50);
  ForEachBand(TWorkContext(), 50, 1, [&](int first, int last) { alone.Band(first, last); });
  EXPECT_EQ(alone.threads, std::set{std::this_thread::get_id()});
  spare.Close();
  early.join();
  late.join();
}

TEST(ForEachBand, SeveralLoopsShareTheHelpersAndAFailureReachesItsOwnLoop) {
  TSpareThreads spare;
  std::thread helper([&] { spare.Help(); });
  // One context, used on two threads at once: it names the helpers, not a thread.
  const TWorkContext work(spare);
  std::atomic<int> good_items{0};
  std::string failure;
  std::thread failing([&] {
    try {
      ForEachBand(work, 100, 1, [&](int first, int) {
        std::this_thread::sleep_for(500us);
        if (first == 40) throw std::runtime_error("band 40 failed");
      });
    } catch (const std::runtime_error& error) {
      failure = error.what();
    }
  });
  ForEachBand(work, 100, 1, [&](int first, int last) {
    std::this_thread::sleep_for(500us);
    good_items += last - first;
  });
  failing.join();
  EXPECT_EQ(failure, "band 40 failed");
  EXPECT_EQ(good_items, 100);
  // The helper is free again for the next loop.
  {
    Tally tally(100);
    ForEachBand(work, 100, 1, [&](int first, int last) {
      std::this_thread::sleep_for(500us);
      tally.Band(first, last);
    });
    EXPECT_TRUE(tally.EachOnce());
  }
  spare.Close();
  helper.join();
}

TEST(SpareThreadAtHand, WhenOneWaitsOrTheWorkExpectsOne) {
  EXPECT_FALSE(SpareThreadAtHand(TWorkContext()));  // alone
  TSpareThreads spare;
  const TWorkContext expecting(spare, true);
  const TWorkContext plain(spare);
  EXPECT_TRUE(SpareThreadAtHand(expecting));  // expected, though none waits yet
  EXPECT_FALSE(SpareThreadAtHand(plain));     // lent, but none helps yet
  std::thread helper([&] { spare.Help(); });
  while (!SpareThreadAtHand(plain)) std::this_thread::sleep_for(1ms);  // one waits now
  EXPECT_TRUE(SpareThreadAtHand(expecting));
  EXPECT_FALSE(SpareThreadAtHand(TWorkContext()));  // one waits, but not for this work
  spare.Close();
  EXPECT_FALSE(SpareThreadAtHand(expecting));  // closed: none will come
  EXPECT_FALSE(SpareThreadAtHand(plain));
  helper.join();
}

TEST(HandOff, PiecesGoToAWaitingSpareThreadAndRunHereWhenNoneWaits) {
  const auto here = std::this_thread::get_id();
  // Alone: every piece runs at once, here.
  {
    THandOff alone(TWorkContext(), 2);
    EXPECT_FALSE(alone.SpareThreadWaits());
    std::vector<std::thread::id> ran;
    for (int i = 0; i < 3; ++i) alone.Offer([&] { ran.push_back(std::this_thread::get_id()); });
    EXPECT_EQ(ran, std::vector<std::thread::id>(3, here));
  }
  TSpareThreads spare;
  const TWorkContext work(spare);
  {
    THandOff busy(work, 2);  // no helper yet
    std::thread::id ran;
    busy.Offer([&] { ran = std::this_thread::get_id(); });
    EXPECT_EQ(ran, here);
  }
  std::thread helper([&] { spare.Help(); });
  THandOff hand_off(work, 2);
  while (!hand_off.SpareThreadWaits()) std::this_thread::yield();
  // The first piece leaves; the second finds the helper busy and runs here. The third waits for
  // the oldest only at the limit: with one out it is offered at once.
  std::atomic<bool> release{false};
  std::atomic<int> out{0};
  std::mutex mutex;
  std::vector<std::thread::id> ran(3);
  hand_off.Offer([&] {
    ++out;
    while (!release) std::this_thread::yield();
    std::lock_guard lock(mutex);
    ran[0] = std::this_thread::get_id();
  });
  while (out == 0) std::this_thread::yield();
  EXPECT_FALSE(hand_off.SpareThreadWaits());
  hand_off.Offer([&] {
    std::lock_guard lock(mutex);
    ran[1] = std::this_thread::get_id();
  });
  EXPECT_EQ(ran[1], here);
  release = true;
  hand_off.Wait();
  EXPECT_EQ(ran[0], helper.get_id());
  // A failed piece is told by Wait(), once, whichever thread ran it.
  while (!hand_off.SpareThreadWaits()) std::this_thread::yield();
  hand_off.Offer([] { throw std::runtime_error("piece failed"); });
  hand_off.Offer([&] { ran[2] = std::this_thread::get_id(); });
  EXPECT_THROW(
      {
        try {
          hand_off.Wait();
        } catch (const std::runtime_error& error) {
          EXPECT_STREQ(error.what(), "piece failed");
          throw;
        }
      },
      std::runtime_error);
  EXPECT_NO_THROW(hand_off.Wait());
  EXPECT_NE(ran[2], std::thread::id());
  spare.Close();
  helper.join();
}

TEST(HandOff, AtTheLimitAnOfferWaitsForTheOldestPiece) {
  TSpareThreads spare;
  std::vector<std::thread> helpers;
  for (int i = 0; i < 3; ++i) helpers.emplace_back([&] { spare.Help(); });
  {
    THandOff hand_off(TWorkContext(spare), 2);
    std::atomic<int> running{0}, most{0}, done{0};
    for (int i = 0; i < 12; ++i) {
      hand_off.Offer([&] {
        int now = ++running;
        for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {
        }
        std::this_thread::sleep_for(2ms);
        --running;
        ++done;
      });
    }
    hand_off.Wait();
    EXPECT_EQ(done, 12);
    EXPECT_LE(most, 2) << "at most two pieces out, the caller running none beside them";
  }
  spare.Close();
  for (std::thread& helper : helpers) helper.join();
}

TEST(HandOff, WaitingForAllButTheLatestLeavesOnlyThatOneOut) {
  TSpareThreads spare;
  std::vector<std::thread> helpers;
  for (int i = 0; i < 3; ++i) helpers.emplace_back([&] { spare.Help(); });
  {
    THandOff hand_off(TWorkContext(spare), 3);
    std::atomic<bool> release{false}, last_done{false};
    std::atomic<int> started{0}, done{0};
    // Two pieces that take a while, each taken by a helper before the next is offered, then one
    // that waits for release on the third helper: after the wait the first two are done and the
    // latest is still out.
    for (int i = 0; i < 2; ++i) {
      while (!hand_off.SpareThreadWaits()) std::this_thread::yield();
      hand_off.Offer([&] {
        ++started;
        std::this_thread::sleep_for(20ms);
        ++done;
      });
      while (started == i) std::this_thread::yield();
    }
    while (!hand_off.SpareThreadWaits()) std::this_thread::yield();
    hand_off.Offer([&] {
      while (!release) std::this_thread::yield();
      last_done = true;
    });
    hand_off.WaitAllButLatest();
    EXPECT_EQ(done, 2);
    EXPECT_FALSE(last_done);
    release = true;
    hand_off.Wait();
    EXPECT_TRUE(last_done);
    // Work run here counts as the latest piece: the one offered before it is waited for.
    while (!hand_off.SpareThreadWaits()) std::this_thread::yield();
    hand_off.Offer([&] {
      ++started;
      std::this_thread::sleep_for(20ms);
      ++done;
    });
    while (started == 2) std::this_thread::yield();
    bool ran_here = false;
    hand_off.RunHere([&] { ran_here = true; });
    EXPECT_TRUE(ran_here);
    hand_off.WaitAllButLatest();
    EXPECT_EQ(done, 3);
    // A failure of an earlier piece is told by this wait too.
    while (!hand_off.SpareThreadWaits()) std::this_thread::yield();
    hand_off.Offer([] { throw std::runtime_error("piece failed"); });
    hand_off.Offer([] {});
    EXPECT_THROW(hand_off.WaitAllButLatest(), std::runtime_error);
  }
  spare.Close();
  for (std::thread& helper : helpers) helper.join();
}

}  // namespace
}  // namespace qv
