// The C runtime's signals on Windows: Ctrl-C (SIGINT), Ctrl-Break
// (SIGBREAK) and SIGTERM. There is no mask to hold them back with, so a
// flag defers them while a step must not be cut short.
#include <csignal>

#include "platform/ending_signals.h"

namespace pellory {
namespace {

constexpr int kEndingSignals[] = {SIGINT, SIGBREAK, SIGTERM};
constexpr int kCount = 3;
// The armed cleanups, oldest first, and how many there are.
constexpr int kMostCleanups = 4;
void (*volatile armed_cleanups[kMostCleanups])() = {};
volatile std::sig_atomic_t armed_count = 0;
void (*saved_handlers[kCount])(int);
volatile std::sig_atomic_t held_back = 0;
volatile std::sig_atomic_t deferred = 0;

void CleanUpAndEnd(int signal_number) {
  if (held_back) {
    deferred = signal_number;
    std::signal(signal_number, CleanUpAndEnd);
    return;
  }
  for (int i = armed_count - 1; i >= 0; --i) armed_cleanups[i]();
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
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
  for (int i = 0; i < kCount; ++i) {
    saved_handlers[i] = std::signal(kEndingSignals[i], CleanUpAndEnd);
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
    std::signal(kEndingSignals[i], saved_handlers[i]);
  }
}

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
