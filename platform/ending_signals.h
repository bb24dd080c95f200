// Cleaning up before the signals that end the process: SIGINT, SIGTERM,
// SIGHUP and SIGQUIT. Used where the process leaves something behind if it
// ends at the wrong moment: a terminal in raw mode, a temporary file.
#ifndef PELLORY_PLATFORM_ENDING_SIGNALS_H_
#define PELLORY_PLATFORM_ENDING_SIGNALS_H_

namespace pellory {

// Until DisarmEndingSignals(`cleanup`), an ending signal first runs
// `cleanup`, which must be async-signal-safe, then ends the process as it
// would have. Several cleanups may be armed at once (a temporary file and
// the status line on the screen, say): the newest runs first. Once the last
// is disarmed, the handlers from before are back.
void ArmEndingSignals(void (*cleanup)());
void DisarmEndingSignals(void (*cleanup)());

// Holds the ending signals back while it lives: they arrive once it is
// gone, so that a step and what a cleanup knows of it change together.
class EndingSignalsHeldBack {
 public:
  EndingSignalsHeldBack();
  ~EndingSignalsHeldBack();
  EndingSignalsHeldBack(const EndingSignalsHeldBack&) = delete;
  EndingSignalsHeldBack& operator=(const EndingSignalsHeldBack&) = delete;
};

// What each platform's file provides to the list of cleanups
// (ending_signals.cc): its handlers, put in place once the first cleanup
// is armed and taken away once the last is disarmed. The handlers run
// RunArmedCleanups before the signal ends the process.
namespace ending_signals {
void InstallHandlers();
void RestoreHandlers();
void RunArmedCleanups();
}  // namespace ending_signals

}  // namespace pellory

#endif  // PELLORY_PLATFORM_ENDING_SIGNALS_H_
