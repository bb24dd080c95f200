// The Windows console: cleared through the console API, a key read with
// _getch. Both only when the stream is the console; redirected streams
// carry plain text.
#include <conio.h>
#include <windows.h>

#include <csignal>
#include <cstdio>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>

#include "platform/console.h"
#include "platform/names_win32.h"

namespace pellory {
namespace {

bool IsConsole(DWORD which) {
  DWORD mode;
  return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

}  // namespace

bool StandardInputIsTerminal() { return IsConsole(STD_INPUT_HANDLE); }

bool StandardOutputIsTerminal() { return IsConsole(STD_OUTPUT_HANDLE); }

void BufferRedirectedOutput(const Console& console) {
  if (console.output_is_terminal) return;
  static char buffer[1 << 20];
  std::setvbuf(stdout, buffer, _IOFBF, sizeof(buffer));
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

bool OutputReaderGone() {
  const DWORD error = GetLastError();
  return error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE;
}

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

void WaitForKey(const Console& console) {
  console.out.flush();
  if (console.input_is_terminal) {
    // _getch takes Ctrl-C as the key 3; it still ends the program. An
    // arrow or function key comes as two codes, a prefix and the key's:
    // both are the one key press.
    const int key = _getch();
    if (key == 0 || key == 0xE0) _getch();
    if (key == 3) std::raise(SIGINT);
    return;
  }
  console.in.get();
  // End of input here is not an error: the next menu read ends the run.
  if (console.in.eof()) console.in.clear(std::ios::eofbit);
}

}  // namespace pellory
