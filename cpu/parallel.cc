#include "cpu/parallel.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "cpu/threads.h"

namespace pellory {
namespace {

int chosen_threads = 0;  // 0: not decided yet
bool split_small_work = false;

// More threads than that only costs memory for their stacks.
constexpr long kMostThreads = 1024;

// The thread count PELLORY_THREADS asks for, or every core; `*problem`
// says what was wrong with a value that was not used as it stands.
int ThreadCountFromEnvironment(std::string* problem) {
  const char* text = std::getenv("PELLORY_THREADS");
  if (text == nullptr) return UsableCores();
  char* end = nullptr;
  errno = 0;
  const long threads = std::strtol(text, &end, 10);
  const std::string variable = std::string("PELLORY_THREADS=") + text;
  if (end == text || *end != '\0' || threads < 1 || errno == ERANGE) {
    *problem = variable +
               " is not a positive whole number; every core is "
               "used (" +
               std::to_string(UsableCores()) + " threads)";
    return UsableCores();
  }
  if (threads > kMostThreads) {
    *problem = variable + " is more threads than Pellory starts; " +
               std::to_string(kMostThreads) + " are used";
    return static_cast<int>(kMostThreads);
  }
  return static_cast<int>(threads);
}

// Threads that stay for the process's life, waiting for parts to run: a
// load hands out work for every chunk of its file, and starting a thread
// each time would cost more than some chunks' work. The calling thread
// takes parts too, so every part runs even where the system gives no
// thread (a process limit).
class Workers {
 public:
  void Run(int parts, const std::function<void(int part)>& work) {
    AddWorkers(parts - 1);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      work_ = &work;
      parts_ = parts;
      next_part_ = 0;
      unfinished_ = parts;
      caller_core_ = CurrentCore();
      round_.fetch_add(1);
    }
    more_work_.notify_all();
    std::unique_lock<std::mutex> lock(mutex_);
    RunParts(lock);
    lock.unlock();
    SpinWhile([this] { return unfinished_.load() != 0; });
    lock.lock();
    all_done_.wait(lock, [this] { return unfinished_ == 0; });
    work_ = nullptr;
  }

 private:
  void AddWorkers(int wanted) {
    for (; workers_ < wanted; ++workers_) {
      // A thread starts after the round it is started for: it takes that
      // round's parts too.
      const unsigned long seen = round_.load();
      if (!StartHelperThread([this, seen] { Wait(seen); })) return;
    }
  }

  // Runs parts until none is left to take. Called with `lock` held.
  void RunParts(std::unique_lock<std::mutex>& lock) {
    while (work_ != nullptr && next_part_ < parts_) {
      const int part = next_part_++;
      const std::function<void(int)>& work = *work_;
      lock.unlock();
      work(part);
      lock.lock();
      if (--unfinished_ == 0) all_done_.notify_one();
    }
  }

  void Wait(unsigned long seen) {
    for (;;) {
      // On the calling thread's core, waiting without sleeping only takes
      // turns with it (which then runs every part itself): there the
      // helper sleeps, and the system wakes it on a core of its choosing.
      SpinWhile([&] {
        const int core = CurrentCore();
        return round_.load() == seen &&
               (core < 0 || core != caller_core_.load());
      });
      std::unique_lock<std::mutex> lock(mutex_);
      more_work_.wait(lock, [&] { return round_.load() != seen; });
      seen = round_.load();
      RunParts(lock);
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
  const std::function<void(int)>* work_ = nullptr;
  int parts_ = 0;
  int next_part_ = 0;
  std::atomic<int> unfinished_{0};
  std::atomic<unsigned long> round_{0};
  // The core the calling thread ran on when it handed out the round.
  std::atomic<int> caller_core_{-1};
  int workers_ = 0;
};

}  // namespace

int ThreadCount() {
  std::string ignored;
  if (chosen_threads == 0)
    chosen_threads = ThreadCountFromEnvironment(&ignored);
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

std::string ThreadCountProblem() {
  std::string problem;
  ThreadCountFromEnvironment(&problem);
  return problem;
}

}  // namespace pellory
