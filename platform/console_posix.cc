#include <langinfo.h>
#include <locale.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/console.h"
#include "platform/ending_signals.h"
#include "platform/utf8.h"

namespace pellory {

void EraseLineInPlace();

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

// From a SIGTSTP handler: stops the process as the signal would have,
// and returns once it goes on (at once for a process group without a shell
// to resume it, which the system does not stop at all).
void StopAsByDefault() {
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
  sigaction(SIGTSTP, &ours, nullptr);
}

// A stop during the key wait (Ctrl-Z, which the terminal sends to the
// whole job, or SIGTSTP from outside): the terminal gets its settings back
// before the process stops, and the key wait its own once it goes on.
extern "C" void StopWithTerminalRestored(int) {
  const int saved_errno = errno;
  RestoreTerminal();
  StopAsByDefault();
  tcsetattr(STDIN_FILENO, TCSANOW, &key_wait_settings);
  errno = saved_errno;
}

// Where the line in place is drawn: standard output or standard error.
int line_fd = STDOUT_FILENO;

// Writes all of `size` bytes to `fd`, from a signal handler.
void WriteFromHandler(const char* data, size_t size, int fd = STDOUT_FILENO) {
  while (size > 0) {
    const ssize_t put = write(fd, data, size);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return;
    data += put;
    size -= static_cast<size_t>(put);
  }
}

// The line in place: how many columns of it are on the screen, and the
// time the process spent stopped while it was there, for the handlers.
std::atomic<int64_t> line_stopped_nanoseconds{0};
struct sigaction before_line_stop;

int64_t MonotonicNanoseconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

// A stop while the line is shown: the shell's words come on a clean line,
// and the clock leaves out the time stopped. The line comes back at its
// next redraw.
extern "C" void StopWithLineErased(int) {
  const int saved_errno = errno;
  EraseLineInPlace();
  const int64_t stopped = MonotonicNanoseconds();
  StopAsByDefault();
  line_stopped_nanoseconds += MonotonicNanoseconds() - stopped;
  errno = saved_errno;
}

// The screen to show again after a stop at a prompt.
const char* screen_after_stop = nullptr;
size_t screen_after_stop_size = 0;
struct sigaction before_screen_continue;

extern "C" void ShowScreenAgain(int) {
  const int saved_errno = errno;
  WriteFromHandler(kClearSequence, sizeof(kClearSequence) - 1);
  WriteFromHandler(screen_after_stop, screen_after_stop_size);
  errno = saved_errno;
}

// How long the bytes of one key may lie apart: a terminal sends a key's
// whole sequence at once, a person types the next key much later.
constexpr int kKeyGapMilliseconds = 50;

// The next byte from the terminal if one arrives within the key gap.
bool NextByteOfKey(unsigned char* byte) {
  pollfd ready = {STDIN_FILENO, POLLIN, 0};
  for (;;) {
    const int polled = poll(&ready, 1, kKeyGapMilliseconds);
    if (polled < 0 && errno == EINTR) continue;
    if (polled <= 0) return false;
    const ssize_t got = read(STDIN_FILENO, byte, 1);
    if (got < 0 && errno == EINTR) continue;
    return got == 1;
  }
}

// Reads the rest of the key whose first byte is `first`: the escape
// sequence of a function key, an arrow, Insert, Delete, Home, End or a Page
// key (ESC [ parameters final, ESC [ [ letter on the Linux console, ESC O
// letter, or ESC and a key with Alt), or the further bytes of a UTF-8
// letter. Nothing of one key press is left for the menus.
void ReadRestOfKey(unsigned char first) {
  unsigned char byte;
  if (first == 0x1b) {
    if (!NextByteOfKey(&byte)) return;  // Esc itself
    if (byte == 'O') {
      NextByteOfKey(&byte);
    } else if (byte == '[') {
      if (!NextByteOfKey(&byte)) return;
      if (byte == '[') {
        NextByteOfKey(&byte);
        return;
      }
      // Parameters and intermediates, up to the final byte.
      for (int i = 0; i < 32 && (byte < 0x40 || byte > 0x7e); ++i) {
        if (!NextByteOfKey(&byte)) return;
      }
    }
    return;
  }
  const int continuation = first >= 0xf0 && first <= 0xf4   ? 3
                           : first >= 0xe0 && first <= 0xef ? 2
                           : first >= 0xc2 && first <= 0xdf ? 1
                                                            : 0;
  for (int i = 0; i < continuation && NextByteOfKey(&byte); ++i) {
  }
}

// How long the bytes of one burst may lie apart: a paste, or whatever a
// terminal sends at once, arrives within a few milliseconds; a person's
// next key press takes far longer.
constexpr int kBurstGapMilliseconds = 10;

// Discards what arrives with the key press in the same burst: the rest of
// a paste is not typing, and must not answer the menus.
void DiscardRestOfBurst() {
  pollfd ready = {STDIN_FILENO, POLLIN, 0};
  unsigned char discarded[4096];
  for (;;) {
    const int polled = poll(&ready, 1, kBurstGapMilliseconds);
    if (polled < 0 && errno == EINTR) continue;
    if (polled <= 0 || (ready.revents & POLLIN) == 0) return;
    const ssize_t got = read(STDIN_FILENO, discarded, sizeof(discarded));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return;
  }
}

// Reads one key press from the terminal in non-canonical mode without
// echo. The interrupt, quit and suspend characters keep their meaning: the
// terminal sends their signals to the whole foreground job, as for any
// program, so that a shell gets its terminal back however the editor was
// started (under make, in a pipeline). The settings come back before the
// process ends or stops, and after a stop the wait goes on.
void ReadOneKeyFromTerminal() {
  termios saved;
  if (tcgetattr(STDIN_FILENO, &saved) != 0) return;
  termios raw = saved;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  settings_to_restore = saved;
  key_wait_settings = raw;
  ArmEndingSignals(RestoreTerminal);
  // A process that ignores stops keeps ignoring them.
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
    do {
      got = read(STDIN_FILENO, &key, 1);
    } while (got < 0 && errno == EINTR);
    if (got == 1) {
      ReadRestOfKey(key);
      DiscardRestOfBurst();
    }
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
  }
  if (stops) sigaction(SIGTSTP, &before_stop, nullptr);
  DisarmEndingSignals(RestoreTerminal);
}

}  // namespace

