// Files on Linux. The temporary file of a replacement is made without a
// name (O_TMPFILE) where the file system allows it, and linked in through
// /proc/self/fd once complete; elsewhere it is a named file, removed when
// the save fails or the process is interrupted or terminated.
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
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

// Files are read through a buffer of this size at most.
constexpr size_t kReadChunk = 256 << 10;
// Regular files larger than this are mapped instead, this much at a time
// (a multiple of any page size).
constexpr int64_t kMapAbove = kReadChunk;
constexpr int64_t kMapWindow = 4 << 20;

// The window being read. A file that shrinks meanwhile (another process
// truncates it) leaves pages past its new end that fault with SIGBUS when
// touched; the handler maps zeros over such a page, so that the read goes
// on, and notes it, so that the load fails instead of the process.
std::atomic<uintptr_t> guarded_begin{0};
std::atomic<uintptr_t> guarded_end{0};
volatile sig_atomic_t guarded_window_shrank = 0;
uintptr_t page_size = 4096;

void OnBusError(int, siginfo_t* info, void*) {
  const auto at = reinterpret_cast<uintptr_t>(info->si_addr);
  if (at >= guarded_begin.load() && at < guarded_end.load()) {
    void* const page = reinterpret_cast<void*>(at & ~(page_size - 1));
    if (mmap(page, page_size, PROT_READ,
             MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
      guarded_window_shrank = 1;
      return;
    }
  }
  // Any other bus error is not ours: the fault repeats, as it would have.
  signal(SIGBUS, SIG_DFL);
}

void GuardWindow(char* window, size_t size) {
  static const bool installed = [] {
    page_size = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    struct sigaction action = {};
    action.sa_sigaction = OnBusError;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    return sigaction(SIGBUS, &action, nullptr) == 0;
  }();
  (void)installed;
  guarded_window_shrank = 0;
  guarded_begin.store(reinterpret_cast<uintptr_t>(window));
  guarded_end.store(reinterpret_cast<uintptr_t>(window) + size);
}

// Ends the guard; true when the file shrank under the window.
bool UnguardWindow() {
  guarded_begin.store(0);
  guarded_end.store(0);
  return guarded_window_shrank != 0;
}

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

FileReader::FileReader() = default;

FileReader::~FileReader() {
  std::string ignored;
  Close(&ignored);
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
  mapping_ = size_ > kMapAbove;
  return true;
}

long FileReader::Next(const char** data, std::string* err) {
  if (!ReleaseWindow(err)) return -1;
  if (mapping_ && offset_ < size_) {
    const auto size =
        static_cast<size_t>(std::min<int64_t>(kMapWindow, size_ - offset_));
    // Populated at once: one call instead of a page fault every few pages.
    void* const window = mmap(nullptr, size, PROT_READ,
                              MAP_PRIVATE | MAP_POPULATE, fd_, offset_);
    if (window != MAP_FAILED) {
      window_ = static_cast<char*>(window);
      window_size_ = size;
      GuardWindow(window_, size);
      offset_ += static_cast<int64_t>(size);
      *data = window_;
      return static_cast<long>(size);
    }
  }
  if (mapping_) {
    // Mapped to the size the file had (or not mappable after all): read
    // on from there, so that whatever it has grown by is read too.
    mapping_ = false;
    if (lseek(fd_, offset_, SEEK_SET) < 0) {
      *err = ErrnoText();
      return -1;
    }
  }
  if (buffer_ == nullptr) {
    // A small file needs no more than its own size, and one byte to meet
    // its end in the same read. Size 0 may mean unknown (/proc).
    buffer_size_ = size_ > 0 ? static_cast<size_t>(std::min<int64_t>(
                                   kReadChunk, size_ - offset_ + 1))
                             : kReadChunk;
    buffer_size_ = std::max<size_t>(buffer_size_, 1);
    buffer_.reset(new char[buffer_size_]);
  }
  ssize_t got;
  do {
    got = read(fd_, buffer_.get(), buffer_size_);
  } while (got < 0 && errno == EINTR);
  if (got < 0) {
    *err = ErrnoText();
    return -1;
  }
  offset_ += got;
  *data = buffer_.get();
  return static_cast<long>(got);
}

bool FileReader::ReleaseWindow(std::string* err) {
  if (window_ == nullptr) return true;
  const bool shrank = UnguardWindow();
  munmap(window_, window_size_);
  window_ = nullptr;
  if (shrank) *err = "the file shrank while it was read";
  return !shrank;
}

bool FileReader::Close(std::string* err) {
  const bool whole = ReleaseWindow(err);
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  return whole;
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
