#include "host/signal.h"

#include <string.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <ostream>

#include "host/sample_text.h"
#include "platform/file.h"
#include "platform/memory.h"

namespace pellory {
namespace {

// Files are read and written through one fixed chunk, so memory stays the
// sample buffer plus this however large the file.
constexpr size_t kChunkSize = 256 << 10;

}  // namespace

Signal::~Signal() { Clear(); }

void Signal::Clear() {
  FreeSamples(data_);
  data_ = nullptr;
  count_ = 0;
}

bool Signal::Allocate(int32_t count) {
  if (count < 0) return false;
  data_ = AllocateSamples(static_cast<size_t>(count) + 1);
  if (data_ == nullptr) return false;
  count_ = count;
  data_[0] = count;
  return true;
}

bool Signal::Load(std::string file_name) {
  Clear();
  FileReader file;
  if (!file.Open(file_name)) return false;
  std::unique_ptr<char[]> chunk(new char[kChunkSize + kParseReadAhead]);

  // Element 0 is the count line; elements 1..count the samples. Once the
  // last sample is in, the rest of the file is surplus and is not read.
  int64_t position = 0;
  auto take_line = [&](int32_t value) {
    if (position == 0) {
      position = 1;
      return Allocate(value);
    }
    if (position <= count_) data_[position++] = value;
    return true;
  };
  auto complete = [&]() { return position > count_; };
  auto fail = [&]() {
    Clear();
    return false;
  };

  // The line that goes on from one chunk into the next.
  LineValue straddling;
  for (;;) {
    const long got = file.Read(chunk.get(), kChunkSize);
    if (got < 0) return fail();
    // The read that meets the end of the file still ends a line, possibly
    // an empty one: a file without a final line break loses nothing.
    if (got == 0) break;
    // The parser may read ahead past the data; let it see zeros there.
    std::memset(chunk.get() + got, 0, kParseReadAhead);
    const char* p = chunk.get();
    const char* const end = p + got;

    p = straddling.Scan(p, end);
    if (p == end) continue;
    if (!take_line(straddling.Value())) return fail();
    if (complete()) return true;
    straddling = LineValue();
    ++p;

    const void* last_break = memrchr(p, '\n', static_cast<size_t>(end - p));
    if (last_break != nullptr) {
      const char* const last = static_cast<const char*>(last_break);
      // Whole lines: the hot loop, with no bounds checks of its own.
      while (p <= last && position <= count_) {
        data_[position++] = ParseCompleteLine(&p);
      }
      if (complete()) return true;
    }
    straddling.Scan(p, end);
  }
  if (!take_line(straddling.Value())) return fail();
  return true;
}

template <typename Sink>
bool Signal::WriteText(char separator, Sink sink) const {
  std::unique_ptr<char[]> chunk(new char[kChunkSize]);
  char* const chunk_end = chunk.get() + kChunkSize;
  // Whole samples per chunk, filled from the back (see FormatSampleBefore).
  constexpr int64_t kSamplesPerChunk = kChunkSize / kMaxSampleText;
  const int32_t* const samples = data_;
  const int64_t elements = static_cast<int64_t>(count_) + 1;
  for (int64_t first = 0; first < elements; first += kSamplesPerChunk) {
    const int64_t last = std::min(first + kSamplesPerChunk, elements) - 1;
    char* text = chunk_end;
    for (int64_t i = last; i >= first; --i) {
      text = FormatSampleBefore(samples[i], separator, text);
    }
    if (!sink(text, static_cast<size_t>(chunk_end - text))) return false;
  }
  return true;
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
