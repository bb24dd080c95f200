#include "cpu/parallel.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/threads.h"

namespace pellory {
namespace {

int chosen_threads = 0;  // 0: not decided yet
bool split_small_work = false;

int ThreadCountFromEnvironment() {
  if (const char* text = std::getenv("PELLORY_THREADS")) {
    char* end = nullptr;
    const long threads = std::strtol(text, &end, 10);
    // More threads than that only costs memory for their stacks.
    if (end != text && *end == '\0' && threads >= 1) {
      return static_cast<int>(std::min(threads, 1024L));
    }
  }
  return UsableCores();
}

// Threads that stay for the process's life, waiting for parts to run: a
// load hands out work for every chunk of its file, and starting a thread
// each time would cost more than some chunks' work. The calling thread
// takes parts too, so every part runs even where the system gives no
// thread (a process limit).
//
// Parts are taken without a lock: on a virtual machine a thread that
// sleeps on a contended lock may take a millisecond to run again, longer
// than a chunk's work. The lock only guards sleeping and waking.
class Workers {
 public:
  void Run(int parts, const std::function<void(int part)>& work) {
    AddWorkers(parts - 1);
    work_ = &work;
    unfinished_.store(parts);
    ++round_;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      state_.store(round_ << kRoundShift | static_cast<uint64_t>(parts));
    }
    more_work_.notify_all();
    TakeParts();
    SpinWhile([this] { return unfinished_.load() != 0; });
    std::unique_lock<std::mutex> lock(mutex_);
    all_done_.wait(lock, [this] { return unfinished_.load() == 0; });
  }

 private:
  // The round in the high bits, the parts of it not yet taken in the low.
  static constexpr int kRoundShift = 32;
  static constexpr uint64_t kUntaken = (uint64_t{1} << kRoundShift) - 1;

  void AddWorkers(int wanted) {
    for (; workers_ < wanted; ++workers_) {
      // A thread started for this round takes its parts too.
      const uint64_t seen = round_;
      if (!StartHelperThread([this, seen] { Wait(seen); })) return;
    }
  }

  // Runs parts of the current round until none is left to take. A part
  // taken keeps its round current (unfinished) until it is done, so work_
  // is that round's.
  void TakeParts() {
    uint64_t state = state_.load();
    while ((state & kUntaken) != 0) {
      if (!state_.compare_exchange_weak(state, state - 1)) continue;
      (*work_)(static_cast<int>((state & kUntaken) - 1));
      if (unfinished_.fetch_sub(1) == 1) {
        std::lock_guard<std::mutex> lock(mutex_);
        all_done_.notify_one();
      }
      state = state_.load();
    }
  }

  void Wait(uint64_t seen) {
    const auto new_round = [&] { return state_.load() >> kRoundShift != seen; };
    for (;;) {
      SpinWhile([&] { return !new_round(); });
      {
        std::unique_lock<std::mutex> lock(mutex_);
        more_work_.wait(lock, new_round);
      }
      seen = state_.load() >> kRoundShift;
      TakeParts();
    }
  }

  // Waits a moment without sleeping while `waiting()`: a sleeping thread
  // may take a millisecond to run again (a virtual processor the host has
  // to schedule), and a load hands out work every few hundred microseconds.
  template <typename Condition>
  static void SpinWhile(Condition waiting) {
    const auto until = std::chrono::steady_clock::now() + kSpin;
    while (waiting() && std::chrono::steady_clock::now() < until) {
      std::this_thread::yield();
    }
  }
  static constexpr std::chrono::microseconds kSpin{2000};

  std::mutex mutex_;
  std::condition_variable more_work_;
  std::condition_variable all_done_;
  std::atomic<uint64_t> state_{0};
  std::atomic<int> unfinished_{0};
  // Written by the calling thread alone, before a round starts.
  const std::function<void(int)>* work_ = nullptr;
  uint64_t round_ = 0;
  int workers_ = 0;
};

}  // namespace

int ThreadCount() {
  if (chosen_threads == 0) chosen_threads = ThreadCountFromEnvironment();
  return chosen_threads;
}

void UseThreadCount(int threads, bool split_small) {
  chosen_threads = std::max(threads, 1);
  split_small_work = split_small;
}

int PartsFor(int64_t items, int64_t smallest) {
  if (split_small_work) smallest = 1;
  const int64_t most =
      std::max<int64_t>(items / std::max<int64_t>(smallest, 1), 1);
  return static_cast<int>(std::min<int64_t>(ThreadCount(), most));
}

void RunParts(int parts, const std::function<void(int part)>& work) {
  if (parts <= 1) {
    if (parts == 1) work(0);
    return;
  }
  // Never destroyed: its threads wait for work until the process ends.
  static Workers& workers = *new Workers;
  workers.Run(parts, work);
}

}  // namespace pellory
