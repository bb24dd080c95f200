// Saving files on Linux. The kernel resolves the name the user gave, as it
// does for any program's open: it decides whether each symbolic link may be
// followed (protected_symlinks, nosymfollow mounts), whether the file may be
// written (permission bits, ACLs, protected_regular in shared sticky
// folders), and what access a new file gets (the umask or the folder's
// default ACL). The saver only learns from that where the file lies, so that
// the new content can be put beside it and renamed over it, and checks that
// the name still leads to the same file when it acts.
//
// Every step works relative to the target's folder, opened once, so that a
// name as long as the system allows can be saved and its temporary and
// backup files sit beside it whatever the path's length. The temporary file
// of a replacement is made without a name (O_TMPFILE) where the file system
// allows it, and linked in through /proc/self/fd once complete; elsewhere it
// is a named file, removed when the save fails or the process is interrupted
// or terminated.
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <linux/magic.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/xattr.h>
#include <time.h>
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

// How a backup's name begins: it says whose it is, where that fits.
std::string BackupPrefix(const std::string& name) {
  const std::string prefix = "." + name + ".pellory-backup-";
  return prefix.size() + 6 > NAME_MAX ? ".pellory-backup-" : prefix;
}

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

// Where the name `path` ends once its symbolic links are read, which may not
// exist (a dangling link creates its target). This only locates the file:
// whether a link may be followed at all is the kernel's to decide, when the
// name is opened. A relative link resolves against the folder of the link
// itself. A process's link is not read: `*process_link` is then set, and the
// target is the name that reaches it.
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

// Opens `folder` to work in. A folder one may enter but not list still
// takes files.
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

// Whether `size` bytes stay within the process's file-size limit; a write
// past it would fail halfway.
bool WithinFileSizeLimit(uint64_t size) {
  struct rlimit limit;
  if (getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
      size <= limit.rlim_cur) {
    return true;
  }
  errno = EFBIG;
  return false;
}

// The access ACL a new file inherits from its folder's default ACL, which a
// replacement must not carry when the old file had none.
constexpr char kAccessAcl[] = "system.posix_acl_access";

