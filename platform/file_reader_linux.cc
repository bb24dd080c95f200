// Reading files on Linux: a large regular file is mapped a window at a
// time, anything else read in chunks.
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/file.h"

namespace pellory {
namespace {

// The reason the call that just failed gives.
std::string ErrnoText() { return std::strerror(errno); }

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

}  // namespace

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
  if (fstat(fd_, &info) == 0 && S_ISREG(info.st_mode)) {
    size_ = info.st_size;
    modified_seconds_ = info.st_mtim.tv_sec;
    modified_nanoseconds_ = info.st_mtim.tv_nsec;
  }
  mapping_ = size_ > static_cast<int64_t>(kReadChunk);
  return true;
}

char* FileReader::MapWindow(size_t size) {
  // Not populated here: the pages come in as the parser's parts first read
  // them, each part its own, side by side (the kernel maps the pages around
  // a fault with it), instead of all on this thread first.
  void* const window =
      mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd_, offset_);
  if (window == MAP_FAILED) return nullptr;
  GuardWindow(static_cast<char*>(window), size);
  return static_cast<char*>(window);
}

bool FileReader::SeekToOffset(std::string* err) {
  if (lseek(fd_, offset_, SEEK_SET) >= 0) return true;
  *err = ErrnoText();
  return false;
}

long FileReader::ReadChunk(std::string* err) {
  ssize_t got;
  do {
    got = read(fd_, buffer_.get(), buffer_size_);
  } while (got < 0 && errno == EINTR);
  if (got < 0) *err = ErrnoText();
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
  bool whole = ReleaseWindow(err);
  if (whole && !failed_ && fd_ >= 0 && size_ >= 0) {
    // Another program wrote to the file meanwhile: what was read may mix
    // its old and new content.
    struct stat now;
    if (fstat(fd_, &now) == 0 &&
        (now.st_size != size_ || now.st_mtim.tv_sec != modified_seconds_ ||
         now.st_mtim.tv_nsec != modified_nanoseconds_)) {
      *err = "the file changed while it was read";
      whole = false;
    }
  }
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  return whole;
}

}  // namespace pellory
