// The threads that help the main one: how many cores they may use, and
// how they start.
#ifndef PELLORY_CPU_THREADS_H_
#define PELLORY_CPU_THREADS_H_

#include <functional>

namespace pellory {

// How many cores the system lets this process run on (its affinity mask),
// at least 1.
int UsableCores();

// The core the calling thread runs on now, or -1 where the system does not
// say.
int CurrentCore();

// Runs `run` on a thread of its own, detached, that takes no signal sent to
// the process: those stay the main thread's, which holds them back and
// handles them. False when the system gives no thread (a process limit).
bool StartHelperThread(std::function<void()> run);

}  // namespace pellory

#endif  // PELLORY_CPU_THREADS_H_
