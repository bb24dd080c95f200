// The Windows console: cleared through the console API, a key read as the
// console's key events. Both only when the stream is the console;
// redirected streams carry plain text.
#include <windows.h>
// After <windows.h>: CommandLineToArgvW.
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <istream>
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

#include "platform/console.h"
#include "platform/ending_signals.h"
#include "platform/names_win32.h"

namespace pellory {
namespace {

bool IsConsole(DWORD which) {
  DWORD mode;
  return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

}  // namespace

bool StandardInputIsTerminal() { return IsConsole(STD_INPUT_HANDLE); }

std::vector<std::string> CommandLineArguments(int, char**) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  for (int i = 1; wide != nullptr && i < count; ++i) {
    arguments.push_back(Utf8Name(wide[i]));
  }
  LocalFree(wide);
  return arguments;
}

bool StandardOutputIsTerminal() { return IsConsole(STD_OUTPUT_HANDLE); }

bool StandardErrorIsTerminal() { return IsConsole(STD_ERROR_HANDLE); }

namespace {

// Whether a write to standard output failed because its reader has gone,
// decided at the failed write itself.
bool output_reader_gone = false;

// Standard output when it is not the console: written with WriteFile
// through a buffer of 1 MiB, each "\n" as "\r\n" as the runtime's text
// mode writes it. A failed write says why at once: the runtime would call
// a broken pipe EINVAL, and later calls reset the system's last error.
class RedirectedOutput : public std::streambuf {
 public:
  RedirectedOutput() : out_(GetStdHandle(STD_OUTPUT_HANDLE)) {
    setp(buffer_, buffer_ + kSize);
  }

 protected:
  int_type overflow(int_type c) override {
    if (!Flush()) return traits_type::eof();
    if (traits_type::eq_int_type(c, traits_type::eof())) {
      return traits_type::not_eof(c);
    }
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
  }
  int sync() override { return Flush() ? 0 : -1; }

 private:
  bool Flush() {
    std::string text;
    text.reserve(static_cast<size_t>(pptr() - pbase()) * 2);
    for (const char* p = pbase(); p != pptr(); ++p) {
      if (*p == '\n') text += '\r';
      text += *p;
    }
    setp(buffer_, buffer_ + kSize);
    for (size_t done = 0; done < text.size();) {
      DWORD written = 0;
      if (!WriteFile(out_, text.data() + done,
                     static_cast<DWORD>(text.size() - done), &written,
                     nullptr)) {
        const DWORD error = GetLastError();
        output_reader_gone = error == ERROR_NO_DATA ||
                             error == ERROR_BROKEN_PIPE ||
                             error == ERROR_PIPE_NOT_CONNECTED;
        errno = error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL
                    ? ENOSPC
                    : EIO;
        return false;
      }
      done += written;
    }
    return true;
  }

  static constexpr size_t kSize = 1 << 20;
  HANDLE out_;
  char buffer_[kSize];
};

}  // namespace

void BufferRedirectedOutput(const Console& console) {
  if (console.output_is_terminal) return;
  static RedirectedOutput output;
  console.out.rdbuf(&output);
}

void ClearScreen(const Console& console) {
  if (!console.output_is_terminal) return;
  // What is still buffered belongs to the screen being cleared.
  console.out.flush();
  const HANDLE screen = GetStdHandle(STD_OUTPUT_HANDLE);
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(screen, &info)) return;
  const DWORD cells =
      static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(info.dwSize.Y);
  const COORD home = {0, 0};
  DWORD written;
  FillConsoleOutputCharacterA(screen, ' ', cells, home, &written);
  FillConsoleOutputAttribute(screen, info.wAttributes, cells, home, &written);
  SetConsoleCursorPosition(screen, home);
}

std::string NameFromInput(const Console& console, const std::string& typed) {
  const UINT typed_in = console.input_is_terminal ? GetConsoleCP() : CP_ACP;
  return Utf8Name(WideText(typed, typed_in));
}

std::string NameForOutput(const Console& console, const std::string& name) {
  const UINT shown_in =
      console.output_is_terminal ? GetConsoleOutputCP() : CP_ACP;
  return NarrowText(WideName(name), shown_in);
}

bool OutputReaderGone() { return output_reader_gone; }

// The controls of the console: C0 and DEL. Bytes from 0x80 on are
// letters of the code page.
std::string ShownOnTerminal(std::string_view text) {
  std::string shown(text);
  for (char& c : shown) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) c = '?';
  }
  return shown;
}

