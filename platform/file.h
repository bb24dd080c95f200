// Reading a file in chunks, and saving a file's new content without losing
// the old one on the way, whatever the name is.
#ifndef PELLORY_PLATFORM_FILE_H_
#define PELLORY_PLATFORM_FILE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>

#include "platform/file_attributes_linux.h"
#endif

#include "platform/ending_signals.h"

#ifdef _WIN32
// The system's handle type, as <windows.h> declares it, without bringing
// <windows.h> to everything that reads or saves a file.
typedef void* HANDLE;
#endif

namespace pellory {

// How a line of a text file ends on this system: "\r\n" on Windows, "\n"
// elsewhere. FileSaver writes bytes as they are given.
extern const std::string_view kTextLineEnd;

// The names under which FileReader reads the process's standard input and
// FileSaver writes its standard output (a command line's "-"): names no
// file can have (they begin with a NUL byte), which stand for the streams
// as the process was given them. Standard input is read from where it
// stands; standard output is written where it stands, never truncated, so
// that a shell's `>>` appends and a group's earlier output stays.
inline constexpr std::string_view kStandardInputName{"\0standard input", 15};
inline constexpr std::string_view kStandardOutputName{"\0standard output", 16};

// Why FileReader and FileSaver refuse a name holding a NUL byte (other
// than the standard streams' names): no file's name can hold one.
inline constexpr char kNameWithNul[] = "a file name cannot hold a NUL byte";

// Whether `path` names a regular file (links followed): reading it again
// gives the same bytes, where a FIFO or a device would wait or differ.
bool IsRegularFile(const std::string& path);

// Whether `a` and `b` lead to one existing file, links followed (the same
// name, a symbolic link, a hard link); kStandardInputName leads to the file
// standard input reads.
bool IsSameFile(const std::string& a, const std::string& b);

// A file opened for sequential reading, handed out in pieces. Closed when
// destroyed.
//
// A large regular file is read a batch at a time, every thread reading its
// part of the batch at its own offset side by side, into a buffer that the
// batches reuse; anything else (small files, pipes, devices) is read in
// order into a buffer of bounded size. Either way memory stays bounded
// however large the file.
class FileReader {
 public:
  FileReader();
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;
  ~FileReader();

  // Opens `path` for reading. False, with the reason in `err`, when it
  // cannot be opened.
  bool Open(const std::string& path, std::string* err);

  // The next piece of the file, in `*data`, valid until the next call.
  // Returns its size, 0 at the end of the file (for a regular file, the
  // size it had at its opening), or -1 with the reason in `err` (a folder,
  // an I/O error, a regular file that shrank).
  long Next(const char** data, std::string* err);

  // The size of a regular file at its opening, else -1.
  int64_t Size() const { return size_; }

  // For a regular file (Size() >= 0), whatever Next has handed out: reads
  // up to `size` bytes at `offset` from its start into `into`, from any
  // thread. Returns the count read, 0 at the end, or -1 with the reason.
  long ReadFrom(char* into, size_t size, int64_t offset,
                std::string* err) const {
    return ReadAt(into, size, start_ + offset, err);
  }

  // Ends the reading. False, with the reason in `err`, when a regular file
  // was written to while it was read: whatever was made of the pieces is
  // then not the file's content. A piece's bytes are the file's as they
  // were when read; whoever scans one must still bound every scan by the
  // piece's end.
  bool Close(std::string* err);

 private:
  // Files are read in order through a buffer of this size at most; regular
  // files larger than that in batches of this much a thread. A batch is
  // small enough to stay in the processor's caches between its reading and
  // its parsing, and its buffer is reused, so that reading a file costs
  // one copy of its bytes and no new pages (mapping the file instead costs
  // a page-table entry for every 4 KiB, set and torn down again).
  static constexpr size_t kReadChunk = 256 << 10;
  static constexpr size_t kBatchPerThread = 1 << 20;
  static constexpr size_t kLargestBatch = 16 << 20;

  // Reads the next batch into batch_, on every thread: its size, or -1
  // with the reason.
  long ReadBatch(std::string* err);

  // The system's calls (file_reader_linux.cc, file_reader_win32.cc): reads
  // up to `size` bytes at `offset` into `into`, from any thread, side by
  // side; reads up to buffer_size_ bytes into buffer_ from the current
  // position. Each returns the count read, 0 at the end, or -1 with the
  // reason.
  long ReadAt(char* into, size_t size, int64_t offset, std::string* err) const;
  long ReadChunk(std::string* err);

