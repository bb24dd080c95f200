// What a replacing save carries over from the file it replaces on Linux:
// owner and group, permission bits (set-ID bits among them), extended
// attributes (ACLs and file capabilities among them) and the inode flags a
// user sets with chattr. Where one of them cannot be given to the new file,
// the save rewrites the old one in place instead.
#ifndef PELLORY_PLATFORM_FILE_ATTRIBUTES_LINUX_H_
#define PELLORY_PLATFORM_FILE_ATTRIBUTES_LINUX_H_

#include <sys/stat.h>

#include <string>
#include <utility>
#include <vector>

namespace pellory {

struct FileAttributes {
  // Owner, group and permission bits.
  struct stat status = {};
  // Every extended attribute, as name and value.
  std::vector<std::pair<std::string, std::string>> extended;
  // The inode flags a replacement carries (no dump, no atime, synchronous,
  // ...), 0 on a file system without them.
  unsigned flags = 0;
};

// Reads the attributes of `fd`, whose status is `status`. False when one
// cannot be read: they cannot then be given to a replacement.
bool ReadAttributes(int fd, const struct stat& status,
                    FileAttributes* attributes);

// Gives the new file `fd` the owner and group of `attributes`. A change of
// owner clears the set-ID bits and file capabilities: GiveAttributes after
// it sets them again.
bool GiveOwner(int fd, const FileAttributes& attributes);

// Gives `fd` the permission bits, extended attributes and flags of
// `attributes`, and takes away an access ACL the folder's default ACL gave
// it that the old file did not have. With `only_missing`, only the extended
// attributes `fd` lacks are set (a file rewritten in place keeps its own;
// a write may have cleared its capabilities). False when one cannot be set.
bool GiveAttributes(int fd, const FileAttributes& attributes,
                    bool only_missing);

}  // namespace pellory

#endif  // PELLORY_PLATFORM_FILE_ATTRIBUTES_LINUX_H_
