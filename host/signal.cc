#include "host/signal.h"

#include <cstdlib>
#include <memory>
#include <ostream>

#include "host/sample_text.h"
#include "platform/file.h"

namespace pellory {
namespace {

// Files are read and written through one fixed chunk, so memory stays the
// sample buffer plus this however large the file.
constexpr size_t kChunkSize = 1 << 20;

}  // namespace

Signal::~Signal() { Clear(); }

void Signal::Clear() {
  std::free(data_);
  data_ = nullptr;
  count_ = 0;
}

bool Signal::Allocate(int32_t count) {
  if (count < 0) return false;
  // calloc hands out zeroed pages without touching them, so a count too
  // large for the machine fails here instead of killing the process later.
  data_ = static_cast<int32_t*>(
      std::calloc(static_cast<size_t>(count) + 1, sizeof(int32_t)));
  if (data_ == nullptr) return false;
  count_ = count;
  data_[0] = count;
  return true;
}

bool Signal::Load(std::string file_name) {
  Clear();
  FileReader file;
  if (!file.Open(file_name)) return false;
  std::unique_ptr<char[]> chunk(new char[kChunkSize]);

  // Position 0 is the count line; positions 1..count are samples.
  int64_t position = 0;
  LineValue line;
  auto finish_line = [&]() {
    const int32_t value = line.Value();
    line = LineValue();
    if (position == 0) {
      position = 1;
      return Allocate(value);
    }
    if (position <= count_) data_[position++] = value;
    return true;
  };

  for (;;) {
    const long got = file.Read(chunk.get(), kChunkSize);
    if (got < 0) {
      Clear();
      return false;
    }
    // The read that meets the end of the file still ends a line, possibly
    // an empty one: a file without a final line break loses nothing.
    if (got == 0) break;
    const char* p = chunk.get();
    const char* end = p + got;
    while (p != end) {
      const char* newline = line.Scan(p, end);
      if (newline == end) break;
      if (!finish_line()) {
        Clear();
        return false;
      }
      p = newline + 1;
    }
  }
  if (!finish_line()) {
    Clear();
    return false;
  }
  return true;
}

template <typename Sink>
bool Signal::WriteText(char separator, Sink sink) const {
  std::unique_ptr<char[]> chunk(new char[kChunkSize]);
  char* const flush_point = chunk.get() + kChunkSize - kMaxSampleText;
  char* out = chunk.get();
  for (int64_t i = 0; i <= count_; ++i) {
    out = FormatSample(data_[i], separator, out);
    if (out >= flush_point) {
      if (!sink(chunk.get(), static_cast<size_t>(out - chunk.get()))) {
        return false;
      }
      out = chunk.get();
    }
  }
  return sink(chunk.get(), static_cast<size_t>(out - chunk.get()));
}

bool Signal::Save(std::string file_name) const {
  if (data_ == nullptr) return false;
  FileReplacer file;
  if (!file.Open(file_name)) return false;
  const bool written = WriteText('\n', [&file](const char* text, size_t size) {
    return file.Write(text, size);
  });
  return written && file.Commit();
}

bool Signal::Display(std::ostream& out) const {
  if (data_ == nullptr) return false;
  WriteText(',', [&out](const char* text, size_t size) {
    out.write(text, static_cast<std::streamsize>(size));
    return true;
  });
  return true;
}

}  // namespace pellory
