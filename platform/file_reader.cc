// Reading a file in pieces, whatever the system: a large regular file a
// mapped window at a time, anything else a buffer at a time. The system's
// own calls are in file_reader_linux.cc and file_reader_win32.cc.
#include <algorithm>
#include <cstdint>
#include <string>

#include "platform/file.h"

namespace pellory {

FileReader::FileReader() = default;

FileReader::~FileReader() {
  std::string ignored;
  Close(&ignored);
}

long FileReader::Next(const char** data, std::string* err) {
  if (!ReleaseWindow(err)) {
    failed_ = true;
    return -1;
  }
  if (mapping_ && offset_ < size_) {
    const auto size =
        static_cast<size_t>(std::min<int64_t>(kMapWindow, size_ - offset_));
    if (char* const window = MapWindow(size)) {
      window_ = window;
      window_size_ = size;
      offset_ += static_cast<int64_t>(size);
      *data = window_;
      return static_cast<long>(size);
    }
  }
  if (mapping_) {
    // Not mappable after all, or mapped to the size the file had: read on
    // from there (a file that grew meanwhile fails at Close).
    mapping_ = false;
    if (!SeekToOffset(err)) {
      failed_ = true;
      return -1;
    }
  }
  if (buffer_ == nullptr) {
    // A small file needs no more than its own size, and one byte to meet
    // its end in the same read. Size 0 may mean unknown (/proc). Reading
    // on after the mapped windows, the file has grown, by any amount.
    buffer_size_ =
        size_ > 0 && offset_ == 0
            ? static_cast<size_t>(std::min<int64_t>(kReadChunk, size_ + 1))
            : kReadChunk;
    buffer_.reset(new char[buffer_size_]);
  }
  const long got = ReadChunk(err);
  if (got < 0) {
    failed_ = true;
    return -1;
  }
  offset_ += got;
  *data = buffer_.get();
  return got;
}

}  // namespace pellory
