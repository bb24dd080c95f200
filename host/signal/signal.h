// The signal being edited: a sample count and the sample buffer filters
// rewrite in place, with the file and console operations the menus call.
//
// Sample buffer: N+1 32-bit integers; element 0 holds N, elements 1..N the
// samples. The text format lives in host/signal_text.h.
#ifndef PELLORY_HOST_SIGNAL_SIGNAL_H_
#define PELLORY_HOST_SIGNAL_SIGNAL_H_

#include <cstdint>
#include <iosfwd>
#include <string>

namespace pellory {

struct Progress;

class Signal {
 public:
  // An empty signal: count 0, no buffer.
  Signal() = default;
  Signal(const Signal&) = delete;
  Signal& operator=(const Signal&) = delete;
  ~Signal();

  // Reads the signal file `file_name` into this signal (see signal_text.h
  // for how lines read). Returns false, leaving the signal empty and the
  // reason in `err` (when given), when the file cannot be opened or read,
  // when its count is negative, or when the buffer for the count cannot be
  // allocated.
  // `progress`, when given, counts the bytes read of the file's size.
  bool Load(std::string file_name, std::string* err = nullptr,
            Progress* progress = nullptr);

  // Writes this signal to the file `file_name`: count+1 lines, element 0
  // first, in the way platform/file.h's FileSaver chooses for the name.
  // Returns false, with the reason in `err` (when given), when the signal
  // has no buffer or anything in writing fails.
  // `progress`, when given, counts the bytes written of the text's size.
  bool Save(std::string file_name, std::string* err = nullptr,
            Progress* progress = nullptr) const;

  // Prints element 0 to count on `out`, each followed by ",". Returns false,
  // printing nothing, when the signal has no buffer.
  bool Display(std::ostream& out) const;

  int32_t SampleCount() const { return count_; }

  // The sample buffer lent to filters, or null when the signal is empty.
  int32_t* data() { return data_; }
  const int32_t* data() const { return data_; }

  // Replaces the buffer by a zeroed one for `count` samples, element 0
  // holding `count`. False, leaving the signal empty, when `count` is
  // negative or the memory cannot be had.
  bool Allocate(int32_t count);
  // Releases the buffer: the signal is empty again.
  void Clear();

 private:
  int32_t count_ = 0;
  int32_t* data_ = nullptr;
};

}  // namespace pellory

#endif  // PELLORY_HOST_SIGNAL_SIGNAL_H_
