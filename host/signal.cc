#include "host/signal.h"

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
constexpr size_t kReadChunk = 256 << 10;

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
  std::unique_ptr<char[]> chunk(new char[kReadChunk]);
  SignalParser parser(this);
  // Once nothing more can change the signal, the rest of the file is not
  // read: surplus lines are ignored, and a device may never end.
  while (!parser.Complete()) {
    const long got = file.Read(chunk.get(), kReadChunk, err);
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
