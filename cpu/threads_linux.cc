#include <sched.h>
#include <signal.h>

#include <system_error>
#include <thread>

#include "cpu/threads.h"

namespace pellory {

int UsableCores() {
  cpu_set_t cores;
  if (sched_getaffinity(0, sizeof(cores), &cores) != 0) return 1;
  const int count = CPU_COUNT(&cores);
  return count > 0 ? count : 1;
}

int CurrentCore() { return sched_getcpu(); }

bool StartHelperThread(std::function<void()> run) {
  // A new thread starts with its creator's signal mask: every signal sent
  // to the process blocked from its first instruction on. The faults its
  // own instructions raise stay its own.
  sigset_t sent;
  sigset_t before;
  sigfillset(&sent);
  for (const int fault : {SIGBUS, SIGSEGV, SIGFPE, SIGILL, SIGTRAP, SIGSYS}) {
    sigdelset(&sent, fault);
  }
  pthread_sigmask(SIG_SETMASK, &sent, &before);
  bool started = true;
  try {
    std::thread(std::move(run)).detach();
  } catch (const std::system_error&) {
    started = false;
  }
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  return started;
}

}  // namespace pellory
