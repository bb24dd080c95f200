// Saving files on Linux. Every step works relative to the target's folder,
// opened once, so that a name as long as the system allows can be saved and
// its temporary and backup files sit beside it whatever the path's length.
//
// The temporary file of a replacement is made without a name (O_TMPFILE)
// where the file system allows it, and linked in through /proc/self/fd once
// complete; elsewhere it is a named file, removed when the save fails or
// the process is interrupted or terminated.
#include <fcntl.h>
#include <limits.h>
#include <linux/magic.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/ending_signals.h"
#include "platform/file.h"

namespace pellory {
namespace {

// The reason the call that just failed gives.
std::string ErrnoText() { return std::strerror(errno); }

// The kernel's own limit on the symbolic links one name may pass through.
constexpr int kMaxLinks = 40;

// The folder part of `path` ("." for a bare name), and the name in it.
std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  return path.substr(path.rfind('/') + 1);
}

// Whether the symbolic link `path` is one of /proc's links to what a process
// has open (/proc/self, /proc/<pid>/fd/N, reached from /dev/stdout or
// /dev/fd/N): the kernel opens the very pipe, terminal or file behind it,
// which its text ("pipe:[N]", a file's former name) need not lead to.
bool IsProcessLink(const std::string& path) {
  struct statfs system;
  return statfs(FolderOf(path).c_str(), &system) == 0 &&
         system.f_type == PROC_SUPER_MAGIC;
}

// Follows symbolic links from `path` to the name they end at, which may not
// exist (a dangling link creates its target). A relative link resolves
// against the folder of the link itself. A process's link is not followed:
// `*process_link` is then set, and the target is the name that reaches it.
bool FollowLinks(std::string path, std::string* target, bool* process_link,
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

// Gives `to` every extended attribute of `from` (ACLs among them). False
// when one cannot be read or given: a replacement would then lose it.
bool CopyExtendedAttributes(int from, int to) {
  ssize_t size = flistxattr(from, nullptr, 0);
  if (size <= 0) return size == 0;
  std::vector<char> names(static_cast<size_t>(size));
  size = flistxattr(from, names.data(), names.size());
  if (size < 0) return false;
  std::vector<char> value;
  for (const char* name = names.data(); name < names.data() + size;
       name += std::strlen(name) + 1) {
    const ssize_t length = fgetxattr(from, name, nullptr, 0);
    if (length < 0) return false;
    value.resize(static_cast<size_t>(length));
    if (fgetxattr(from, name, value.data(), value.size()) != length ||
        fsetxattr(to, name, value.data(), value.size(), 0) != 0) {
      return false;
    }
  }
  return true;
}

// Copies the whole content of `from` to the start of `to`, then ends `to`
// there. Both are read and written from their current offsets.
bool CopyContent(int from, int to) {
  for (;;) {
    const ssize_t copied =
        copy_file_range(from, nullptr, to, nullptr, size_t{1} << 30, 0);
    if (copied == 0) break;
    if (copied > 0) continue;
    if (errno == EINTR) continue;
    if (errno != EXDEV && errno != ENOSYS && errno != EINVAL &&
        errno != EOPNOTSUPP) {
      return false;
    }
    // A file system that cannot copy within the kernel: through a buffer.
    constexpr size_t kBuffer = 256 << 10;
    std::unique_ptr<char[]> buffer(new char[kBuffer]);
    for (;;) {
      const ssize_t got = read(from, buffer.get(), kBuffer);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return false;
      if (got == 0) break;
      for (ssize_t done = 0; done < got;) {
        const ssize_t put =
            write(to, buffer.get() + done, static_cast<size_t>(got - done));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        done += put;
      }
    }
    break;
  }
  const off_t end = lseek(to, 0, SEEK_CUR);
  return end >= 0 && ftruncate(to, end) == 0;
}

// The named temporary file, while one exists, for the cleanup that removes
// it should the process be ended meanwhile.
int pending_folder = -1;
char pending_name[NAME_MAX + 1];

void RemovePendingTemporary() { unlinkat(pending_folder, pending_name, 0); }

// A name that does not exist yet in a folder: `prefix` and six letters.
std::string UnusedName(const std::string& prefix) {
  static std::mt19937_64 random(std::random_device{}() ^ getpid());
  static constexpr char kLetters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::string name = prefix;
  for (int i = 0; i < 6; ++i) name += kLetters[random() % 62];
  return name;
}

// Creates a new file in `folder` under a name from UnusedName(`prefix`),
// which goes to `*name`. When `removable`, an ending signal removes it until
// DisarmEndingSignals.
int CreateUnusedFile(int folder, const std::string& prefix, bool removable,
                     std::string* name) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    EndingSignalsHeldBack held;
    *name = UnusedName(prefix);
    const int fd = openat(folder, name->c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd >= 0 && removable) {
      pending_folder = folder;
      std::strncpy(pending_name, name->c_str(), NAME_MAX);
      ArmEndingSignals(RemovePendingTemporary);
    }
    return fd;
  }
  errno = EEXIST;
  return -1;
}

