// Library loading with the dynamic loader; the program's own folder comes
// from /proc/self/exe, which only Linux has, or, where /proc is not
// mounted, from the name the program was started by.
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/auxv.h>
#include <unistd.h>

#include "platform/library.h"

namespace pellory {
namespace {

// The path of the running program, links resolved, or empty.
std::string ProgramPath() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (length > 0) return std::string(path, static_cast<size_t>(length));
  // The name given to exec, relative to the folder the program started in,
  // which it never leaves.
  const auto started_as = reinterpret_cast<const char*>(getauxval(AT_EXECFN));
  if (started_as == nullptr) return std::string();
  char resolved[PATH_MAX];
  if (realpath(started_as, resolved) == nullptr) return std::string();
  return resolved;
}

// The folder of the running program, with a trailing '/', or empty when it
// cannot be told.
std::string ProgramFolder() {
  const std::string program = ProgramPath();
  if (program.empty()) return std::string();
  return program.substr(0, program.rfind('/') + 1);
}

std::string LastDlError() {
  const char* reason = dlerror();
  return reason != nullptr ? reason : "unknown dynamic loader error";
}

}  // namespace

bool Library::Load(const std::string& file_name, std::string* err) {
  handle_ = nullptr;
  if (file_name.empty() || file_name.find('/') != std::string::npos) {
    *err = file_name + ": not a bare library file name";
    return false;
  }
  const std::string folder = ProgramFolder();
  if (folder.empty()) {
    *err = "cannot locate the program's own folder";
    return false;
  }
  // A path with a '/' makes dlopen take exactly this file, bypassing the
  // search path.
  handle_ = dlopen((folder + file_name).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    *err = LastDlError();
    return false;
  }
  return true;
}

void* Library::FindSymbol(const char* name, std::string* err) const {
  if (handle_ == nullptr) {
    *err = "library not loaded";
    return nullptr;
  }
  dlerror();
  void* symbol = dlsym(handle_, name);
  if (symbol == nullptr) {
    *err = std::string(name) + ": " + LastDlError();
    return nullptr;
  }
  return symbol;
}

}  // namespace pellory
