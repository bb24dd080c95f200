// The files a save makes beside its target on Linux: temporary and backup
// files under names nobody else uses, or under no name at all until they
// are complete, and the copying and writing that fill them.
#ifndef PELLORY_PLATFORM_NEW_FILES_LINUX_H_
#define PELLORY_PLATFORM_NEW_FILES_LINUX_H_

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace pellory {

// Whether `size` bytes stay within the process's file-size limit (else
// false with EFBIG): a write past it would fail halfway.
bool WithinFileSizeLimit(uint64_t size);

// Copies the whole content of `from` to the start of `to`, then ends `to`
// there. Both are read and written from their current offsets.
bool CopyContent(int from, int to);

// Writes to `fd` with the broken-pipe signal held back: a FIFO or pipe
// whose reader has gone fails the write with EPIPE, and the save with it,
// instead of ending the process.
ssize_t WriteNoPipeSignal(int fd, const char* data, size_t size);

// Creates a new file in `folder` with `mode` (under the umask or the
// folder's default ACL) under a name not in use that begins with `prefix`,
// which goes to `*name`. When `removable`, an ending signal removes it
// until StopRemovingOnEnd.
int CreateUnusedFile(int folder, const std::string& prefix, mode_t mode,
                     bool removable, std::string* name);

// An ending signal no longer removes the file made removable: it has been
// renamed into place, or removed.
void StopRemovingOnEnd();

// A nameless new file in `folder` with `mode`, as a named one would get it,
// or -1 (EOPNOTSUPP among the reasons) where the file system cannot make
// one.
int CreateNamelessFile(int folder, mode_t mode);

// Gives the nameless file `fd` a name not in use beginning with `prefix` in
// `folder`, which goes to `*name`.
bool LinkInto(int fd, int folder, const std::string& prefix, std::string* name);

}  // namespace pellory

#endif  // PELLORY_PLATFORM_NEW_FILES_LINUX_H_
