// Splitting the work of one action (a load, a filter) across the cores the
// process may run on. A split call returns only when every part is done,
// so actions, messages and plug-in calls keep their order on the calling
// thread; each part writes only its own share of the result, so the result
// is the same bit for bit whatever the number of threads.
#ifndef PELLORY_CPU_PARALLEL_H_
#define PELLORY_CPU_PARALLEL_H_

#include <cstdint>
#include <functional>
#include <string>

namespace pellory {

// How many threads one action may use: PELLORY_THREADS when it holds a
// positive number (1: the calling thread alone), otherwise every core the
// process may run on. Decided once per process, unless a test chose.
int ThreadCount();
// What is wrong with PELLORY_THREADS, where it is set to a value not used
// as it stands (not a positive whole number, or more threads than are
// started), and what is used instead; "" when nothing is. For the program
// to say once: the plug-ins decide alike and say nothing.
std::string ThreadCountProblem();
// For tests: `threads` from now on and, with `split_small_work`, work of
// any size split, so that splits fall everywhere.
void UseThreadCount(int threads, bool split_small_work = false);

// How many parts `items` splits into: at most ThreadCount(), and none
// smaller than `smallest` items (small work stays on one thread).
int PartsFor(int64_t items, int64_t smallest);

// Runs work(part) for every part in [0, parts), side by side on the calling
// thread and threads that wait for such work. Returns when all are done.
// Not to be called from inside `work`.
void RunParts(int parts, const std::function<void(int part)>& work);

// The first item of part `part` of `parts` over items [first, first +
// items): the parts are consecutive, their sizes differ by at most one.
inline int64_t PartStart(int64_t first, int64_t items, int part, int parts) {
  return first + items * part / parts;
}

}  // namespace pellory

#endif  // PELLORY_CPU_PARALLEL_H_
