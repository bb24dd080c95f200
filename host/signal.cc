#include "host/signal.h"

#include <algorithm>
#include <memory>
#include <ostream>
#include <string_view>

#include "host/signal_text.h"
#include "platform/file.h"
#include "platform/memory.h"

namespace pellory {
namespace {

// Files are read through one fixed chunk, so memory stays the sample buffer
// plus this however large the file.
constexpr int64_t kReadChunk = 256 << 10;

}  // namespace

Signal::~Signal() { Clear(); }

void Signal::Clear() {
  FreeSamples(data_);
  data_ = nullptr;
  count_ = 0;
}

bool Signal::Allocate(int32_t count) {
  Clear();
  if (count < 0) return false;
  data_ = AllocateSamples(static_cast<size_t>(count) + 1);
  if (data_ == nullptr) return false;
  count_ = count;
  data_[0] = count;
  return true;
}

bool Signal::Load(std::string file_name, std::string* err) {
  std::string ignored;
  if (err == nullptr) err = &ignored;
  Clear();
  FileReader file;
  if (!file.Open(file_name, err)) return false;
  // A small file needs no more than its own size (and one byte to meet
  // its end in the same read). Size 0 may mean unknown (/proc).
  const size_t chunk_size =
      file.Size() > 0
          ? static_cast<size_t>(std::min<int64_t>(kReadChunk, file.Size() + 1))
          : kReadChunk;
  std::unique_ptr<char[]> chunk(new char[chunk_size]);
  SignalParser parser(this);
  // Once nothing more can change the signal, the rest of the file is not
  // read: surplus lines are ignored, and a device may never end.
  while (!parser.Complete()) {
    const long got = file.Read(chunk.get(), chunk_size, err);
    if (got < 0) {
      Clear();
      return false;
    }
    if (got == 0) return parser.Finish(err);
    if (!parser.Feed(chunk.get(), static_cast<size_t>(got), err)) {
      return false;
    }
  }
  return true;
}

bool Signal::Save(std::string file_name, std::string* err) const {
  std::string ignored;
  if (err == nullptr) err = &ignored;
  if (data_ == nullptr) {
    *err = "no signal loaded";
    return false;
  }
  FileSaver file;
  if (!file.Open(file_name, err)) return false;
  if (file.WritesInPlace() &&
      !file.Reserve(SignalTextSize(data_, count_), err)) {
    return false;
  }
  SignalFormatter text(data_, count_, '\n');
  std::string_view piece;
  while (text.Next(&piece)) {
    if (!file.Write(piece.data(), piece.size(), err)) return false;
  }
  return file.Commit(err);
}

bool Signal::Display(std::ostream& out) const {
  if (data_ == nullptr) return false;
  SignalFormatter text(data_, count_, ',');
  std::string_view piece;
  while (text.Next(&piece)) {
    out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
  }
  return true;
}

}  // namespace pellory
