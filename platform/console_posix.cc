#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <istream>
#include <ostream>

#include "platform/console.h"
#include "platform/ending_signals.h"

namespace pellory {
namespace {

// Home, erase the screen, erase the scrollback: what "cls" leaves behind.
constexpr char kClearSequence[] = "\033[H\033[2J\033[3J";

// The terminal settings to bring back should the process be ended while
// the key wait has changed them.
termios settings_to_restore;

void RestoreTerminal() {
  tcsetattr(STDIN_FILENO, TCSANOW, &settings_to_restore);
}

// Reads one byte from the terminal in non-canonical mode without echo.
// Signal generation is switched off for the read so that Ctrl-C cannot kill
// the process while the terminal is in that mode; the interrupt and quit
// characters are raised as their signals once the settings are back.
void ReadOneKeyFromTerminal() {
  termios saved;
  if (tcgetattr(STDIN_FILENO, &saved) != 0) return;
  termios raw = saved;
  int pressed = -1;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  // However the process ends meanwhile, the settings come back first.
  settings_to_restore = saved;
  ArmEndingSignals(RestoreTerminal);
  if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0) {
    unsigned char key = 0;
    ssize_t got;
    do {
      got = read(STDIN_FILENO, &key, 1);
    } while (got < 0 && errno == EINTR);
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    if (got == 1 && (saved.c_lflag & ISIG) != 0) pressed = key;
  }
  DisarmEndingSignals();
  if (pressed < 0) return;
  const auto key = static_cast<unsigned char>(pressed);
  if (key == saved.c_cc[VINTR]) raise(SIGINT);
  if (key == saved.c_cc[VQUIT]) raise(SIGQUIT);
}

}  // namespace

bool StandardInputIsTerminal() { return isatty(STDIN_FILENO) == 1; }

bool StandardOutputIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

void ClearScreen(const Console& console) {
  if (!console.output_is_terminal) return;
  console.out << kClearSequence << std::flush;
}

void WaitForKey(const Console& console) {
  console.out.flush();
  if (console.input_is_terminal) {
    ReadOneKeyFromTerminal();
    return;
  }
  console.in.get();
  // End of input here is not an error: the next menu read ends the run.
  if (console.in.eof()) console.in.clear(std::ios::eofbit);
}

}  // namespace pellory