namespace {

// Whether a key event is a key press of its own: not a key going up, and
// not Shift, Ctrl, Alt or a lock key alone, which only change other keys.
bool IsKeyPress(const INPUT_RECORD& record) {
  if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) {
    return false;
  }
  switch (record.Event.KeyEvent.wVirtualKeyCode) {
    case VK_SHIFT:
    case VK_CONTROL:
    case VK_MENU:
    case VK_CAPITAL:
    case VK_NUMLOCK:
    case VK_SCROLL:
      return false;
  }
  return true;
}

}  // namespace

void WaitForKey(const Console& console) {
  console.out.flush();
  if (console.input_is_terminal) {
    // Key events, as the console reports them: a letter, an arrow or a
    // function key is one event, whatever its code in the code page.
    // Ctrl-C stays the console's: with processed input it ends the
    // program as everywhere else.
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode;
    const bool moded = GetConsoleMode(in, &mode) != 0;
    if (moded)
      SetConsoleMode(
          in, (mode | ENABLE_PROCESSED_INPUT) &
                  ~static_cast<DWORD>(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT));
    INPUT_RECORD record;
    DWORD read;
    while (ReadConsoleInputW(in, &record, 1, &read) && read == 1 &&
           !IsKeyPress(record)) {
    }
    // What arrived with the key in the same burst (the rest of a paste) is
    // not typing: it goes, so that it cannot answer the menus.
    constexpr DWORD kBurstGapMilliseconds = 10;
    while (WaitForSingleObject(in, kBurstGapMilliseconds) == WAIT_OBJECT_0 &&
           ReadConsoleInputW(in, &record, 1, &read) && read == 1) {
    }
    if (moded) SetConsoleMode(in, mode);
    return;
  }
  console.in.get();
  // End of input here is not an error: the next menu read ends the run.
  if (console.in.eof()) console.in.clear(std::ios::eofbit);
}

namespace {

DWORD OutputHandleOf(const Console& console) {
  return console.out_is_standard_error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE;
}

// Where the line in place is drawn: standard output or standard error.
DWORD line_handle = STD_OUTPUT_HANDLE;

// The part of the console's buffer its window shows, or nothing.
SMALL_RECT WindowOf(const Console& console) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(GetStdHandle(OutputHandleOf(console)),
                                  &info)) {
    return {0, 0, -1, -1};
  }
  return info.srWindow;
}

}  // namespace

int TerminalColumns(const Console& console) {
  const SMALL_RECT window = WindowOf(console);
  return window.Right - window.Left + 1;
}

int TerminalRows(const Console& console) {
  const SMALL_RECT window = WindowOf(console);
  return window.Bottom - window.Top + 1;
}

bool TakesUnicode(const Console& console) {
  return console.output_is_terminal || GetACP() == CP_UTF8;
}

void WriteUnicode(const Console& console, const std::string& text) {
  if (!console.output_is_terminal) {
    console.out << text;
    return;
  }
  console.out.flush();
  const std::wstring wide = WideName(text);
  // In pieces: the console takes a limited amount in one call.
  constexpr size_t kPiece = 8192;
  for (size_t at = 0; at < wide.size(); at += kPiece) {
    DWORD written;
    const size_t size = std::min(kPiece, wide.size() - at);
    if (!WriteConsoleW(GetStdHandle(OutputHandleOf(console)), wide.data() + at,
                       static_cast<DWORD>(size), &written, nullptr)) {
      return;
    }
  }
}

// Blanks the line when Ctrl-C ends the program (on the console's own
// thread).
void EraseLineInPlace() {
  static constexpr char kBlanks[] = "                                ";
  const HANDLE out = GetStdHandle(line_handle);
  DWORD written;
  int columns = LineInPlace::shown_columns_.exchange(0);
  if (columns == 0) return;
  WriteFile(out, "\r", 1, &written, nullptr);
  while (columns > 0) {
    const int part = std::min<int>(columns, sizeof(kBlanks) - 1);
    WriteFile(out, kBlanks, static_cast<DWORD>(part), &written, nullptr);
    columns -= part;
  }
  WriteFile(out, "\r", 1, &written, nullptr);
}

LineInPlace::LineInPlace(const Console& console) : out_(console.out) {
  shown_columns_ = 0;
  line_handle = OutputHandleOf(console);
  ArmEndingSignals(EraseLineInPlace);
}

LineInPlace::~LineInPlace() {
  Draw("");
  DisarmEndingSignals(EraseLineInPlace);
}

// Windows has no stop for a console program.
std::chrono::steady_clock::duration LineInPlace::StoppedTime() const {
  return {};
}

ScreenShownAfterStop::ScreenShownAfterStop(const Console&, std::string) {}

ScreenShownAfterStop::~ScreenShownAfterStop() {}

}  // namespace pellory
