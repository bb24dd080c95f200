#include <dirent.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "platform/dir_list.h"

namespace pellory {
namespace {

unsigned char UpperAscii(unsigned char c) {
  return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

bool ListedBefore(const std::string& a, const std::string& b) {
  const size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    const unsigned char x = UpperAscii(static_cast<unsigned char>(a[i]));
    const unsigned char y = UpperAscii(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

}  // namespace

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
  std::sort(names->begin(), names->end(), ListedBefore);
  return true;
}

}  // namespace pellory