  // The size of a regular file at its opening (from where standard input
  // stood), else -1.
  int64_t size_ = -1;
  // Where the reading began: 0, or standard input's position.
  int64_t start_ = 0;
  // Bytes handed out so far.
  int64_t offset_ = 0;
  // Whether Next has reported a failure.
  bool failed_ = false;
  // Whether the file is read in batches, and their buffer.
  bool batches_ = false;
  char* batch_ = nullptr;
  size_t batch_size_ = 0;
  std::unique_ptr<char[]> buffer_;
  size_t buffer_size_ = 0;
#ifdef _WIN32
  HANDLE file_ = nullptr;
  // The last write time of a regular file at its opening.
  uint64_t modified_ = 0;
#else
  int fd_ = -1;
  // The modification time of a regular file at its opening.
  int64_t modified_seconds_ = -1;
  int64_t modified_nanoseconds_ = -1;
#endif
};

// Writes new content under a name. The system resolves the name, as for
// any program's open: whether each symbolic link may be followed (a
// dangling link creates its target), whether the file may be written, what
// access a new file gets (0666 under the umask, or the folder's default
// ACL). What the name leads to then decides how:
//  - A new name, or a regular file with one link whose owner, group and
//    extended attributes (ACLs among them) a new file can be given: the
//    content goes to a temporary file beside it, which Commit gives the old
//    file's owner, group, permission bits, extended attributes and inode
//    flags, and nothing more, syncs and renames over the target, once it
//    has checked that the name still leads to that file. The old content stays
//    whole until then, whatever fails.
//  - Any other regular file (hard links, an owner the process cannot give
//    away, attributes it cannot copy, a folder where no temporary file can
//    be made, a file mounted over its name): rewritten in place, after the
//    space for the new content is reserved, so that a full disk is found
//    before an old byte is lost (a reservation that fails gives back what
//    it took). A file system that reserves nothing is asked for room
//    instead, and the rewrite then goes on only with a backup. Ending signals
//    wait until the rewrite is done; where the folder takes a new file, a
//    synced backup of the old content lies beside the target until the new
//    content is synced, against what cannot wait (a kill, a crash, a power
//    loss), and a rewrite that fails puts the old content back. Attributes the
//    write cleared (file capabilities, set-ID bits) are set again.
//  - Not a regular file (a device, a FIFO): written into directly; never
//    replaced, truncated or removed. A reader that goes away fails the save.
//  - A name through a link to what a process has open (/dev/stdout,
//    /dev/fd/N, /proc/<pid>/fd/N): what the link opens is written into,
//    a regular file rewritten in place, never replaced.
// Content larger than the process's file-size limit is refused before
// anything is written. Nothing is left behind: a temporary file has no name
// until it is complete, or, where the file system cannot do that, is
// removed on failure and when the process is interrupted or terminated
// meanwhile.
class FileSaver {
 public:
  FileSaver() = default;
  FileSaver(const FileSaver&) = delete;
  FileSaver& operator=(const FileSaver&) = delete;
  // Discards whatever was not committed.
  ~FileSaver();

  // Prepares to write `size` bytes, the whole new content, under `path`.
  // False, with the reason in `err`, when it cannot be written.
  bool Open(const std::string& path, uint64_t size, std::string* err);

  // Appends `size` bytes. False, with the reason in `err`, on any error;
  // Commit then refuses.
  bool Write(const char* data, size_t size, std::string* err);

  // Makes the content durable and puts it in place. False, with the reason
  // in `err`, on any error.
  bool Commit(std::string* err);

 private:
  enum class Mode { kNone, kReplace, kInPlace, kDirect };

  bool PutInPlace(std::string* err);
  bool Fail(std::string* err);
  void Discard();
#ifndef _WIN32
  bool OpenNew(std::string* err);
  bool OpenReplacement(unsigned mode);
  bool StartInPlace(std::string* err);
  bool MakeBackup();
  bool Refuse(std::string* err, const std::string& why);
  void GiveBackReservation();
  bool FinishInPlace(std::string* err);
  bool RewriteInPlaceFromReplacement(std::string* err);
  bool RestoreFromBackup();
  void DiscardReplacement();
#else
  bool OpenReplacement(std::string* err);
#endif

  Mode mode_ = Mode::kNone;
  bool failed_ = false;
#ifdef _WIN32
  // Whether the new content takes over an existing file's attributes.
  bool keep_existing_ = false;
  std::wstring target_;     // the final file's full path
  std::wstring temporary_;  // the temporary file's, while it has one
  HANDLE file_ = nullptr;
  // The existing file's attributes, to give back after the replace.
  unsigned long attributes_ = 0;
#else
  std::string target_;     // the final file, links read
  std::string folder_;     // its folder
  std::string temporary_;  // the temporary file's name, while it has one
  std::string name_;       // the target's name in the folder
  int folder_fd_ = -1;     // the folder, open while saving
  std::string backup_;     // the backup's name, while it has one
  // Ending signals, held back for an in-place rewrite.
  std::optional<EndingSignalsHeldBack> held_back_;
  int fd_ = -1;           // where the content goes
  int existing_fd_ = -1;  // the existing file, while it is to be replaced
  struct stat existing_ = {};
  // What a replacement carries of the existing file.
  FileAttributes attributes_;
  uint64_t size_ = 0;
  uint64_t written_ = 0;
#endif
};

// The backup an interrupted in-place save left beside the file `path`
// leads to (its name in that folder), or "" when there is none.
std::string InterruptedSaveBackup(const std::string& path);

}  // namespace pellory

#endif  // PELLORY_PLATFORM_FILE_H_
