// Library loading with the Windows loader, always by full path from the
// program's own folder: the standard search would try the working folder
// and PATH, where a planted library of the same name would win.
#include <windows.h>

#include <string>

#include "platform/library.h"

namespace pellory {
namespace {

// The folder of the running program, with a trailing '\', or empty when
// Windows cannot tell.
std::string ProgramFolder() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length == MAX_PATH) return std::string();
  const std::string program(path, length);
  return program.substr(0, program.find_last_of("\\/") + 1);
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
  const std::string folder = ProgramFolder();
  if (folder.empty()) {
    *err = "cannot locate the program's own folder";
    return false;
  }
  // With a full path and LOAD_WITH_ALTERED_SEARCH_PATH, the library's own
  // dependencies are looked for beside it too: the shared C++ runtime.
  HMODULE module = LoadLibraryExA((folder + file_name).c_str(), nullptr,
                                  LOAD_WITH_ALTERED_SEARCH_PATH);
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
