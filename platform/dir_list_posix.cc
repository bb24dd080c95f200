#include <dirent.h>

#include <cstring>

#include "platform/dir_list.h"

namespace pellory {

bool ListDirectory(const std::string& dir, std::vector<std::string>* names) {
  names->clear();
  DIR* listing = opendir(dir.c_str());
  if (listing == nullptr) return false;
  while (const dirent* entry = readdir(listing)) {
    if (std::strcmp(entry->d_name, ".") == 0 ||
        std::strcmp(entry->d_name, "..") == 0) {
      continue;
    }
    names->emplace_back(entry->d_name);
  }
  closedir(listing);
  SortListing(names);
  return true;
}

}  // namespace pellory
