// Signal's operations on files and the console: Load and Save in the text
// format through the file seam, which reads and writes any name, and
// Display.
#include <ostream>
#include <string>
#include <string_view>

#include "host/signal/progress.h"
#include "host/signal/signal.h"
#include "host/signal/signal_text.h"
#include "platform/file.h"

namespace pellory {

bool Signal::Load(std::string file_name, std::string* err, Progress* progress) {
  std::string ignored;
  if (err == nullptr) err = &ignored;
  Clear();
  FileReader file;
  if (!file.Open(file_name, err)) return false;
  if (progress != nullptr) progress->total = file.Size();
  SignalParser parser(this);
  // Once nothing more can change the signal, the rest of the file is not
  // read: surplus lines are ignored, and a device may never end.
  bool parsed = true;
  while (!parser.Complete()) {
    const char* piece;
    const long got = file.Next(&piece, err);
    if (got <= 0) {
      parsed = got == 0 && parser.Finish(err);
      break;
    }
    if (!parser.Feed(piece, static_cast<size_t>(got), err)) return false;
    if (progress != nullptr) progress->done += got;
  }
  if (!file.Close(err) || !parsed) {
    Clear();
    return false;
  }
  return true;
}

bool Signal::Save(std::string file_name, std::string* err,
                  Progress* progress) const {
  std::string ignored;
  if (err == nullptr) err = &ignored;
  if (data_ == nullptr) {
    *err = "no signal loaded";
    return false;
  }
  const uint64_t size = SignalTextSize(data_, count_, kTextLineEnd.size());
  if (progress != nullptr) progress->total = static_cast<int64_t>(size);
  FileSaver file;
  if (!file.Open(file_name, size, err)) return false;
  SignalFormatter text(data_, count_, kTextLineEnd);
  std::string_view piece;
  while (text.Next(&piece)) {
    if (!file.Write(piece.data(), piece.size(), err)) return false;
    if (progress != nullptr) {
      progress->done += static_cast<int64_t>(piece.size());
    }
  }
  return file.Commit(err);
}

bool Signal::Display(std::ostream& out) const {
  if (data_ == nullptr) return false;
  SignalFormatter text(data_, count_, ",");
  std::string_view piece;
  while (text.Next(&piece)) {
    out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
  }
  return true;
}

}  // namespace pellory
