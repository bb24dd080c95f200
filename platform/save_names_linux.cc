#include "platform/save_names_linux.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/file.h"

namespace pellory {
namespace {

// The kernel's own limit on the symbolic links one name may pass through.
constexpr int kMaxLinks = 40;

// Whether the symbolic link `path` is one of /proc's links to what a process
// has open (/proc/self, /proc/<pid>/fd/N, reached from /dev/stdout or
// /dev/fd/N): the kernel opens the very pipe, terminal or file behind it,
// which its text ("pipe:[N]", a file's former name) need not lead to.
bool IsProcessLink(const std::string& path) {
  struct statfs system;
  return statfs(FolderOf(path).c_str(), &system) == 0 &&
         system.f_type == PROC_SUPER_MAGIC;
}

}  // namespace

std::string ErrnoText() { return std::strerror(errno); }

std::string BackupPrefix(const std::string& name) {
  const std::string prefix = "." + name + ".pellory-backup-";
  return prefix.size() + 6 > NAME_MAX ? ".pellory-backup-" : prefix;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  return path.substr(path.rfind('/') + 1);
}

bool LocateTarget(std::string path, std::string* target, bool* process_link,
                  std::string* err) {
  *process_link = false;
  for (int links = 0;; ++links) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) break;
    if (IsProcessLink(path)) {
      *process_link = true;
      break;
    }
    if (links == kMaxLinks) {
      errno = ELOOP;
      *err = ErrnoText();
      return false;
    }
    std::vector<char> link(PATH_MAX + 1);
    const ssize_t length = readlink(path.c_str(), link.data(), PATH_MAX);
    if (length < 0) {
      *err = ErrnoText();
      return false;
    }
    std::string next(link.data(), static_cast<size_t>(length));
    if (next.empty() || next[0] != '/') {
      next = FolderOf(path) + "/" + next;
    }
    path = next;
  }
  *target = path;
  return true;
}

int OpenFolder(const std::string& folder) {
  int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0 && errno == EACCES) {
    fd = open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  }
  return fd;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::string InterruptedSaveBackup(const std::string& path) {
  std::string target;
  bool process_link;
  std::string ignored;
  if (!LocateTarget(path, &target, &process_link, &ignored) || process_link) {
    return "";
  }
  const std::string prefix = BackupPrefix(NameOf(target));
  if (prefix == BackupPrefix("")) return "";  // a name too long to tell
  DIR* folder = opendir(FolderOf(target).c_str());
  if (folder == nullptr) return "";
  std::string found;
  while (const dirent* entry = readdir(folder)) {
    const std::string name = entry->d_name;
    if (name.size() == prefix.size() + 6 && name.rfind(prefix, 0) == 0) {
      found = name;
      break;
    }
  }
  closedir(folder);
  return found;
}

}  // namespace pellory
