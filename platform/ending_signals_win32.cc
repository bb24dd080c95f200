// The C runtime's signals on Windows: Ctrl-C (SIGINT), Ctrl-Break
// (SIGBREAK) and SIGTERM. There is no mask to hold them back with, so a
// flag defers them while a step must not be cut short.
#include <csignal>

#include "platform/ending_signals.h"

namespace pellory {
namespace {

constexpr int kEndingSignals[] = {SIGINT, SIGBREAK, SIGTERM};
constexpr int kCount = 3;
void (*saved_handlers[kCount])(int);
volatile std::sig_atomic_t held_back = 0;
volatile std::sig_atomic_t deferred = 0;

void CleanUpAndEnd(int signal_number) {
  if (held_back) {
    deferred = signal_number;
    std::signal(signal_number, CleanUpAndEnd);
    return;
  }
  ending_signals::RunArmedCleanups();
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

}  // namespace

namespace ending_signals {

void InstallHandlers() {
  for (int i = 0; i < kCount; ++i) {
    saved_handlers[i] = std::signal(kEndingSignals[i], CleanUpAndEnd);
  }
}

void RestoreHandlers() {
  for (int i = 0; i < kCount; ++i) {
    std::signal(kEndingSignals[i], saved_handlers[i]);
  }
}

}  // namespace ending_signals

// Holds nest: the outermost one releases the signals.
EndingSignalsHeldBack::EndingSignalsHeldBack() { held_back = held_back + 1; }

EndingSignalsHeldBack::~EndingSignalsHeldBack() {
  held_back = held_back - 1;
  if (held_back > 0) return;
  if (deferred != 0) {
    const int signal_number = deferred;
    deferred = 0;
    CleanUpAndEnd(signal_number);
  }
}

}  // namespace pellory
