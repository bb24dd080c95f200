// Reading a file in pieces, whatever the system: a large regular file a
// batch at a time on every thread, anything else a buffer at a time. The
// system's own calls are in file_reader_linux.cc and file_reader_win32.cc.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "cpu/parallel.h"
#include "platform/file.h"
#include "platform/memory.h"

namespace pellory {

FileReader::FileReader() = default;

FileReader::~FileReader() {
  std::string ignored;
  Close(&ignored);
  FreeLarge(batch_, batch_size_);
}

long FileReader::Next(const char** data, std::string* err) {
  if (batches_) {
    // A regular file ends at the size it had: one that grew meanwhile
    // fails at Close.
    if (offset_ == size_) return 0;
    const long got = ReadBatch(err);
    if (got < 0) {
      failed_ = true;
      return -1;
    }
    offset_ += got;
    *data = batch_;
    return got;
  }
  if (buffer_ == nullptr) {
    // A small file needs no more than its own size, and one byte to meet
    // its end in the same read. Size 0 may mean unknown (/proc).
    buffer_size_ =
        size_ > 0
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

long FileReader::ReadBatch(std::string* err) {
  if (batch_ == nullptr) {
    // Two threads' worth at least (a whole huge page), and never more than
    // kLargestBatch, however many threads were asked for.
    const int64_t threads = std::max(ThreadCount(), 2);
    batch_size_ = static_cast<size_t>(std::min<int64_t>(
        {size_, threads * int64_t{kBatchPerThread}, int64_t{kLargestBatch}}));
    batch_ = static_cast<char*>(AllocateLarge(batch_size_));
    if (batch_ == nullptr) {
      *err = "not enough memory to read the file";
      return -1;
    }
  }
  const auto size =
      static_cast<int64_t>(std::min<int64_t>(batch_size_, size_ - offset_));
  const int parts = PartsFor(size, kReadChunk);
  // What each part read short of its end (0: all of it), or -1 on an error.
  std::vector<int64_t> missing(static_cast<size_t>(parts));
  std::vector<std::string> errors(static_cast<size_t>(parts));
  RunParts(parts, [&](int part) {
    const auto k = static_cast<size_t>(part);
    int64_t at = PartStart(0, size, part, parts);
    const int64_t end = PartStart(0, size, part + 1, parts);
    while (at < end) {
      const long got = ReadAt(batch_ + at, static_cast<size_t>(end - at),
                              start_ + offset_ + at, &errors[k]);
      if (got <= 0) {
        missing[k] = got < 0 ? -1 : end - at;
        return;
      }
      at += got;
    }
  });
  for (size_t k = 0; k < missing.size(); ++k) {
    if (missing[k] < 0) {
      *err = errors[k];
      return -1;
    }
    if (missing[k] > 0) {
      *err = "the file shrank while it was read";
      return -1;
    }
  }
  return static_cast<long>(size);
}

}  // namespace pellory
