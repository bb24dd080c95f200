// Reading a file in chunks, and replacing a file without ever losing it.
#ifndef PELLORY_PLATFORM_FILE_H_
#define PELLORY_PLATFORM_FILE_H_

#include <cstddef>
#include <string>

namespace pellory {

// A file opened for sequential reading. Closed when destroyed.
class FileReader {
 public:
  FileReader() = default;
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;
  ~FileReader();

  // Opens `path` for reading. False when it cannot be opened.
  bool Open(const std::string& path);

  // Reads up to `size` bytes into `buffer`. Returns the number read, 0 at
  // the end of the file, or -1 on a read error (a folder, an I/O error).
  long Read(char* buffer, size_t size);

 private:
  int fd_ = -1;
};

// Writes a new version of a file beside it and puts it in place in one step.
// The new content goes to a temporary file in the target's folder; Commit
// syncs it to disk and renames it over the target. Until Commit succeeds the
// target keeps its old content, whatever fails; a replacer destroyed without
// a successful Commit removes its temporary file.
class FileReplacer {
 public:
  FileReplacer() = default;
  FileReplacer(const FileReplacer&) = delete;
  FileReplacer& operator=(const FileReplacer&) = delete;
  ~FileReplacer();

  // Creates the temporary file for a new version of `target`. False when it
  // cannot be created (missing folder, no permission, no space).
  bool Open(const std::string& target);

  // Appends `size` bytes. False on any write error; the replacer is then
  // failed and Commit will refuse.
  bool Write(const char* data, size_t size);

  // Syncs, closes and renames the temporary file over the target. The new
  // file keeps the permission bits of the file it replaces (or the usual
  // ones for a new file). False on any error, the target left as it was.
  bool Commit();

 private:
  void Discard();

  std::string target_;
  std::string temporary_;
  int fd_ = -1;
  bool failed_ = false;
};

}  // namespace pellory

#endif  // PELLORY_PLATFORM_FILE_H_
