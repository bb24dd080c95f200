// Reading files on Linux.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/file.h"

namespace pellory {
namespace {

// The reason the call that just failed gives.
std::string ErrnoText() { return std::strerror(errno); }

}  // namespace

bool IsRegularFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

namespace {

bool StatusOf(const std::string& path, struct stat* status) {
  if (path == kStandardInputName) return fstat(STDIN_FILENO, status) == 0;
  return stat(path.c_str(), status) == 0;
}

}  // namespace

bool IsSameFile(const std::string& a, const std::string& b) {
  struct stat first;
  struct stat second;
  return StatusOf(a, &first) && StatusOf(b, &second) &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool FileReader::Open(const std::string& path, std::string* err) {
  if (path == kStandardInputName) {
    fd_ = fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0);
    if (fd_ < 0 && errno == EBADF) {
      *err = "standard input is closed";
      return false;
    }
  } else if (path.find('\0') != std::string::npos) {
    // The system would take the name only up to the NUL: another file.
    *err = kNameWithNul;
    return false;
  } else {
    fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  }
  if (fd_ < 0) {
    *err = ErrnoText();
    return false;
  }
  struct stat info;
  if (fstat(fd_, &info) == 0 && S_ISREG(info.st_mode)) {
    // A file given as standard input is read from where the shell left it
    // (after what an earlier command of a group took).
    if (path == kStandardInputName) start_ = lseek(fd_, 0, SEEK_CUR);
    if (start_ < 0 || start_ > info.st_size) start_ = info.st_size;
    size_ = info.st_size - start_;
    modified_seconds_ = info.st_mtim.tv_sec;
    modified_nanoseconds_ = info.st_mtim.tv_nsec;
  }
  batches_ = size_ > static_cast<int64_t>(kReadChunk);
  return true;
}

long FileReader::ReadAt(char* into, size_t size, int64_t offset,
                        std::string* err) const {
  ssize_t got;
  do {
    got = pread(fd_, into, size, offset);
  } while (got < 0 && errno == EINTR);
  if (got < 0) *err = ErrnoText();
  return static_cast<long>(got);
}

long FileReader::ReadChunk(std::string* err) {
  ssize_t got;
  do {
    got = read(fd_, buffer_.get(), buffer_size_);
  } while (got < 0 && errno == EINTR);
  if (got < 0) *err = ErrnoText();
  return static_cast<long>(got);
}

bool FileReader::Close(std::string* err) {
  bool whole = true;
  if (!failed_ && fd_ >= 0 && size_ >= 0) {
    // Another program wrote to the file meanwhile: what was read may mix
    // its old and new content.
    struct stat now;
    if (fstat(fd_, &now) == 0 &&
        (now.st_size != start_ + size_ ||
         now.st_mtim.tv_sec != modified_seconds_ ||
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
