#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>

#include "platform/console.h"
#include "platform/ending_signals.h"

namespace pellory {
namespace {

// Home, erase the screen, erase the scrollback: what "cls" leaves behind.
constexpr char kClearSequence[] = "\033[H\033[2J\033[3J";

// The terminal settings to bring back should the process be ended or
// stopped while the key wait has changed them, and the key wait's own, to
// enter again when a stopped process goes on.
termios settings_to_restore;
termios key_wait_settings;

void RestoreTerminal() {
  tcsetattr(STDIN_FILENO, TCSANOW, &settings_to_restore);
}

// A stop during the key wait (Ctrl-Z, or SIGTSTP from outside): the
// terminal gets its settings back before the process stops, and the key
// wait its own once the process goes on.
extern "C" void StopWithTerminalRestored(int) {
  const int saved_errno = errno;
  RestoreTerminal();
  struct sigaction stop = {};
  stop.sa_handler = SIG_DFL;
  sigemptyset(&stop.sa_mask);
  struct sigaction ours;
  sigaction(SIGTSTP, &stop, &ours);
  sigset_t just_stop;
  sigemptyset(&just_stop);
  sigaddset(&just_stop, SIGTSTP);
  sigprocmask(SIG_UNBLOCK, &just_stop, nullptr);
  raise(SIGTSTP);
  // Going on (a process group without a shell to resume it is not
  // stopped at all).
  sigaction(SIGTSTP, &ours, nullptr);
  tcsetattr(STDIN_FILENO, TCSANOW, &key_wait_settings);
  errno = saved_errno;
}

// Reads one byte from the terminal in non-canonical mode without echo.
// Signal generation is switched off for the read so that Ctrl-C cannot kill
// the process while the terminal is in that mode; the interrupt and quit
// characters are raised as their signals once the settings are back, and
// the suspend character stops the process with the settings back, the wait
// going on afterwards.
void ReadOneKeyFromTerminal() {
  termios saved;
  if (tcgetattr(STDIN_FILENO, &saved) != 0) return;
  termios raw = saved;
  int pressed = -1;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  const bool signal_keys = (saved.c_lflag & ISIG) != 0;
  const bool suspend_key = signal_keys && saved.c_cc[VSUSP] != _POSIX_VDISABLE;
  // However the process ends or stops meanwhile, the settings come back
  // first. A process that ignores stops keeps ignoring them.
  settings_to_restore = saved;
  key_wait_settings = raw;
  ArmEndingSignals(RestoreTerminal);
  struct sigaction stop = {};
  stop.sa_handler = StopWithTerminalRestored;
  sigemptyset(&stop.sa_mask);
  struct sigaction before_stop;
  sigaction(SIGTSTP, nullptr, &before_stop);
  const bool stops = before_stop.sa_handler != SIG_IGN;
  if (stops) sigaction(SIGTSTP, &stop, nullptr);
  if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0) {
    unsigned char key = 0;
    ssize_t got;
    for (;;) {
      got = read(STDIN_FILENO, &key, 1);
      if (got < 0 && errno == EINTR) continue;
      if (got == 1 && suspend_key && key == saved.c_cc[VSUSP]) {
        if (stops) raise(SIGTSTP);
        continue;
      }
      break;
    }
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    if (got == 1 && signal_keys) pressed = key;
  }
  if (stops) sigaction(SIGTSTP, &before_stop, nullptr);
  DisarmEndingSignals();
  if (pressed < 0) return;
  const auto key = static_cast<unsigned char>(pressed);
  if (key == saved.c_cc[VINTR]) raise(SIGINT);
  if (key == saved.c_cc[VQUIT]) raise(SIGQUIT);
}

}  // namespace

bool StandardInputIsTerminal() { return isatty(STDIN_FILENO) == 1; }

bool StandardOutputIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

// The C library already writes a large piece in one call.
void BufferRedirectedOutput(const Console&) {}

void ClearScreen(const Console& console) {
  if (!console.output_is_terminal) return;
  console.out << kClearSequence << std::flush;
}

std::string NameFromInput(const Console&, const std::string& typed) {
  return typed;
}

std::string NameForOutput(const Console&, const std::string& name) {
  return name;
}

bool OutputReaderGone() { return false; }

// The controls: C0 and DEL, and C1 (0x80-0x9f), which some terminals act
// on raw and others in their UTF-8 form (c2 80 - c2 9f). A raw byte of that
// range that continues a valid UTF-8 character is part of a letter.
std::string ShownOnTerminal(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const size_t length = byte >= 0xf0 && byte <= 0xf4   ? 4
                          : byte >= 0xe0 && byte <= 0xef ? 3
                          : byte >= 0xc2 && byte <= 0xdf ? 2
                                                         : 1;
    bool whole = length > 1 && i + length <= text.size();
    for (size_t k = 1; whole && k < length; ++k) {
      whole = (static_cast<unsigned char>(text[i + k]) & 0xc0) == 0x80;
    }
    if (whole) {
      const bool c1 =
          byte == 0xc2 && static_cast<unsigned char>(text[i + 1]) <= 0x9f;
      if (c1) {
        shown += '?';
      } else {
        shown.append(text.substr(i, length));
      }
      i += length;
      continue;
    }
    const bool control = byte < 0x20 || (byte >= 0x7f && byte <= 0x9f);
    shown += control ? '?' : text[i];
    ++i;
  }
  return shown;
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
