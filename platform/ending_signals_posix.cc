#include <signal.h>

#include "platform/ending_signals.h"

namespace pellory {
namespace {

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int kCount = 4;
// The armed cleanups, oldest first, and how many there are.
constexpr int kMostCleanups = 4;
void (*volatile armed_cleanups[kMostCleanups])() = {};
volatile sig_atomic_t armed_count = 0;
struct sigaction saved_actions[kCount];
// How many holds are alive.
int holds = 0;

void EndingSet(sigset_t* set) {
  sigemptyset(set);
  for (int signal_number : kEndingSignals) sigaddset(set, signal_number);
}

extern "C" void CleanUpAndEnd(int signal_number) {
  for (int i = armed_count - 1; i >= 0; --i) armed_cleanups[i]();
  ::signal(signal_number, SIG_DFL);
  raise(signal_number);
}

}  // namespace

void ArmEndingSignals(void (*cleanup)()) {
  // The list changes with the signals held back, so a handler never sees
  // it half changed.
  EndingSignalsHeldBack held;
  for (int i = 0; i < armed_count; ++i) {
    if (armed_cleanups[i] == cleanup) return;
  }
  if (armed_count == kMostCleanups) return;
  armed_cleanups[armed_count] = cleanup;
  armed_count = armed_count + 1;
  if (armed_count > 1) return;
  struct sigaction action = {};
  action.sa_handler = CleanUpAndEnd;
  sigemptyset(&action.sa_mask);
  for (int i = 0; i < kCount; ++i) {
    sigaction(kEndingSignals[i], &action, &saved_actions[i]);
  }
}

void DisarmEndingSignals(void (*cleanup)()) {
  EndingSignalsHeldBack held;
  int kept = 0;
  for (int i = 0; i < armed_count; ++i) {
    if (armed_cleanups[i] != cleanup)
      armed_cleanups[kept++] = armed_cleanups[i];
  }
  const bool was_armed = armed_count > 0;
  armed_count = kept;
  if (!was_armed || kept > 0) return;
  for (int i = 0; i < kCount; ++i) {
    sigaction(kEndingSignals[i], &saved_actions[i], nullptr);
  }
}

// The held-back signals are released by unblocking them, not by restoring
// a saved mask: the process never blocks them otherwise. Holds nest: the
// outermost one releases them.
EndingSignalsHeldBack::EndingSignalsHeldBack() {
  if (holds++ > 0) return;
  sigset_t ending;
  EndingSet(&ending);
  sigprocmask(SIG_BLOCK, &ending, nullptr);
}

EndingSignalsHeldBack::~EndingSignalsHeldBack() {
  if (--holds > 0) return;
  sigset_t ending;
  EndingSet(&ending);
  sigprocmask(SIG_UNBLOCK, &ending, nullptr);
}

}  // namespace pellory