// Blanks the columns the line covers, and the two after it where the
// terminal echoed the key that sent the signal (^C, ^Z), and leaves the
// cursor at its start.
void EraseLineInPlace() {
  static constexpr char kBlanks[] = "                                ";
  int columns = LineInPlace::shown_columns_.exchange(0);
  if (columns == 0) return;
  winsize size;
  if (ioctl(line_fd, TIOCGWINSZ, &size) == 0) {
    columns = std::max(columns, std::min(columns + 2, size.ws_col - 1));
  }
  WriteFromHandler("\r", 1, line_fd);
  while (columns > 0) {
    const int part = std::min<int>(columns, sizeof(kBlanks) - 1);
    WriteFromHandler(kBlanks, static_cast<size_t>(part), line_fd);
    columns -= part;
  }
  WriteFromHandler("\r", 1, line_fd);
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + std::min(argc, 1), argv + argc);
}

bool StandardInputIsTerminal() { return isatty(STDIN_FILENO) == 1; }

bool StandardOutputIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

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
    uint32_t code_point;
    const size_t length = Utf8Length(text, i, &code_point);
    const bool control =
        length == 0
            ? static_cast<unsigned char>(text[i]) <= 0x9f
            : code_point < 0x20 || (code_point >= 0x7f && code_point <= 0x9f);
    if (control) {
      shown += '?';
    } else {
      shown.append(text.substr(i, std::max<size_t>(length, 1)));
    }
    i += std::max<size_t>(length, 1);
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

int TerminalColumns(const Console& console) {
  winsize size;
  const int fd = console.out_is_standard_error ? STDERR_FILENO : STDOUT_FILENO;
  if (ioctl(fd, TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}

int TerminalRows(const Console& console) {
  winsize size;
  const int fd = console.out_is_standard_error ? STDERR_FILENO : STDOUT_FILENO;
  if (ioctl(fd, TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_row;
}

bool TakesUnicode(const Console&) {
  // The user's locale, asked and put back: the rest of the program reads
  // and writes numbers in the "C" locale.
  const char* chosen = setlocale(LC_CTYPE, "");
  const bool utf8 =
      chosen != nullptr && std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
  setlocale(LC_CTYPE, "C");
  return utf8;
}

void WriteUnicode(const Console& console, const std::string& text) {
  console.out << text;
}

LineInPlace::LineInPlace(const Console& console) : out_(console.out) {
  shown_columns_ = 0;
  line_fd = console.out_is_standard_error ? STDERR_FILENO : STDOUT_FILENO;
  line_stopped_nanoseconds = 0;
  ArmEndingSignals(EraseLineInPlace);
  struct sigaction stop = {};
  stop.sa_handler = StopWithLineErased;
  sigemptyset(&stop.sa_mask);
  stop.sa_flags = SA_RESTART;
  sigaction(SIGTSTP, nullptr, &before_line_stop);
  // A process that ignores stops keeps ignoring them.
  if (before_line_stop.sa_handler != SIG_IGN) {
    sigaction(SIGTSTP, &stop, nullptr);
  }
}

LineInPlace::~LineInPlace() {
  Draw("");
  sigaction(SIGTSTP, &before_line_stop, nullptr);
  DisarmEndingSignals(EraseLineInPlace);
}

std::chrono::steady_clock::duration LineInPlace::StoppedTime() const {
  return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
      std::chrono::nanoseconds(line_stopped_nanoseconds.load()));
}

ScreenShownAfterStop::ScreenShownAfterStop(const Console& console,
                                           std::string screen)
    : active_(console.input_is_terminal && console.output_is_terminal),
      screen_(std::move(screen)) {
  if (!active_) return;
  screen_after_stop = screen_.data();
  screen_after_stop_size = screen_.size();
  // The prompt's read goes on after the handler: the dialogue never sees
  // the stop.
  struct sigaction again = {};
  again.sa_handler = ShowScreenAgain;
  sigemptyset(&again.sa_mask);
  again.sa_flags = SA_RESTART;
  sigaction(SIGCONT, &again, &before_screen_continue);
}

ScreenShownAfterStop::~ScreenShownAfterStop() {
  if (!active_) return;
  sigaction(SIGCONT, &before_screen_continue, nullptr);
  screen_after_stop = nullptr;
  screen_after_stop_size = 0;
}

}  // namespace pellory
