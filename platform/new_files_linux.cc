#include "platform/new_files_linux.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "platform/ending_signals.h"

namespace pellory {
namespace {

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

// Whether a nameless file can be given a name later: that goes through
// /proc, which some containers do not mount.
bool CanNameAnonymousFiles() {
  static const bool can = access("/proc/self/fd", X_OK) == 0;
  return can;
}

}  // namespace

bool WithinFileSizeLimit(uint64_t size) {
  struct rlimit limit;
  if (getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
      size <= limit.rlim_cur) {
    return true;
  }
  errno = EFBIG;
  return false;
}

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

void StopRemovingOnEnd() { DisarmEndingSignals(RemovePendingTemporary); }

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

}  // namespace pellory
