// Library loading with the Windows loader, always by full path from the
// program's own folder: the standard search would try the working folder
// and PATH, where a planted library of the same name would win.
#include <windows.h>

#include <string>

#include "platform/library.h"
#include "platform/names_win32.h"

namespace pellory {
namespace {

// The folder of the running program, with a trailing '\', or empty when
// Windows cannot tell.
std::wstring ProgramFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(),
                                            static_cast<DWORD>(path.size()));
    if (length == 0) return std::wstring();
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  return path.substr(0, path.find_last_of(L"\\/") + 1);
}

std::string LastErrorText(const std::string& context) {
  return context + ": Windows error " + std::to_string(GetLastError());
}

}  // namespace

bool Library::Load(const std::string& file_name, std::string* err) {
  handle_ = nullptr;
  if (file_name.empty() ||
      file_name.find_first_of("\\/:") != std::string::npos) {
    *err = file_name + ": not a bare library file name";
    return false;
  }
  const std::wstring folder = ProgramFolder();
  if (folder.empty()) {
    *err = "cannot locate the program's own folder";
    return false;
  }
  // With a full path and LOAD_WITH_ALTERED_SEARCH_PATH, the library's own
  // dependencies are looked for beside it too: the shared C++ runtime.
  HMODULE module = LoadLibraryExW((folder + WideName(file_name)).c_str(),
                                  nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (module == nullptr) {
    *err = LastErrorText(file_name);
    return false;
  }
  handle_ = reinterpret_cast<void*>(module);
  return true;
}

void* Library::FindSymbol(const char* name, std::string* err) const {
  if (handle_ == nullptr) {
    *err = "library not loaded";
    return nullptr;
  }
  const FARPROC symbol = GetProcAddress(static_cast<HMODULE>(handle_), name);
  if (symbol == nullptr) {
    *err = LastErrorText(name);
    return nullptr;
  }
  return reinterpret_cast<void*>(symbol);
}

}  // namespace pellory
