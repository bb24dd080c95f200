// The command-line forms around the editor: help, version, applying
// filters to a file, a summary of signals, a picture of one. With no
// arguments the program is the interactive editor; these forms use its
// loader, its plug-ins and its saver.
#ifndef PELLORY_HOST_COMMAND_LINE_H_
#define PELLORY_HOST_COMMAND_LINE_H_

#include <string>
#include <vector>

#include "platform/console.h"

namespace pellory {

// Exit statuses of every form: done, the work failed, the command line was
// wrong.
constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// Runs the form `arguments` (the program's arguments, its name not among
// them, at least one) ask for. Results go to `console.out` (standard
// output); reasons and status lines to `console.err` (standard error).
// Returns the exit status.
int RunCommandLine(const Console& console,
                   const std::vector<std::string>& arguments);

// For a form's own argument errors: says `problem` and how to get help on
// `console.err`, and returns kExitUsage.
int UsageError(const Console& console, const std::string& problem);

// A console for a form's work: its status line, where there is one, on
// standard error, so that standard output carries the result alone.
Console WorkConsole(const Console& console);

}  // namespace pellory

#endif  // PELLORY_HOST_COMMAND_LINE_H_
