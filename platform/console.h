// The console the menus talk through: its streams and the two terminal
// services beyond plain text, clearing the screen and waiting for one key.
//
// Whether standard input and output are terminals is decided once, at
// start-up, and travels with the streams: terminal effects happen only on a
// terminal, so a pipe, a file or a test's string stream receives exactly the
// texts printed.
#ifndef PELLORY_PLATFORM_CONSOLE_H_
#define PELLORY_PLATFORM_CONSOLE_H_

#include <istream>
#include <ostream>
#include <string>
#include <string_view>

namespace pellory {

struct Console {
  std::istream& in;
  std::ostream& out;
  std::ostream& err;
  // Whether `in` reads the process's terminal.
  bool input_is_terminal = false;
  // Whether `out` writes to the process's terminal.
  bool output_is_terminal = false;
};

// Whether the process's standard input and standard output are terminals.
bool StandardInputIsTerminal();
bool StandardOutputIsTerminal();

// Clears the screen on a terminal; writes nothing otherwise.
void ClearScreen(const Console& console);

// `text` with every character the terminal would act on shown as '?', as
// ls does: a file name must not move the cursor, clear the screen or set
// the terminal's title.
std::string ShownOnTerminal(std::string_view text);

// Waits for one key press. On a terminal it reads one key without echo and
// without waiting for Enter and restores the terminal settings afterwards,
// also when the key is the interrupt or quit character, which is then
// delivered as its signal. Otherwise it consumes one character of the
// input, or nothing at end of input. Pending output is flushed first so the
// user sees what to read.
void WaitForKey(const Console& console);

}  // namespace pellory

#endif  // PELLORY_PLATFORM_CONSOLE_H_
