#include "cpu/parallel.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/cores.h"

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
  const int64_t most = std::max<int64_t>(items / std::max<int64_t>(smallest, 1), 1);
  return static_cast<int>(std::min<int64_t>(ThreadCount(), most));
}

void RunParts(int parts, const std::function<void(int part)>& work) {
  std::vector<std::thread> helpers;
  helpers.reserve(static_cast<size_t>(std::max(parts - 1, 0)));
  // A part whose thread the system will not give (a process limit) runs
  // on the calling thread, after part 0: parts never depend on their order.
  std::vector<int> left;
  for (int part = 1; part < parts; ++part) {
    try {
      helpers.emplace_back(work, part);
    } catch (const std::system_error&) {
      left.push_back(part);
    }
  }
  if (parts > 0) work(0);
  for (int part : left) work(part);
  for (std::thread& helper : helpers) helper.join();
}

}  // namespace pellory
