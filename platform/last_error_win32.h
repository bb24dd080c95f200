// The reason a Windows call failed, and whether a standard handle is open,
// for the Windows seams.
#ifndef PELLORY_PLATFORM_LAST_ERROR_WIN32_H_
#define PELLORY_PLATFORM_LAST_ERROR_WIN32_H_

#include <windows.h>

#include <string>

namespace pellory {

// The system's text for the last error, without its final period.
inline std::string LastErrorText() {
  char text[512];
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, GetLastError(), 0, text, sizeof(text), nullptr);
  std::string reason(text, length);
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                             reason.back() == '.' || reason.back() == ' ')) {
    reason.pop_back();
  }
  return reason.empty() ? "Windows error " + std::to_string(GetLastError())
                        : reason;
}

// Whether a standard handle (GetStdHandle's) is open: a process started
// with the stream closed has none.
inline bool IsOpenHandle(HANDLE handle) {
  return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

}  // namespace pellory

#endif  // PELLORY_PLATFORM_LAST_ERROR_WIN32_H_
