// The list of armed cleanups every platform's ending-signal handlers run.
#include "platform/ending_signals.h"

#include <csignal>

namespace pellory {
namespace {

// The armed cleanups, oldest first, and how many there are: read by the
// handlers, so changed only with the signals held back.
constexpr int kMostCleanups = 4;
void (*volatile armed_cleanups[kMostCleanups])() = {};
volatile std::sig_atomic_t armed_count = 0;

}  // namespace

void ArmEndingSignals(void (*cleanup)()) {
  EndingSignalsHeldBack held;
  for (int i = 0; i < armed_count; ++i) {
    if (armed_cleanups[i] == cleanup) return;
  }
  if (armed_count == kMostCleanups) return;
  armed_cleanups[armed_count] = cleanup;
  armed_count = armed_count + 1;
  if (armed_count == 1) ending_signals::InstallHandlers();
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
  if (was_armed && kept == 0) ending_signals::RestoreHandlers();
}

namespace ending_signals {

void RunArmedCleanups() {
  for (int i = armed_count - 1; i >= 0; --i) armed_cleanups[i]();
}

}  // namespace ending_signals
}  // namespace pellory
