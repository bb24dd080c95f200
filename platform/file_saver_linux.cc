// Saving files on Linux. The kernel resolves the name the user gave, as it
// does for any program's open: it decides whether each symbolic link may be
// followed (protected_symlinks, nosymfollow mounts), whether the file may be
// written (permission bits, ACLs, protected_regular in shared sticky
// folders), and what access a new file gets (the umask or the folder's
// default ACL). The saver only learns from that where the file lies
// (save_names_linux), so that the new content can be put beside it and
// renamed over it with the old file's attributes (file_attributes_linux),
// and checks that the name still leads to the same file when it acts. A
// file that cannot be replaced is rewritten in place (in_place_save_linux).
//
// Every step works relative to the target's folder, opened once, so that a
// name as long as the system allows can be saved and its temporary and
// backup files sit beside it whatever the path's length. The temporary file
// of a replacement is made without a name (O_TMPFILE) where the file system
// allows it, and linked in through /proc/self/fd once complete; elsewhere it
// is a named file, removed when the save fails or the process is interrupted
// or terminated (new_files_linux).
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>

#include "platform/ending_signals.h"
#include "platform/file.h"
#include "platform/file_attributes_linux.h"
#include "platform/new_files_linux.h"
#include "platform/save_names_linux.h"

namespace pellory {

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
    } else {
      *err += "; the file keeps its old content";
    }
  } else if (existing_fd_ >= 0 || mode_ == Mode::kInPlace) {
    *err += "; the file keeps its old content";
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
    StopRemovingOnEnd();
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
  if (path == kStandardOutputName) {
    // Written into where it stands: a shell's `>>` appends, and a group's
    // earlier output stays.
    fd_ = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
    if (fd_ < 0) {
      if (errno != EBADF) return Fail(err);
      *err = "standard output is closed";
      failed_ = true;
      return false;
    }
    mode_ = Mode::kDirect;
    return true;
  }
  if (path.find('\0') != std::string::npos) {
    // The system would take the name only up to the NUL: another file.
    *err = kNameWithNul;
    failed_ = true;
    return false;
  }
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
  const bool attributes_read =
      ReadAttributes(existing_fd_, existing_, &attributes_);
  if (!attributes_read) attributes_ = FileAttributes{existing_, {}, 0};
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
      GiveAttributes(fd_, attributes_, false)) {
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
  // Owner and group first: a change of owner clears the set-ID bits and
  // file capabilities, which GiveAttributes then sets again.
  return existing_fd_ < 0 || GiveOwner(fd_, attributes_);
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
  if ((existing_fd_ >= 0 && !GiveAttributes(fd_, attributes_, false)) ||
      fsync(fd_) != 0) {
    return Fail(err);
  }
  if (!PutInPlace(err)) return false;
  // Make the rename itself durable. The new content is already in place, so
  // a failure here is not reported as a failed save.
  fsync(folder_fd_);
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
      Fail(err);
      *err =
          "another program replaced the file while it was being saved; their "
          "version was kept";
      return false;
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
    StopRemovingOnEnd();
  }
  return true;
}

}  // namespace pellory
