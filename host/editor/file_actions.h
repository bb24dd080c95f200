// The editor's file actions behind the main menu's Load, Save, Save as and
// Display, which the command-line forms reuse: each works on a signal and
// says what it has to tell the user as a Notice.
#ifndef PELLORY_HOST_EDITOR_FILE_ACTIONS_H_
#define PELLORY_HOST_EDITOR_FILE_ACTIONS_H_

#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "host/signal/signal.h"
#include "host/signal/signal_format.h"
#include "platform/console.h"

namespace pellory {

// What an action has to tell the user once the screen is cleared, directly
// above the next menu: a message on standard output and, when something
// failed, its reason on standard error.
struct Notice {
  std::string message;
  std::string reason;
};

// Loads `file_name` into `signal`, a status line on `console.out` while it
// runs: "File loaded\n", or "File could not be loaded\n" and the reason,
// the signal left empty. A backup an interrupted save left beside the file
// is named too.
Notice LoadSignalFile(const Console& console, Signal* signal,
                      const std::string& file_name);

// The same for every channel of the file, each into a signal of its own,
// and its format into `format`.
Notice LoadChannelsFile(const Console& console, std::vector<Signal>* channels,
                        SignalFormat* format, const std::string& file_name);

// Saves `signal`, if any, to `file_name`: Save in the signal's format, and
// Save as (`new_name`) in the format the name's extension chooses, which
// the signal keeps. A failure's reason says the signal is still loaded, a
// signal without samples that there is nothing to save, and a save that
// clipped samples to the file's width how many.
Notice SaveSignalFile(const Console& console, Signal* signal,
                      const std::string& file_name, bool new_name);

// Saves `channels` to `file_name` in `format`, a status line on
// `console.out` while it runs: the reason (also in `err`) where it fails,
// how many samples it clipped to the format's width where it did.
Notice SaveChannelsFile(const Console& console,
                        std::span<const Signal* const> channels,
                        const SignalFormat& format,
                        const std::string& file_name, std::string* err);

// Prints `signal`, if any, on `out`.
void DisplaySignal(std::ostream& out, const Signal* signal);

}  // namespace pellory

#endif  // PELLORY_HOST_EDITOR_FILE_ACTIONS_H_
