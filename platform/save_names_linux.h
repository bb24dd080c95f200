// Where a save goes on Linux: the folder and the name in it that a path
// leads to once its symbolic links are read, and the folder opened to work
// in. Which links may be followed is the kernel's to say when the name is
// opened; this only locates the file.
#ifndef PELLORY_PLATFORM_SAVE_NAMES_LINUX_H_
#define PELLORY_PLATFORM_SAVE_NAMES_LINUX_H_

#include <sys/stat.h>

#include <string>

namespace pellory {

// The reason the call that just failed gives.
std::string ErrnoText();

// How a backup's name begins: it says whose it is, where that fits.
std::string BackupPrefix(const std::string& name);

// The folder part of `path` ("." for a bare name), and the name in it.
std::string FolderOf(const std::string& path);
std::string NameOf(const std::string& path);

// Where the name `path` ends once its symbolic links are read, which may not
// exist (a dangling link creates its target). This only locates the file:
// whether a link may be followed at all is the kernel's to decide, when the
// name is opened. A relative link resolves against the folder of the link
// itself. A process's link (/dev/stdout, /dev/fd/N, /proc/<pid>/fd/N) is
// not read: `*process_link` is then set, and the target is the name that
// reaches it. False, with the reason in `err`, on a loop or an unreadable
// link.
bool LocateTarget(std::string path, std::string* target, bool* process_link,
                  std::string* err);

// Opens `folder` to work in, or -1. A folder one may enter but not list
// still takes files.
int OpenFolder(const std::string& folder);

bool SameFile(const struct stat& a, const struct stat& b);

}  // namespace pellory

#endif  // PELLORY_PLATFORM_SAVE_NAMES_LINUX_H_
