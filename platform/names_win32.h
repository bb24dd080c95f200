// Names on Windows, for the Windows seams: inside the program a name is
// UTF-8, and the system takes it as UTF-16 through the wide (...W) calls,
// so that any folder name works, whatever the code pages.
#ifndef PELLORY_PLATFORM_NAMES_WIN32_H_
#define PELLORY_PLATFORM_NAMES_WIN32_H_

#include <windows.h>

#include <string>

namespace pellory {

// `text` in code page `from` as UTF-16.
inline std::wstring WideText(const std::string& text, UINT from) {
  if (text.empty()) return std::wstring();
  const int length = MultiByteToWideChar(
      from, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()),
                      wide.data(), length);
  return wide;
}

// UTF-16 text in code page `to`.
inline std::string NarrowText(const std::wstring& wide, UINT to) {
  if (wide.empty()) return std::string();
  const int length =
      WideCharToMultiByte(to, 0, wide.data(), static_cast<int>(wide.size()),
                          nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(to, 0, wide.data(), static_cast<int>(wide.size()),
                      text.data(), length, nullptr, nullptr);
  return text;
}

inline std::wstring WideName(const std::string& name) {
  return WideText(name, CP_UTF8);
}

inline std::string Utf8Name(const std::wstring& name) {
  return NarrowText(name, CP_UTF8);
}

}  // namespace pellory

#endif  // PELLORY_PLATFORM_NAMES_WIN32_H_
