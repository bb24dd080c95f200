// Loading a filter plug-in library and finding its two exports.
#ifndef PELLORY_PLATFORM_LIBRARY_H_
#define PELLORY_PLATFORM_LIBRARY_H_

#include <string>

#include "plugin_api/filter_plugin.h"

namespace pellory {

// A loaded plug-in library. Libraries are never unloaded: the handle is
// dropped, the library stays mapped until the process ends, and loading the
// same file again returns the mapping already there.
class Library {
 public:
  // Loads the library named `file_name` (a bare name, no folder) from the
  // folder that holds the running program, and only from there, so a file of
  // the same name planted in the working folder, the plug-in folder or a
  // LD_LIBRARY_PATH entry is never loaded. Returns false with the reason in
  // `err` when it cannot be loaded.
  bool Load(const std::string& file_name, std::string* err);

  // The export `name` typed as the contract declares it, or null (reason in
  // `err`) when the library does not export it.
  ParametersFunction FindParametersFunction(const char* name,
                                            std::string* err) const;
  FilterFunction FindFilterFunction(const char* name, std::string* err) const;

 private:
  void* FindSymbol(const char* name, std::string* err) const;

  void* handle_ = nullptr;
};

}  // namespace pellory

#endif  // PELLORY_PLATFORM_LIBRARY_H_
