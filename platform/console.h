// The console the menus talk through: its streams and the two terminal
// services beyond plain text, clearing the screen and waiting for one key.
//
// Whether standard input and output are terminals is decided once, at
// start-up, and travels with the streams: terminal effects happen only on a
// terminal, so a pipe, a file or a test's string stream receives exactly the
// texts printed.
#ifndef PELLORY_PLATFORM_CONSOLE_H_
#define PELLORY_PLATFORM_CONSOLE_H_

#include <atomic>
#include <chrono>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace pellory {

struct Console {
  std::istream& in;
  std::ostream& out;
  std::ostream& err;
  // Whether `in` reads the process's terminal.
  bool input_is_terminal = false;
  // Whether `out` writes to the process's terminal.
  bool output_is_terminal = false;
  // Whether `err` writes to the process's terminal.
  bool error_is_terminal = false;
  // Whether `out` is the process's standard error rather than its standard
  // output (a command line's status line, whose result goes to standard
  // output).
  bool out_is_standard_error = false;
};

// `console` with standard error as its `out` too (whether it is a
// terminal and all): for what goes to standard error while standard
// output carries a result.
Console ErrorsConsole(const Console& console);

// The program's arguments after its name, as the program keeps names: on
// Windows from the command line's UTF-16 into UTF-8 (any language);
// elsewhere as they are.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// Whether the process's standard input, output and error are terminals.
bool StandardInputIsTerminal();
bool StandardOutputIsTerminal();
bool StandardErrorIsTerminal();

// Gives standard output, when it is not a terminal, a buffer large enough
// for a long signal's text to go out in few writes (each write is a system
// call, and on Windows the runtime's text mode writes in small pieces).
// Called once, at start-up, before anything is written.
void BufferRedirectedOutput(const Console& console);

// Clears the screen on a terminal; writes nothing otherwise.
void ClearScreen(const Console& console);

// A name as the user typed it, in the form the program keeps and passes to
// the other seams: on Windows, read from the console's input code page (the
// ANSI code page when the input is redirected) into UTF-8; elsewhere as it
// is.
std::string NameFromInput(const Console& console, const std::string& typed);

// A name the program keeps, as it is written to `console.out` or
// `console.err`: on Windows in the console's output code page (the ANSI
// code page when the output is redirected); elsewhere as it is.
std::string NameForOutput(const Console& console, const std::string& name);

// Whether the last failed write to the standard output failed because its
// reader has gone (a pipe closed early): the run then ends quietly, as a
// pipe's writer does on Linux, where the signal for it has already ended
// the run.
bool OutputReaderGone();

// `text` with every character the terminal would act on shown as '?', as
// ls does: a file name must not move the cursor, clear the screen or set
// the terminal's title.
std::string ShownOnTerminal(std::string_view text);

// Waits for one key press. On a terminal it reads one key without echo and
// without waiting for Enter, the whole sequence a function key or arrow
// sends (and discards what arrived with it in the same burst, the rest of a
// paste), and restores the terminal settings afterwards; the interrupt, quit
// and suspend keys act on the whole job, as the system delivers them.
// Otherwise it consumes one character of the input, or nothing at end of
// input. Pending output is flushed first so the
// user sees what to read.
void WaitForKey(const Console& console);

// The width in columns of the terminal `console.out` writes to, as the
// terminal says it now; 0 where it does not say.
int TerminalColumns(const Console& console);

// The height in lines of the terminal `console.out` writes to; 0 where it
// does not say.
int TerminalRows(const Console& console);

// Whether `console.out` shows Unicode: on Linux where the locale's
// character set is UTF-8 (a pipe too); on Windows on the console (through
// its UTF-16 output) and where the ANSI code page is UTF-8.
bool TakesUnicode(const Console& console);

// Writes the UTF-8 `text` to `console.out`, where TakesUnicode: on the
// Windows console as UTF-16.
void WriteUnicode(const Console& console, const std::string& text);

// A line redrawn in place on the terminal while something runs (a status
// line), on `console.out`, which must be the terminal. While it lives, the
// line is erased before the process stops (Ctrl-Z) or ends on a signal,
// and drawn again once it goes on. One at a time.
class LineInPlace {
 public:
  explicit LineInPlace(const Console& console);
  LineInPlace(const LineInPlace&) = delete;
  LineInPlace& operator=(const LineInPlace&) = delete;
  // Erases the line.
  ~LineInPlace();

  // Draws `text` over the line, cut to the terminal's width so that it
  // never wraps; "" erases it. From one thread at a time.
  void Draw(std::string_view text);

  // How long the process has been stopped since the line began.
  std::chrono::steady_clock::duration StoppedTime() const;

 private:
  // Blanks the line from a signal handler (console_posix.cc,
  // console_win32.cc).
  friend void EraseLineInPlace();

  std::ostream& out_;
  // How many columns of the line are on the screen.
  static std::atomic<int> shown_columns_;
};

// While it lives, a process stopped at a prompt (Ctrl-Z) and continued
// (fg) clears the screen and shows `screen` again, since the shell wrote
// over it. Only where both input and output are the terminal.
class ScreenShownAfterStop {
 public:
  ScreenShownAfterStop(const Console& console, std::string screen);
  ScreenShownAfterStop(const ScreenShownAfterStop&) = delete;
  ScreenShownAfterStop& operator=(const ScreenShownAfterStop&) = delete;
  ~ScreenShownAfterStop();

 private:
  bool active_ = false;
  std::string screen_;
};

}  // namespace pellory

#endif  // PELLORY_PLATFORM_CONSOLE_H_
