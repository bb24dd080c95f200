// Listing the entries of a folder.
#ifndef PELLORY_PLATFORM_DIR_LIST_H_
#define PELLORY_PLATFORM_DIR_LIST_H_

#include <string>
#include <vector>

namespace pellory {

// Fills `names` with the names of every entry of the folder `dir` (files,
// folders, links, whatever their kind; dot files included; "." and ".."
// never), ordered case-insensitively: ASCII letters compare as upper case,
// and names equal that way are ordered by their bytes. The order is the same
// on every file system, so menu numbers built from it are stable.
// Returns false, with `names` empty, when the folder cannot be opened.
bool ListDirectory(const std::string& dir, std::vector<std::string>* names);

// Puts `names` in the listing order above. Shared by every platform's
// ListDirectory, since each system returns its own order.
void SortListing(std::vector<std::string>* names);

}  // namespace pellory

#endif  // PELLORY_PLATFORM_DIR_LIST_H_
