#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/file.h"

namespace pellory {
namespace {

// The folder part of `path` with its trailing '/', or "" for a bare name.
std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Permission bits for the new version: those of the file it replaces, or
// the ones a plain create would give under the current umask.
mode_t NewFileMode(const std::string& target) {
  struct stat existing;
  if (stat(target.c_str(), &existing) == 0) return existing.st_mode & 07777;
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

}  // namespace

FileReader::~FileReader() {
  if (fd_ >= 0) close(fd_);
}

bool FileReader::Open(const std::string& path) {
  fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  return fd_ >= 0;
}

long FileReader::Read(char* buffer, size_t size) {
  ssize_t got;
  do {
    got = read(fd_, buffer, size);
  } while (got < 0 && errno == EINTR);
  return static_cast<long>(got);
}

FileReplacer::~FileReplacer() { Discard(); }

bool FileReplacer::Open(const std::string& target) {
  Discard();
  target_ = target;
  failed_ = false;
  std::string name = FolderOf(target) + ".pellory-save-XXXXXX";
  std::vector<char> pattern(name.begin(), name.end());
  pattern.push_back('\0');
  fd_ = mkostemp(pattern.data(), O_CLOEXEC);
  if (fd_ < 0) return false;
  temporary_ = pattern.data();
  return true;
}

bool FileReplacer::Write(const char* data, size_t size) {
  if (fd_ < 0 || failed_) return false;
  while (size > 0) {
    const ssize_t written = write(fd_, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      failed_ = true;
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

bool FileReplacer::Commit() {
  if (fd_ < 0 || failed_) return false;
  const bool ok = fchmod(fd_, NewFileMode(target_)) == 0 && fsync(fd_) == 0;
  const bool closed = close(fd_) == 0;
  fd_ = -1;
  if (!ok || !closed || rename(temporary_.c_str(), target_.c_str()) != 0) {
    failed_ = true;
    Discard();
    return false;
  }
  temporary_.clear();
  // Make the rename itself durable. The new content is already in place, so
  // a failure here is not reported as a failed save.
  const std::string folder = FolderOf(target_);
  const int dir = open(folder.empty() ? "." : folder.c_str(),
                       O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return true;
}

void FileReplacer::Discard() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (!temporary_.empty()) unlink(temporary_.c_str());
  temporary_.clear();
}

}  // namespace pellory