// Every extended attribute of `fd` (ACLs among them), as name and value.
// False when one cannot be read.
bool ReadAttributes(
    int fd, std::vector<std::pair<std::string, std::string>>* attributes) {
  attributes->clear();
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
    attributes->emplace_back(name, std::move(value));
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

// Writes to `fd` with the broken-pipe signal held back: a FIFO or pipe
// whose reader has gone fails the write with EPIPE, and the save with it,
// instead of ending the process.
ssize_t WriteNoPipeSignal(int fd, const char* data, size_t size) {
  sigset_t pipe_signal;
  sigset_t before;
  sigemptyset(&pipe_signal);
  sigaddset(&pipe_signal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe_signal, &before);
  sigset_t pending;
  sigpending(&pending);
  const bool was_pending = sigismember(&pending, SIGPIPE);
  const ssize_t written = write(fd, data, size);
  const int error = errno;
  // A reader leaving during a write that still wrote part raises the
  // signal too; the next write fails with EPIPE.
  sigpending(&pending);
  if (!was_pending && sigismember(&pending, SIGPIPE)) {
    const timespec now = {0, 0};
    sigtimedwait(&pipe_signal, nullptr, &now);
  }
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  errno = error;
  return written;
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

// Creates a new file in `folder` with `mode` (under the umask or the
// folder's default ACL) under a name from UnusedName(`prefix`), which goes
// to `*name`. When `removable`, an ending signal removes it until
// DisarmEndingSignals.
int CreateUnusedFile(int folder, const std::string& prefix, mode_t mode,
                     bool removable, std::string* name) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    EndingSignalsHeldBack held;
    *name = UnusedName(prefix);
    const int fd = openat(folder, name->c_str(),
                          O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
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

// A nameless new file in `folder` with `mode`, as a named one would get it,
// or -1 where the file system cannot make one.
int CreateNamelessFile(int folder, mode_t mode) {
#if defined(O_TMPFILE)
  if (CanNameAnonymousFiles()) {
    return openat(folder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
  }
#endif
  (void)folder;
  (void)mode;
  errno = EOPNOTSUPP;
  return -1;
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
  if (mode_ == Mode::kInPlace && written_ == 0) GiveBackReservation();
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

void FileSaver::Discard() {
  DiscardReplacement();
  if (existing_fd_ >= 0) close(existing_fd_);
  existing_fd_ = -1;
  if (!backup_.empty()) unlinkat(folder_fd_, backup_.c_str(), 0);
  backup_.clear();
  if (folder_fd_ >= 0) close(folder_fd_);
  folder_fd_ = -1;
  held_back_.reset();
}

bool FileSaver::Open(const std::string& path, uint64_t size, std::string* err) {
  // The file-size limit is then an ordinary write error, not the end of
  // the process with a half-written file.
  static const bool file_size_signal_ignored =
      ::signal(SIGXFSZ, SIG_IGN) != SIG_ERR;
  (void)file_size_signal_ignored;
  Discard();
  mode_ = Mode::kNone;
  failed_ = false;
  written_ = 0;
  size_ = size;
  bool process_link;
  if (!LocateTarget(path, &target_, &process_link, err)) return false;
  // The kernel follows the links, under its protections; whether the name
  // leads to anything is asked without opening it (a FIFO would wait).
  const int found = open(path.c_str(), O_PATH | O_CLOEXEC);
  if (found < 0) {
    if (errno != ENOENT || process_link) return Fail(err);
    return OpenNew(err);
  }
  close(found);
  // Whether the process may write the file is the system's to say, exactly
  // as for the shell's `>`: permission bits, ACLs, a read-only file system,
  // a folder, another user's file in a shared sticky folder. No
  // replacement may get round that.
  existing_fd_ =
      open(path.c_str(), O_WRONLY | O_CREAT | O_NOCTTY | O_CLOEXEC, 0666);
  if (existing_fd_ < 0 || fstat(existing_fd_, &existing_) != 0) {
    return Fail(err);
  }
  if (!S_ISREG(existing_.st_mode)) {
    // A device or a FIFO: written into, never replaced.
    mode_ = Mode::kDirect;
    fd_ = existing_fd_;
    existing_fd_ = -1;
    return true;
  }
  if (!WithinFileSizeLimit(size_)) return Fail(err);
  // Attributes that cannot all be read cannot be given to a replacement.
  const bool attributes_read = ReadAttributes(existing_fd_, &attributes_);
  if (!attributes_read) attributes_.clear();
  // A file another process has open, maybe under no name at all, or one
  // whose name no longer leads to it: only its content can change.
  struct stat located;
  if (!process_link) {
    folder_ = FolderOf(target_);
    name_ = NameOf(target_);
    folder_fd_ = OpenFolder(folder_);
  }
  if (folder_fd_ < 0 ||
      fstatat(folder_fd_, name_.c_str(), &located, AT_SYMLINK_NOFOLLOW) != 0 ||
      !SameFile(located, existing_)) {
    if (folder_fd_ >= 0) close(folder_fd_);
    folder_fd_ = -1;
    return StartInPlace(err);
  }
  if (existing_.st_nlink == 1 && attributes_read && OpenReplacement(0600) &&
      GiveAttributes(fd_, false)) {
    return true;
  }
  // No temporary file here, not one with the same owner, or not one that
  // keeps every attribute: in place.
  DiscardReplacement();
  return StartInPlace(err);
}

bool FileSaver::OpenNew(std::string* err) {
  folder_ = FolderOf(target_);
  name_ = NameOf(target_);
  if (name_.empty()) {
    errno = EISDIR;
    return Fail(err);
  }
  if (!WithinFileSizeLimit(size_)) return Fail(err);
  folder_fd_ = OpenFolder(folder_);
  if (folder_fd_ < 0) return Fail(err);
  // The access any program's new file gets here: 0666 under the umask, or
  // the folder's default ACL.
  if (!OpenReplacement(0666)) return Fail(err);
  return true;
}

bool FileSaver::OpenReplacement(mode_t mode) {
  mode_ = Mode::kReplace;
  fd_ = CreateNamelessFile(folder_fd_, mode);
  if (fd_ < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
    return false;
  }
  if (fd_ < 0) {
    fd_ =
        CreateUnusedFile(folder_fd_, ".pellory-save-", mode, true, &temporary_);
    if (fd_ < 0) {
      temporary_.clear();
      return false;
    }
  }
  if (existing_fd_ < 0) return true;
  // Owner and group first: a change of owner clears the set-ID bits and
  // file capabilities, which GiveAttributes then sets again.
  struct stat made;
  if (fstat(fd_, &made) != 0) return false;
  return (made.st_uid == existing_.st_uid && made.st_gid == existing_.st_gid) ||
         fchown(fd_, existing_.st_uid, existing_.st_gid) == 0;
}

bool FileSaver::GiveAttributes(int fd, bool only_missing) {
  // What the folder's default ACL gave the replacement, the old file did
  // not have.
  bool had_acl = false;
  for (const auto& attribute : attributes_) {
    had_acl = had_acl || attribute.first == kAccessAcl;
  }
  if (!only_missing && !had_acl && fremovexattr(fd, kAccessAcl) != 0 &&
      errno != ENODATA && errno != EOPNOTSUPP) {
    return false;
  }
  for (const auto& [name, value] : attributes_) {
    if (only_missing && fgetxattr(fd, name.c_str(), nullptr, 0) >= 0) continue;
    if (fsetxattr(fd, name.c_str(), value.data(), value.size(), 0) != 0) {
      return false;
    }
  }
  struct stat now;
  if (fstat(fd, &now) != 0) return false;
  return (now.st_mode & 07777) == (existing_.st_mode & 07777) ||
         fchmod(fd, existing_.st_mode & 07777) == 0;
}

bool FileSaver::StartInPlace(std::string* err) {
  mode_ = Mode::kInPlace;
  fd_ = existing_fd_;
  existing_fd_ = -1;
  // Nothing but SIGKILL, a crash or a power loss cuts the rewrite short,
  // and against those the backup keeps the old content.
  held_back_.emplace();
  MakeBackup();
  // The file keeps its size until the content is written: a reservation
  // that fails changes nothing a reader sees. File systems that cannot
  // reserve space write as they always have.
  if (fallocate(fd_, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size_)) != 0 &&
      errno != EOPNOTSUPP && errno != EINVAL && errno != ENOSYS) {
    return Fail(err);
  }
  return true;
}

void FileSaver::GiveBackReservation() {
  // A reservation that failed may have taken part of the space before it
  // did: cutting the file at its own size gives back what lies past its
  // end (punching a hole there is a no-op on ext4).
  const off_t old_size = existing_.st_size;
  if (fd_ < 0 || size_ <= static_cast<uint64_t>(old_size)) return;
  const int error = errno;
  ftruncate(fd_, old_size);
  errno = error;
}

void FileSaver::MakeBackup() {
  if (folder_fd_ < 0) return;
  const int old = openat(folder_fd_, name_.c_str(), O_RDONLY | O_CLOEXEC);
  if (old < 0) return;
  // It gets its name once complete and synced, where the file system allows
  // a nameless file.
  const std::string prefix = BackupPrefix(name_);
  std::string name;
  int backup = CreateNamelessFile(folder_fd_, 0600);
  const bool nameless = backup >= 0;
  if (!nameless)
    backup = CreateUnusedFile(folder_fd_, prefix, 0600, false, &name);
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

bool FileSaver::Write(const char* data, size_t size, std::string* err) {
  if (fd_ < 0 || failed_) return false;
  while (size > 0) {
    const ssize_t written = WriteNoPipeSignal(fd_, data, size);
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
  if (mode_ == Mode::kInPlace) return FinishInPlace(err);
  // Attributes once the content is written: writing clears file
  // capabilities, and for most users the set-ID bits.
  if ((existing_fd_ >= 0 && !GiveAttributes(fd_, false)) || fsync(fd_) != 0) {
    return Fail(err);
  }
  if (!PutInPlace(err)) return false;
  // Make the rename itself durable. The new content is already in place, so
  // a failure here is not reported as a failed save.
  fsync(folder_fd_);
  Discard();
  return true;
}

bool FileSaver::FinishInPlace(std::string* err) {
  if (ftruncate(fd_, static_cast<off_t>(written_)) != 0 ||
      !GiveAttributes(fd_, true) || fsync(fd_) != 0) {
    return Fail(err);
  }
  // The new content is on disk: the backup goes.
  Discard();
  return true;
}

bool FileSaver::PutInPlace(std::string* err) {
  // The name must still lead to the file that was checked at Open.
  if (existing_fd_ >= 0) {
    struct stat now;
    if (fstatat(folder_fd_, name_.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 ||
        !SameFile(now, existing_)) {
      errno = ESTALE;
      return Fail(err);
    }
  }
  std::string name = temporary_;
  EndingSignalsHeldBack held;
  // A nameless file gets a name only for the moment of the rename.
  if (name.empty() && !LinkInto(fd_, folder_fd_, ".pellory-save-", &name)) {
    return Fail(err);
  }
  if (renameat(folder_fd_, name.c_str(), folder_fd_, name_.c_str()) != 0) {
    const int error = errno;
    if (temporary_.empty()) unlinkat(folder_fd_, name.c_str(), 0);
    errno = error;
    // A file mounted over its name (a bind mount, as containers mount
    // single files) cannot be renamed over: it is rewritten in place.
    if ((error == EBUSY || error == EXDEV) && existing_fd_ >= 0) {
      return RewriteInPlaceFromReplacement(err);
    }
    return Fail(err);
  }
  if (!temporary_.empty()) {
    temporary_.clear();
    DisarmEndingSignals();
  }
  return true;
}

bool FileSaver::RewriteInPlaceFromReplacement(std::string* err) {
  const int content = fcntl(fd_, F_DUPFD_CLOEXEC, 0);
  if (content < 0) return Fail(err);
  DiscardReplacement();
  if (!StartInPlace(err)) {
    close(content);
    return false;
  }
  // From here a failure puts the old content back.
  written_ = size_;
  const bool copied = lseek(content, 0, SEEK_SET) == 0 &&
                      lseek(fd_, 0, SEEK_SET) == 0 && CopyContent(content, fd_);
  const int error = errno;
  close(content);
  errno = error;
  if (!copied) return Fail(err);
  return FinishInPlace(err);
}

}  // namespace pellory
