#include <signal.h>

#include "platform/ending_signals.h"

namespace pellory {
namespace {

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int kCount = 4;
struct sigaction saved_actions[kCount];
// How many holds are alive.
int holds = 0;

void EndingSet(sigset_t* set) {
  sigemptyset(set);
  for (int signal_number : kEndingSignals) sigaddset(set, signal_number);
}

extern "C" void CleanUpAndEnd(int signal_number) {
  ending_signals::RunArmedCleanups();
  ::signal(signal_number, SIG_DFL);
  raise(signal_number);
}

}  // namespace

namespace ending_signals {

void InstallHandlers() {
  struct sigaction action = {};
  action.sa_handler = CleanUpAndEnd;
  sigemptyset(&action.sa_mask);
  for (int i = 0; i < kCount; ++i) {
    sigaction(kEndingSignals[i], &action, &saved_actions[i]);
  }
}

void RestoreHandlers() {
  for (int i = 0; i < kCount; ++i) {
    sigaction(kEndingSignals[i], &saved_actions[i], nullptr);
  }
}

}  // namespace ending_signals

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
