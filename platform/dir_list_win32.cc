#include <windows.h>

#include <cstring>

#include "platform/dir_list.h"

namespace pellory {

bool ListDirectory(const std::string& dir, std::vector<std::string>* names) {
  names->clear();
  WIN32_FIND_DATAA FindFileData;
  const HANDLE listing = FindFirstFileA((dir + "\\*").c_str(), &FindFileData);
  if (listing == INVALID_HANDLE_VALUE) return false;
  do {
    if (std::strcmp(FindFileData.cFileName, ".") == 0 ||
        std::strcmp(FindFileData.cFileName, "..") == 0) {
      continue;
    }
    names->emplace_back(FindFileData.cFileName);
  } while (FindNextFileA(listing, &FindFileData));
  FindClose(listing);
  SortListing(names);
  return true;
}

}  // namespace pellory
