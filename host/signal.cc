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

bool Signal::Load(std::string file_name) {
  Clear();
  FileReader file;
  if (!file.Open(file_name)) return false;
  std::unique_ptr<char[]> chunk(new char[kReadChunk]);
  SignalParser parser(this);
  std::string err;
  // Once the last sample is in, the rest of the file is surplus and is not
  // read.
  while (!parser.Complete()) {
    const long got = file.Read(chunk.get(), kReadChunk);
    if (got < 0) {
      Clear();
      return false;
    }
    if (got == 0) return parser.Finish(&err);
    if (!parser.Feed(chunk.get(), static_cast<size_t>(got), &err)) {
      return false;
    }
  }
  return true;
}

bool Signal::Save(std::string file_name) const {
  if (data_ == nullptr) return false;
  FileReplacer file;
  if (!file.Open(file_name)) return false;
  SignalFormatter text(data_, count_, '\n');
  std::string_view piece;
  while (text.Next(&piece)) {
    if (!file.Write(piece.data(), piece.size())) return false;
  }
  return file.Commit();
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
