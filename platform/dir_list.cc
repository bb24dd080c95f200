#include "platform/dir_list.h"

#include <algorithm>
#include <cstddef>

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

void SortListing(std::vector<std::string>* names) {
  std::sort(names->begin(), names->end(), ListedBefore);
}

}  // namespace pellory
