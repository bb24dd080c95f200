// Loading a shared library and finding a symbol in it.
#ifndef PELLORY_PLATFORM_LIBRARY_H_
#define PELLORY_PLATFORM_LIBRARY_H_

#include <string>

namespace pellory {

// A loaded shared library. Libraries are never unloaded: the handle is
// dropped, the library stays mapped until the process ends, and loading the
// same file again returns the mapping already there.
class Library {
 public:
  // Loads the library named `file_name` (a bare name, no folder) from the
  // folder that holds the running program, and only from there, so a file of
  // the same name planted in the working folder, the plug-in folder or a
  // library search path is never loaded. Returns false with the reason in
  // `err` when it cannot be loaded.
  bool Load(const std::string& file_name, std::string* err);

  // The address of the symbol `name`, or null (reason in `err`) when the
  // library does not define it. The caller knows what the symbol is.
  void* FindSymbol(const char* name, std::string* err) const;

 private:
  void* handle_ = nullptr;
};

}  // namespace pellory

#endif  // PELLORY_PLATFORM_LIBRARY_H_
