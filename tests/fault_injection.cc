#include "tests/fault_injection.h"

#include <fcntl.h>
#include <stdarg.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>

extern "C" {
int __real_open(const char* path, int flags, ...);
ssize_t __real_read(int fd, void* buffer, size_t size);
int __real_openat(int folder, const char* path, int flags, ...);
ssize_t __real_write(int fd, const void* buffer, size_t size);
int __real_fchmod(int fd, mode_t mode);
int __real_fsync(int fd);
int __real_close(int fd);
int __real_renameat(int from_dir, const char* from, int to_dir, const char* to);
int __real_linkat(int from_dir, const char* from, int to_dir, const char* to,
                  int flags);
int __real_fallocate(int fd, int mode, off_t offset, off_t length);
ssize_t __real_copy_file_range(int from, off_t* from_offset, int to,
                               off_t* to_offset, size_t size,
                               unsigned int flags);
ssize_t __real_pread(int fd, void* buffer, size_t size, off_t offset);
}

namespace pellory::faults {

bool short_writes = false;

namespace {

struct Plan {
  int count = 0;
  int fail_at = 0;  // 0: never
  int error = 0;
  int act_at = 0;
  std::function<void()> action;
};

std::map<Call, Plan>& Plans() {
  static std::map<Call, Plan> plans;
  return plans;
}

std::vector<Call>& MutableLog() {
  static std::vector<Call> log;
  return log;
}

}  // namespace

// Counts the call; returns false (errno set) when it is to fail.
bool Proceed(Call call) {
  // A load reads its parts on several threads at once.
  static std::recursive_mutex calls;
  std::lock_guard<std::recursive_mutex> lock(calls);
  Plan& plan = Plans()[call];
  ++plan.count;
  MutableLog().push_back(call);
  if (plan.count == plan.act_at && plan.action) plan.action();
  if (plan.count == plan.fail_at) {
    errno = plan.error;
    return false;
  }
  return true;
}

const char* Name(Call call) {
  switch (call) {
    case Call::kOpen:
      return "open";
    case Call::kRead:
      return "read";
    case Call::kOpenat:
      return "openat";
    case Call::kWrite:
      return "write";
    case Call::kFchmod:
      return "fchmod";
    case Call::kFsync:
      return "fsync";
    case Call::kClose:
      return "close";
    case Call::kRename:
      return "renameat";
    case Call::kLinkat:
      return "linkat";
    case Call::kFallocate:
      return "fallocate";
    case Call::kCopyFileRange:
      return "copy_file_range";
    case Call::kPread:
      return "pread";
  }
  return "?";
}

const std::vector<Call>& Log() { return MutableLog(); }

void Reset() {
  Plans().clear();
  MutableLog().clear();
  short_writes = false;
}

int Count(Call call) { return Plans()[call].count; }

void FailNthCall(Call call, int nth, int error) {
  Plan& plan = Plans()[call];
  plan.fail_at = plan.count + nth;
  plan.error = error;
}

void BeforeNthCall(Call call, int nth, std::function<void()> action) {
  Plan& plan = Plans()[call];
  plan.act_at = plan.count + nth;
  plan.action = std::move(action);
}

void ShortWrites(bool on) { short_writes = on; }

}  // namespace pellory::faults

using pellory::faults::Call;

namespace {

// The mode argument of open and openat, which is there only when a file
// may be created.
mode_t CreationMode(int flags, va_list arguments) {
  const bool creates =
      (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
  return creates ? static_cast<mode_t>(va_arg(arguments, int)) : 0;
}

}  // namespace

extern "C" {

int __wrap_open(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = CreationMode(flags, arguments);
  va_end(arguments);
  if (!pellory::faults::Proceed(Call::kOpen)) return -1;
  return __real_open(path, flags, mode);
}

int __wrap_openat(int folder, const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = CreationMode(flags, arguments);
  va_end(arguments);
  if (!pellory::faults::Proceed(Call::kOpenat)) return -1;
  return __real_openat(folder, path, flags, mode);
}

ssize_t __wrap_read(int fd, void* buffer, size_t size) {
  if (!pellory::faults::Proceed(Call::kRead)) return -1;
  return __real_read(fd, buffer, size);
}

ssize_t __wrap_write(int fd, const void* buffer, size_t size) {
  if (!pellory::faults::Proceed(Call::kWrite)) return -1;
  if (pellory::faults::short_writes && size > 1) size /= 2;
  return __real_write(fd, buffer, size);
}

int __wrap_fchmod(int fd, mode_t mode) {
  if (!pellory::faults::Proceed(Call::kFchmod)) return -1;
  return __real_fchmod(fd, mode);
}

int __wrap_fsync(int fd) {
  if (!pellory::faults::Proceed(Call::kFsync)) return -1;
  return __real_fsync(fd);
}

int __wrap_close(int fd) {
  if (!pellory::faults::Proceed(Call::kClose)) {
    // A failed close still releases the descriptor, as on Linux.
    __real_close(fd);
    return -1;
  }
  return __real_close(fd);
}

int __wrap_renameat(int from_dir, const char* from, int to_dir,
                    const char* to) {
  if (!pellory::faults::Proceed(Call::kRename)) return -1;
  return __real_renameat(from_dir, from, to_dir, to);
}

int __wrap_linkat(int from_dir, const char* from, int to_dir, const char* to,
                  int flags) {
  if (!pellory::faults::Proceed(Call::kLinkat)) return -1;
  return __real_linkat(from_dir, from, to_dir, to, flags);
}

int __wrap_fallocate(int fd, int mode, off_t offset, off_t length) {
  if (!pellory::faults::Proceed(Call::kFallocate)) return -1;
  return __real_fallocate(fd, mode, offset, length);
}

ssize_t __wrap_copy_file_range(int from, off_t* from_offset, int to,
                               off_t* to_offset, size_t size,
                               unsigned int flags) {
  if (!pellory::faults::Proceed(Call::kCopyFileRange)) return -1;
  return __real_copy_file_range(from, from_offset, to, to_offset, size, flags);
}

ssize_t __wrap_pread(int fd, void* buffer, size_t size, off_t offset) {
  if (!pellory::faults::Proceed(Call::kPread)) return -1;
  return __real_pread(fd, buffer, size, offset);
}

}  // extern "C"
