// What the command-line forms share: their exit statuses, how they say a
// command line is wrong, "-" as the standard streams, and loading a signal
// with the reason a load failed. A form's status lines go to standard
// error (ErrorsConsole), so that standard output carries the result alone.
#ifndef PELLORY_HOST_CLI_FORM_H_
#define PELLORY_HOST_CLI_FORM_H_

#include <string>
#include <string_view>
#include <vector>

#include "host/signal/signal.h"
#include "host/signal/signal_format.h"
#include "platform/console.h"

namespace pellory {

// Exit statuses of every form: done, the work failed, the command line was
// wrong.
constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// For a form's own argument errors: says `problem` and how to get help on
// `console.err`, and returns kExitUsage.
int UsageError(const Console& console, const std::string& problem);

// The name a form reads or writes for `argument`: "-" is `standard` (the
// file seam's name for standard input or output), anything else a file.
std::string StreamOrFile(const std::string& argument,
                         std::string_view standard);

// Loads `name` as the editor's Load does, every channel of an audio file
// into a signal of its own and its format into `format`, the status line
// on standard error; a failure's reason (and a backup an interrupted save
// left) goes to `console.err`. False when nothing was loaded.
bool LoadForForm(const Console& console, const std::string& name,
                 std::vector<Signal>* channels, SignalFormat* format);

}  // namespace pellory

#endif  // PELLORY_HOST_CLI_FORM_H_
