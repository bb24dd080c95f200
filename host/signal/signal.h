// The signal being edited: a sample count and the sample buffer filters
// rewrite in place, the format its file holds it in, and the file and
// console operations the menus call.
//
// Sample buffer: N+1 32-bit integers; element 0 holds N, elements 1..N the
// samples. The text format lives in signal_text.h, audio files in
// audio_file.h; signal_files.cc chooses between them.
#ifndef PELLORY_HOST_SIGNAL_SIGNAL_H_
#define PELLORY_HOST_SIGNAL_SIGNAL_H_

#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>
#include <vector>

#include "host/signal/signal_format.h"

namespace pellory {

struct Progress;

class Signal {
 public:
  // An empty signal: count 0, no buffer.
  Signal() = default;
  Signal(const Signal&) = delete;
  Signal& operator=(const Signal&) = delete;
  // The buffer and format move; the other signal is left empty.
  Signal(Signal&& other) noexcept;
  Signal& operator=(Signal&& other) noexcept;
  ~Signal();

  // Reads the signal file `file_name` into this signal: a text file (see
  // signal_text.h for how lines read) or an audio file of one channel,
  // recognised by its content. Returns false, leaving the signal empty and
  // the reason in `err` (when given), when the file cannot be opened or
  // read, when its count is negative, when the buffer for the count cannot
  // be allocated, or when an audio file holds more than one channel or no
  // integer PCM samples. The format found becomes the signal's.
  // `progress`, when given, counts the bytes read of the file's size.
  bool Load(std::string file_name, std::string* err = nullptr,
            Progress* progress = nullptr);

  // Writes this signal to the file `file_name` in its format: as text,
  // count+1 lines, element 0 first; as audio, with its width, rate and
  // strings, each sample saturated to the width (how many were in
  // `clipped`, when given). Written in the way platform/file.h's FileSaver
  // chooses for the name. Returns false, with the reason in `err` (when
  // given), when the signal has no buffer or anything in writing fails.
  // `progress`, when given, counts the bytes written of the file's size.
  bool Save(std::string file_name, std::string* err = nullptr,
            Progress* progress = nullptr, int64_t* clipped = nullptr) const;

  // The format the signal's file holds it in: Load's, text before any.
  const SignalFormat& format() const { return format_; }
  void set_format(const SignalFormat& format) { format_ = format; }

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
  SignalFormat format_;
};

// Reads `file_name` as Signal::Load does, every channel of an audio file
// into a signal of its own (a text file is one channel), and the format
// into `format`. False, with `channels` empty and the reason in `err`, as
// Load.
bool LoadChannels(const std::string& file_name, std::vector<Signal>* channels,
                  SignalFormat* format, std::string* err,
                  Progress* progress = nullptr);

// Writes `channels` (the same length each; text takes one) as
// `file_name` in `format`, as Signal::Save does.
bool SaveChannels(const std::string& file_name,
                  std::span<const Signal* const> channels,
                  const SignalFormat& format, int64_t* clipped,
                  std::string* err, Progress* progress = nullptr);

}  // namespace pellory

#endif  // PELLORY_HOST_SIGNAL_SIGNAL_H_
