#include <windows.h>

#include <cwchar>

#include "platform/dir_list.h"
#include "platform/names_win32.h"

namespace pellory {

bool ListDirectory(const std::string& dir, std::vector<std::string>* names) {
  names->clear();
  WIN32_FIND_DATAW entry;
  const HANDLE listing = FindFirstFileW(WideName(dir + "\\*").c_str(), &entry);
  if (listing == INVALID_HANDLE_VALUE) return false;
  do {
    if (std::wcscmp(entry.cFileName, L".") == 0 ||
        std::wcscmp(entry.cFileName, L"..") == 0) {
      continue;
    }
    names->push_back(Utf8Name(entry.cFileName));
  } while (FindNextFileW(listing, &entry));
  FindClose(listing);
  SortListing(names);
  return true;
}

}  // namespace pellory
