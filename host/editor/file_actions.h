// The editor's file actions behind the main menu's Load, Save, Save as and
// Display, which the command-line forms reuse: each works on a signal and
// says what it has to tell the user as a Notice.
#ifndef PELLORY_HOST_EDITOR_FILE_ACTIONS_H_
#define PELLORY_HOST_EDITOR_FILE_ACTIONS_H_

#include <ostream>
#include <string>

#include "host/signal/signal.h"
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

// Saves `signal`, if any, to `file_name` (Save with the current file name,
// Save as with a new one); a failure's reason says the signal is still
// loaded, and a signal without samples that there is nothing to save.
Notice SaveSignalFile(const Console& console, const Signal* signal,
                      const std::string& file_name);

// Prints `signal`, if any, on `out`.
void DisplaySignal(std::ostream& out, const Signal* signal);

}  // namespace pellory

#endif  // PELLORY_HOST_EDITOR_FILE_ACTIONS_H_
