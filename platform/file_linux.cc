// Files on Linux. The temporary file of a replacement is made without a
// name (O_TMPFILE) where the file system allows it, and linked in through
// /proc/self/fd once complete; elsewhere it is a named file, removed when
// the save fails or the process is interrupted or terminated.
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/ending_signals.h"
#include "platform/file.h"

namespace pellory {
namespace {

// The reason the call that just failed gives.
std::string ErrnoText() { return std::strerror(errno); }

// The folder part of `path` ("." for a bare name), and the name itself.
std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Follows symbolic links from `path` to the name they end at, which may not
// exist (a dangling link creates its target). A relative link resolves
// against the folder of the link itself.
bool FollowLinks(std::string path, std::string* target, std::string* err) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
      *target = path;
      return true;
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
  errno = ELOOP;
  *err = ErrnoText();
  return false;
}

// Whether the file has extended attributes (ACLs among them), which a
// replacement would lose.
bool HasExtendedAttributes(int fd) {
  const ssize_t size = flistxattr(fd, nullptr, 0);
  return size > 0;
}

// The named temporary file, while one exists, for the cleanup that removes
// it should the process be ended meanwhile.
char pending_temporary[PATH_MAX + 1];

void RemovePendingTemporary() { unlink(pending_temporary); }

// Creates a named temporary file from `pattern` (ending in XXXXXX) that an
// ending signal removes until DisarmEndingSignals.
int CreateRemovableTemporary(std::string* pattern) {
  EndingSignalsHeldBack held;
  const int fd = mkostemp(pattern->data(), O_CLOEXEC);
  if (fd < 0) return fd;
  std::strncpy(pending_temporary, pattern->c_str(), PATH_MAX);
  ArmEndingSignals(RemovePendingTemporary);
  return fd;
}

// A name for a temporary file in `folder` that does not exist yet.
std::string TemporaryName(const std::string& folder) {
  static std::mt19937_64 random(std::random_device{}() ^ getpid());
  static constexpr char kLetters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::string name = folder + "/.pellory-save-";
  for (int i = 0; i < 6; ++i) name += kLetters[random() % 62];
  return name;
}

}  // namespace

FileReader::~FileReader() {
  if (fd_ >= 0) close(fd_);
}

bool IsRegularFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool FileReader::Open(const std::string& path, std::string* err) {
  fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) {
    *err = ErrnoText();
    return false;
  }
  struct stat info;
  if (fstat(fd_, &info) == 0 && S_ISREG(info.st_mode)) size_ = info.st_size;
  return true;
}

long FileReader::Read(char* buffer, size_t size, std::string* err) {
  ssize_t got;
  do {
    got = read(fd_, buffer, size);
  } while (got < 0 && errno == EINTR);
  if (got < 0) *err = ErrnoText();
  return static_cast<long>(got);
}

FileSaver::~FileSaver() { Discard(); }

bool FileSaver::Fail(std::string* err) {
  *err = ErrnoText();
  failed_ = true;
  Discard();
  return false;
}

void FileSaver::Discard() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (!temporary_.empty()) {
    EndingSignalsHeldBack held;
    unlink(temporary_.c_str());
    DisarmEndingSignals();
    temporary_.clear();
  }
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
  if (!FollowLinks(path, &target_, err)) return false;
  folder_ = FolderOf(target_);

  struct stat existing;
  if (stat(target_.c_str(), &existing) != 0) {
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
  fd_ = open(target_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (fd_ < 0) return Fail(err);
  if (!S_ISREG(existing.st_mode)) {
    mode_ = Mode::kDirect;
    return true;
  }
  keep_existing_ = true;
  owner_ = existing.st_uid;
  group_ = existing.st_gid;
  mode_bits_ = existing.st_mode & 07777;
  if (existing.st_nlink == 1 && !HasExtendedAttributes(fd_)) {
    const int existing_fd = fd_;
    fd_ = -1;
    std::string ignored;
    if (OpenReplacement(&ignored)) {
      close(existing_fd);
      return true;
    }
    // No temporary file here, or not one with the same owner: in place.
    fd_ = existing_fd;
    failed_ = false;
  }
  mode_ = Mode::kInPlace;
  return true;
}

bool FileSaver::OpenReplacement(std::string* err) {
  mode_ = Mode::kReplace;
#if defined(O_TMPFILE)
  fd_ = open(folder_.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (fd_ < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
    return Fail(err);
  }
#endif
  if (fd_ < 0) {
    std::string name = folder_ + "/.pellory-save-XXXXXX";
    fd_ = CreateRemovableTemporary(&name);
    if (fd_ < 0) return Fail(err);
    temporary_ = name;
  }
  // Owner and group first: a change of owner clears the set-ID bits, which
  // the permission bits then set again, and only for the same owner.
  if (keep_existing_) {
    struct stat made;
    if (fstat(fd_, &made) != 0) return Fail(err);
    if ((made.st_uid != owner_ || made.st_gid != group_) &&
        fchown(fd_, owner_, group_) != 0) {
      return Fail(err);
    }
  }
  if (fchmod(fd_, mode_bits_) != 0) return Fail(err);
  return true;
}

bool FileSaver::Reserve(uint64_t size, std::string* err) {
  if (fd_ < 0 || failed_) return false;
  const int error = posix_fallocate(fd_, 0, static_cast<off_t>(size));
  // File systems that cannot reserve space write as they always have.
  if (error == 0 || error == EOPNOTSUPP || error == EINVAL || error == ENOSYS) {
    return true;
  }
  errno = error;
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
    return true;
  }
  if (mode_ == Mode::kInPlace &&
      ftruncate(fd_, static_cast<off_t>(written_)) != 0) {
    return Fail(err);
  }
  if (fsync(fd_) != 0) return Fail(err);
  if (mode_ == Mode::kInPlace) {
    const int fd = fd_;
    fd_ = -1;
    if (close(fd) != 0) return Fail(err);
    return true;
  }
  if (!PutInPlace(err)) return false;
  close(fd_);
  fd_ = -1;
  // Make the rename itself durable. The new content is already in place, so
  // a failure here is not reported as a failed save.
  const int folder = open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    fsync(folder);
    close(folder);
  }
  return true;
}

bool FileSaver::PutInPlace(std::string* err) {
  if (!temporary_.empty()) {
    EndingSignalsHeldBack held;
    if (rename(temporary_.c_str(), target_.c_str()) != 0) {
      return Fail(err);
    }
    temporary_.clear();
    DisarmEndingSignals();
    return true;
  }
  // The nameless file gets a name only for the moment of the rename, with
  // the ending signals held back meanwhile.
  const std::string self = "/proc/self/fd/" + std::to_string(fd_);
  EndingSignalsHeldBack held;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = TemporaryName(folder_);
    if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(),
               AT_SYMLINK_FOLLOW) != 0) {
      if (errno == EEXIST) continue;
      return Fail(err);
    }
    if (rename(name.c_str(), target_.c_str()) != 0) {
      const int error = errno;
      unlink(name.c_str());
      errno = error;
      return Fail(err);
    }
    return true;
  }
  errno = EEXIST;
  return Fail(err);
}

}  // namespace pellory
