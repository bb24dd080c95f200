// The command-line forms around the editor: help, version, applying
// filters to a file, a summary of signals, a picture of one. With no
// arguments the program is the interactive editor; these forms use its
// loader, its plug-ins and its saver.
#ifndef PELLORY_HOST_CLI_COMMAND_LINE_H_
#define PELLORY_HOST_CLI_COMMAND_LINE_H_

#include <string>
#include <vector>

#include "platform/console.h"

namespace pellory {

// Runs the form `arguments` (the program's arguments, its name not among
// them, at least one) ask for. Results go to `console.out` (standard
// output); reasons and status lines to `console.err` (standard error).
// Returns the exit status.
int RunCommandLine(const Console& console,
                   const std::vector<std::string>& arguments);

}  // namespace pellory

#endif  // PELLORY_HOST_CLI_COMMAND_LINE_H_
