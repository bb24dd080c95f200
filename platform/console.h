// The console services the menus need beyond plain streams: clearing the
// screen and waiting for one key press.
//
// Terminal effects apply only to the process's own terminal: the menus pass
// std::cout / std::cin when they run for a user, and string streams in tests,
// which these functions treat as plain text.
#ifndef PELLORY_PLATFORM_CONSOLE_H_
#define PELLORY_PLATFORM_CONSOLE_H_

#include <iosfwd>

namespace pellory {

// Clears the screen when `out` is standard output and standard output is a
// terminal. Writes nothing otherwise, so a pipe or a file receives exactly
// the texts printed between clears.
void ClearScreen(std::ostream& out);

// Waits for one key press. On a terminal (`in` is std::cin and standard input
// is a terminal) it reads one key without echo and without waiting for Enter
// and restores the terminal settings afterwards, also when the key is the
// interrupt or quit character, which is then delivered as its signal.
// Otherwise it consumes one character of `in`, or nothing at end of input.
// Pending output on `out` is flushed first so the user sees what to read.
void WaitForKey(std::istream& in, std::ostream& out);

}  // namespace pellory

#endif  // PELLORY_PLATFORM_CONSOLE_H_
