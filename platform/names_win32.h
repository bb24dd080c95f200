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

// The full path of `path`, which a drive-relative name ("C:name") needs to
// say which folder it is in; `path` itself when Windows cannot tell.
inline std::wstring FullPath(const std::wstring& path) {
  const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path;
  std::wstring full(size, L'\0');
  const DWORD length =
      GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
  if (length == 0 || length >= size) return path;
  full.resize(length);
  return full;
}

// A full path as the wide calls take it past the old 260-character limit:
// with the \\?\ prefix (\\?\UNC\ for a share) where it is that
// long, as it is otherwise (so that names such as NUL keep their meaning).
// The prefix turns off the system's own normalising, so `full` must be a
// full path already.
inline std::wstring LongPathForm(const std::wstring& full) {
  // Folders must leave room for an 8.3 name below them.
  constexpr size_t kShortEnough = MAX_PATH - 12;
  if (full.size() < kShortEnough || full.rfind(LR"(\\?\)", 0) == 0 ||
      full.rfind(LR"(\\.\)", 0) == 0) {
    return full;
  }
  if (full.rfind(LR"(\\)", 0) == 0) return LR"(\\?\UNC\)" + full.substr(2);
  return LR"(\\?\)" + full;
}

// The name `name` (UTF-8, relative or full) as the file calls take it.
inline std::wstring SystemName(const std::string& name) {
  return LongPathForm(FullPath(WideName(name)));
}

}  // namespace pellory

#endif  // PELLORY_PLATFORM_NAMES_WIN32_H_