// Whether a nameless file can be given a name later: that goes through
// /proc, which some containers do not mount.
bool CanNameAnonymousFiles() {
  static const bool can = access("/proc/self/fd", X_OK) == 0;
  return can;
}

// Gives the nameless file `fd` a name from UnusedName(`prefix`) in `folder`,
// which goes to `*name`.
bool LinkInto(int fd, int folder, const std::string& prefix,
              std::string* name) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  for (int attempt = 0; attempt < 100; ++attempt) {
    *name = UnusedName(prefix);
    if (linkat(AT_FDCWD, self.c_str(), folder, name->c_str(),
               AT_SYMLINK_FOLLOW) == 0) {
      return true;
    }
    if (errno != EEXIST) return false;
  }
  errno = EEXIST;
  return false;
}

}  // namespace

const std::string_view kTextLineEnd = "\n";

FileSaver::~FileSaver() { Discard(); }

bool FileSaver::Fail(std::string* err) {
  *err = ErrnoText();
  failed_ = true;
  if (mode_ == Mode::kInPlace && written_ > 0) {
    if (backup_.empty()) {
      *err += "; " + target_ + " is left incomplete";
    } else if (!RestoreFromBackup()) {
      *err += "; its old content is kept in " + folder_ + "/" + backup_;
      backup_.clear();
    }
  }
  Discard();
  return false;
}

void FileSaver::DiscardReplacement() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (!temporary_.empty()) {
    EndingSignalsHeldBack held;
    unlinkat(folder_fd_, temporary_.c_str(), 0);
    DisarmEndingSignals();
    temporary_.clear();
  }
}

bool FileSaver::FailReplacement(std::string* err) {
  *err = ErrnoText();
  DiscardReplacement();
  return false;
}

void FileSaver::Discard() {
  DiscardReplacement();
  if (!backup_.empty()) unlinkat(folder_fd_, backup_.c_str(), 0);
  backup_.clear();
  if (folder_fd_ >= 0) close(folder_fd_);
  folder_fd_ = -1;
  held_back_.reset();
}

