// Rewriting a file in place on Linux, for a save that cannot replace it
// (hard links, attributes a new file cannot be given, a folder that takes
// no new file, a file mounted over its name). The old content must survive
// whatever cuts the rewrite short: a full disk is found before the first
// byte (the new size reserved), ending signals wait, and a synced backup
// beside the file keeps the old content against what cannot wait (a kill, a
// crash, a power loss) and puts it back when the rewrite fails.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/file.h"
#include "platform/file_attributes_linux.h"
#include "platform/new_files_linux.h"
#include "platform/save_names_linux.h"

namespace pellory {
namespace {

// Whether the file system of `fd` has room for the file to grow to `size`
// bytes, with a margin for the blocks that index the new ones.
bool HasRoomFor(int fd, uint64_t size) {
  struct stat file;
  struct statvfs system;
  if (fstat(fd, &file) != 0 || fstatvfs(fd, &system) != 0) return false;
  const uint64_t allocated = static_cast<uint64_t>(file.st_blocks) * 512;
  if (size <= allocated) return true;
  const uint64_t growth = size - allocated;
  const uint64_t needed = growth + growth / 128 + (64 << 10);
  return static_cast<uint64_t>(system.f_bavail) * system.f_frsize >= needed;
}

}  // namespace

bool FileSaver::StartInPlace(std::string* err) {
  mode_ = Mode::kInPlace;
  fd_ = existing_fd_;
  existing_fd_ = -1;
  // Nothing but SIGKILL, a crash or a power loss cuts the rewrite short,
  // and against those the backup keeps the old content.
  held_back_.emplace();
  // The file keeps its size until the content is written: a reservation
  // that fails changes nothing a reader sees.
  const bool reserved =
      fallocate(fd_, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size_)) == 0;
  if (!reserved && errno != EOPNOTSUPP && errno != EINVAL && errno != ENOSYS) {
    return Refuse(err, ErrnoText());
  }
  // A file system that reserves nothing (ext2, ext3, NFSv3) still says how
  // much room it has; that room is not held for this file, so the old
  // content then depends on the backup as well.
  if (!reserved && !HasRoomFor(fd_, size_)) {
    return Refuse(err, std::strerror(ENOSPC));
  }
  if (!MakeBackup() && !reserved) {
    return Refuse(err,
                  "no space can be reserved on this file system and no "
                  "backup of the old content can be made beside it (" +
                      ErrnoText() + ")");
  }
  return true;
}

bool FileSaver::Refuse(std::string* err, const std::string& why) {
  const int error = errno;
  GiveBackReservation();
  Discard();
  failed_ = true;
  errno = error;
  *err = why + "; the file keeps its old content";
  return false;
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

bool FileSaver::MakeBackup() {
  if (folder_fd_ < 0) {
    errno = ENOENT;  // the name no longer leads to the file
    return false;
  }
  const int old = openat(folder_fd_, name_.c_str(), O_RDONLY | O_CLOEXEC);
  if (old < 0) return false;
  // It gets its name once complete and synced, where the file system allows
  // a nameless file.
  const std::string prefix = BackupPrefix(name_);
  std::string name;
  int backup = CreateNamelessFile(folder_fd_, 0600);
  const bool nameless = backup >= 0;
  if (!nameless)
    backup = CreateUnusedFile(folder_fd_, prefix, 0600, false, &name);
  bool kept = false;
  if (backup >= 0) {
    kept = CopyContent(old, backup) && fsync(backup) == 0;
    if (kept && nameless) kept = LinkInto(backup, folder_fd_, prefix, &name);
    const int error = errno;
    close(backup);
    if (kept) {
      backup_ = name;
      fsync(folder_fd_);
    } else if (!nameless) {
      unlinkat(folder_fd_, name.c_str(), 0);
    }
    errno = error;
  }
  const int error = errno;
  close(old);
  errno = error;
  return kept;
}

bool FileSaver::RestoreFromBackup() {
  const int backup = openat(folder_fd_, backup_.c_str(), O_RDONLY | O_CLOEXEC);
  if (backup < 0) return false;
  const bool restored = lseek(fd_, 0, SEEK_SET) == 0 &&
                        CopyContent(backup, fd_) && fsync(fd_) == 0;
  close(backup);
  return restored;
}

bool FileSaver::FinishInPlace(std::string* err) {
  if (ftruncate(fd_, static_cast<off_t>(written_)) != 0 ||
      !GiveAttributes(fd_, attributes_, true) || fsync(fd_) != 0) {
    return Fail(err);
  }
  // The new content is on disk: the backup goes.
  Discard();
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
