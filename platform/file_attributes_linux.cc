#include "platform/file_attributes_linux.h"

#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace pellory {
namespace {

// The access ACL a new file inherits from its folder's default ACL, which a
// replacement must not carry when the old file had none.
constexpr char kAccessAcl[] = "system.posix_acl_access";

// The flags chattr sets that say how a file is to be kept, and that a new
// file does not get by itself: secure deletion (s), undeletable (u),
// compressed (c), synchronous (S), no dump (d), no atime (A), data
// journalling (j), no tail merging (t), synchronous folder updates (D), no
// copy on write (C), project inheritance (P), no compression (m).
// Immutable and append-only files refuse the save's open for writing.
constexpr unsigned kCarriedFlags =
    FS_SECRM_FL | FS_UNRM_FL | FS_COMPR_FL | FS_SYNC_FL | FS_NODUMP_FL |
    FS_NOATIME_FL | FS_JOURNAL_DATA_FL | FS_NOTAIL_FL | FS_DIRSYNC_FL |
    FS_NOCOW_FL | FS_PROJINHERIT_FL | FS_NOCOMP_FL;

// The inode flags of `fd`, 0 where the file system has none.
bool ReadFlags(int fd, unsigned* flags) {
  int read = 0;
  if (ioctl(fd, FS_IOC_GETFLAGS, &read) == 0) {
    *flags = static_cast<unsigned>(read);
    return true;
  }
  *flags = 0;
  return errno == ENOTTY || errno == EOPNOTSUPP || errno == EINVAL ||
         errno == ENOSYS;
}

bool GiveFlags(int fd, unsigned carried) {
  unsigned now;
  if (!ReadFlags(fd, &now)) return false;
  const unsigned wanted = (now & ~kCarriedFlags) | carried;
  if (wanted == now) return true;
  int set = static_cast<int>(wanted);
  return ioctl(fd, FS_IOC_SETFLAGS, &set) == 0;
}

}  // namespace

bool ReadAttributes(int fd, const struct stat& status,
                    FileAttributes* attributes) {
  attributes->status = status;
  attributes->extended.clear();
  unsigned flags;
  if (!ReadFlags(fd, &flags)) return false;
  attributes->flags = flags & kCarriedFlags;
  ssize_t size = flistxattr(fd, nullptr, 0);
  if (size <= 0) return size == 0;
  std::vector<char> names(static_cast<size_t>(size));
  size = flistxattr(fd, names.data(), names.size());
  if (size < 0) return false;
  for (const char* name = names.data(); name < names.data() + size;
       name += std::strlen(name) + 1) {
    const ssize_t length = fgetxattr(fd, name, nullptr, 0);
    if (length < 0) return false;
    std::string value(static_cast<size_t>(length), '\0');
    if (fgetxattr(fd, name, value.data(), value.size()) != length) return false;
    attributes->extended.emplace_back(name, std::move(value));
  }
  return true;
}

bool GiveOwner(int fd, const FileAttributes& attributes) {
  const struct stat& old = attributes.status;
  struct stat made;
  if (fstat(fd, &made) != 0) return false;
  return (made.st_uid == old.st_uid && made.st_gid == old.st_gid) ||
         fchown(fd, old.st_uid, old.st_gid) == 0;
}

bool GiveAttributes(int fd, const FileAttributes& attributes,
                    bool only_missing) {
  // What the folder's default ACL gave the replacement, the old file did
  // not have.
  bool had_acl = false;
  for (const auto& attribute : attributes.extended) {
    had_acl = had_acl || attribute.first == kAccessAcl;
  }
  if (!only_missing && !had_acl && fremovexattr(fd, kAccessAcl) != 0 &&
      errno != ENODATA && errno != EOPNOTSUPP) {
    return false;
  }
  for (const auto& [name, value] : attributes.extended) {
    if (only_missing && fgetxattr(fd, name.c_str(), nullptr, 0) >= 0) continue;
    if (fsetxattr(fd, name.c_str(), value.data(), value.size(), 0) != 0) {
      return false;
    }
  }
  const mode_t mode = attributes.status.st_mode & 07777;
  struct stat now;
  if (fstat(fd, &now) != 0) return false;
  if ((now.st_mode & 07777) != mode && fchmod(fd, mode) != 0) return false;
  return only_missing || GiveFlags(fd, attributes.flags);
}

}  // namespace pellory