bool FileSaver::Open(const std::string& path, std::string* err) {
  // The file-size limit is then an ordinary write error, not the end of
  // the process with a half-written file.
  static const bool file_size_signal_ignored =
      ::signal(SIGXFSZ, SIG_IGN) != SIG_ERR;
  (void)file_size_signal_ignored;
  Discard();
  mode_ = Mode::kNone;
  failed_ = false;
  written_ = 0;
  keep_existing_ = false;
  bool process_link;
  if (!FollowLinks(path, &target_, &process_link, err)) return false;
  if (process_link) return OpenProcessLink(err);
  folder_ = FolderOf(target_);
  name_ = NameOf(target_);
  if (name_.empty()) {
    errno = EISDIR;
    return Fail(err);
  }
  folder_fd_ = open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  // A folder one may enter but not list still takes files.
  if (folder_fd_ < 0 && errno == EACCES) {
    folder_fd_ = open(folder_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  }
  if (folder_fd_ < 0) return Fail(err);

  struct stat existing;
  if (fstatat(folder_fd_, name_.c_str(), &existing, 0) != 0) {
    if (errno != ENOENT) return Fail(err);
    // A new file: the usual permission bits under the umask.
    const mode_t mask = umask(0);
    umask(mask);
    mode_bits_ = 0666 & ~mask;
    return OpenReplacement(err);
  }
  if (S_ISDIR(existing.st_mode)) {
    errno = EISDIR;
    return Fail(err);
  }
  // Whether the process may write the file is the file's to say, exactly
  // as for a truncating open: permission bits, ACLs, a read-only file
  // system. No replacement may get round that.
  fd_ = openat(folder_fd_, name_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (fd_ < 0) return Fail(err);
  if (!S_ISREG(existing.st_mode)) {
    mode_ = Mode::kDirect;
    return true;
  }
  keep_existing_ = true;
  owner_ = existing.st_uid;
  group_ = existing.st_gid;
  mode_bits_ = existing.st_mode & 07777;
  if (existing.st_nlink == 1) {
    const int existing_fd = fd_;
    fd_ = -1;
    std::string ignored;
    if (OpenReplacement(&ignored) && CopyExtendedAttributes(existing_fd, fd_)) {
      close(existing_fd);
      return true;
    }
    // No temporary file here, not one with the same owner, or not one
    // that keeps every attribute: in place.
    DiscardReplacement();
    fd_ = existing_fd;
  }
  StartInPlace();
  return true;
}

bool FileSaver::OpenProcessLink(std::string* err) {
  fd_ = open(target_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (fd_ < 0) return Fail(err);
  struct stat opened;
  if (fstat(fd_, &opened) != 0) return Fail(err);
  if (!S_ISREG(opened.st_mode)) {
    mode_ = Mode::kDirect;
    return true;
  }
  // A file another process has open, maybe under no name at all: only
  // its content can change.
  StartInPlace();
  return true;
}

void FileSaver::StartInPlace() {
  mode_ = Mode::kInPlace;
  // Nothing but SIGKILL, a crash or a power loss cuts the rewrite short,
  // and against those the backup keeps the old content.
  held_back_.emplace();
  if (folder_fd_ < 0) return;
  const int old = openat(folder_fd_, name_.c_str(), O_RDONLY | O_CLOEXEC);
  if (old < 0) return;
  // The backup's name says whose it is, where that fits. It gets the name
  // once complete and synced, where the file system allows a nameless file.
  std::string prefix = "." + name_ + ".pellory-backup-";
  if (prefix.size() + 6 > NAME_MAX) prefix = ".pellory-backup-";
  std::string name;
  int backup = -1;
#if defined(O_TMPFILE)
  if (CanNameAnonymousFiles()) {
    backup = openat(folder_fd_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  }
#endif
  const bool nameless = backup >= 0;
  if (!nameless) backup = CreateUnusedFile(folder_fd_, prefix, false, &name);
  if (backup >= 0) {
    bool kept = CopyContent(old, backup) && fsync(backup) == 0;
    if (kept && nameless) kept = LinkInto(backup, folder_fd_, prefix, &name);
    close(backup);
    if (kept) {
      backup_ = name;
      fsync(folder_fd_);
    } else if (!nameless) {
      unlinkat(folder_fd_, name.c_str(), 0);
    }
  }
  close(old);
}

bool FileSaver::RestoreFromBackup() {
  const int backup = openat(folder_fd_, backup_.c_str(), O_RDONLY | O_CLOEXEC);
  if (backup < 0) return false;
  const bool restored = lseek(fd_, 0, SEEK_SET) == 0 &&
                        CopyContent(backup, fd_) && fsync(fd_) == 0;
  close(backup);
  return restored;
}

bool FileSaver::OpenReplacement(std::string* err) {
  mode_ = Mode::kReplace;
#if defined(O_TMPFILE)
  if (CanNameAnonymousFiles()) {
    fd_ = openat(folder_fd_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd_ < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
      return FailReplacement(err);
    }
  }
#endif
  if (fd_ < 0) {
    fd_ = CreateUnusedFile(folder_fd_, ".pellory-save-", true, &temporary_);
    if (fd_ < 0) {
      temporary_.clear();
      return FailReplacement(err);
    }
  }
  // Owner and group first: a change of owner clears the set-ID bits, which
  // the permission bits then set again, and only for the same owner.
  if (keep_existing_) {
    struct stat made;
    if (fstat(fd_, &made) != 0) return FailReplacement(err);
    if ((made.st_uid != owner_ || made.st_gid != group_) &&
        fchown(fd_, owner_, group_) != 0) {
      return FailReplacement(err);
    }
  }
  if (fchmod(fd_, mode_bits_) != 0) return FailReplacement(err);
  return true;
}

bool FileSaver::Reserve(uint64_t size, std::string* err) {
  if (fd_ < 0 || failed_) return false;
  // The file keeps its size until the content is written: a reservation
  // that fails changes nothing a reader sees.
  if (fallocate(fd_, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size)) == 0) {
    return true;
  }
  // File systems that cannot reserve space write as they always have.
  if (errno == EOPNOTSUPP || errno == EINVAL || errno == ENOSYS) return true;
  return Fail(err);
}

bool FileSaver::Write(const char* data, size_t size, std::string* err) {
  if (fd_ < 0 || failed_) return false;
  while (size > 0) {
    const ssize_t written = write(fd_, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      if (written == 0) errno = EIO;
      return Fail(err);
    }
    data += written;
    size -= static_cast<size_t>(written);
    written_ += static_cast<uint64_t>(written);
  }
  return true;
}

bool FileSaver::Commit(std::string* err) {
  if (fd_ < 0 || failed_) return false;
  if (mode_ == Mode::kDirect) {
    // A device or a FIFO: nothing to sync or to put in place.
    const int fd = fd_;
    fd_ = -1;
    if (close(fd) != 0) return Fail(err);
    Discard();
    return true;
  }
  if (mode_ == Mode::kInPlace &&
      ftruncate(fd_, static_cast<off_t>(written_)) != 0) {
    return Fail(err);
  }
  if (fsync(fd_) != 0) return Fail(err);
  if (mode_ == Mode::kInPlace) {
    // The new content is on disk: the backup goes.
    Discard();
    return true;
  }
  if (!PutInPlace(err)) return false;
  // Make the rename itself durable. The new content is already in place, so
  // a failure here is not reported as a failed save.
  fsync(folder_fd_);
  Discard();
  return true;
}

bool FileSaver::PutInPlace(std::string* err) {
  if (!temporary_.empty()) {
    EndingSignalsHeldBack held;
    if (renameat(folder_fd_, temporary_.c_str(), folder_fd_, name_.c_str()) !=
        0) {
      return Fail(err);
    }
    temporary_.clear();
    DisarmEndingSignals();
    return true;
  }
  // The nameless file gets a name only for the moment of the rename, with
  // the ending signals held back meanwhile.
  EndingSignalsHeldBack held;
  std::string name;
  if (!LinkInto(fd_, folder_fd_, ".pellory-save-", &name)) return Fail(err);
  if (renameat(folder_fd_, name.c_str(), folder_fd_, name_.c_str()) != 0) {
    const int error = errno;
    unlinkat(folder_fd_, name.c_str(), 0);
    errno = error;
    return Fail(err);
  }
  return true;
}

}  // namespace pellory
