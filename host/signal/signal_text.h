// The signal file format: the count N on the first line, then one sample
// per line, each line ending in '\n' ("\r\n" reads the same).
//
// Lines read as atoi does: leading white space is skipped, one optional sign
// and the digits up to the first other character are taken, and a line
// without digits is 0. Unlike glibc's atoi, which wraps, a value beyond the
// 32-bit range saturates to the nearest limit, as the runtime the format was
// first written for does. Values are written in plain decimal.
//
// Both directions work on byte chunks and know nothing of where the bytes
// come from or go to: a file, a stream, memory.
#ifndef PELLORY_HOST_SIGNAL_SIGNAL_TEXT_H_
#define PELLORY_HOST_SIGNAL_SIGNAL_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/signal/line_kernels.h"
#include "host/signal/line_value.h"
#include "host/signal/signal.h"

namespace pellory {

// Reads a signal file's text, fed in chunks of any size, into a signal.
class SignalParser {
 public:
  // Fills `signal`, which must be empty; the count line allocates its buffer.
  explicit SignalParser(Signal* signal);

  // Takes the next `size` bytes of the text. Returns false, leaving the
  // signal empty and the reason in `err`, when the text cannot be a signal:
  // its count is negative, or the buffer for it cannot be allocated.
  //
  // A text may begin with a byte-order mark, as editors on Windows write
  // them: UTF-8's is skipped, and a text in UTF-16 or UTF-32 (little- or
  // big-endian) is read through its code units, since the digits, signs and
  // line breaks are ASCII in every encoding (any other character reads as a
  // letter). A count line holding a NUL byte is refused: the text is in an
  // encoding without a mark (UTF-16 or UTF-32) and would read as count 0.
  bool Feed(const char* data, size_t size, std::string* err);

  // Whether every sample is in: the rest of the text is surplus lines, which
  // are ignored, so the caller may stop reading.
  bool Complete() const { return position_ > 0 && position_ > count_; }

  // The end of the text. The line it ends counts too, possibly an empty one:
  // a file without a final line break loses nothing, and an empty file is a
  // signal of count 0. Samples the text did not supply stay 0. False as Feed.
  bool Finish(std::string* err);

 private:
  // Stores one line's value: the count (allocating) or the next sample.
  bool TakeLine(int32_t value, std::string* err);
  // Feed for the text as one byte a character.
  bool FeedBytes(const char* p, size_t size, std::string* err);
  // The whole lines [p, last] of the chunk [chunk, end) in `parts` parts
  // side by side; returns past `last`.
  const char* ParseWholeLinesAcrossCores(const char* p, const char* last,
                                         const char* chunk, const char* end,
                                         int parts);
  // Brings in the pages of the samples from position_ to `end` (exclusive)
  // that are not in yet (PrepareSamples), each page once.
  void PrepareSamplesUpTo(int64_t end);
  // Feed for UTF-16 and UTF-32 text: each code unit as one byte.
  bool FeedCodeUnits(const char* p, size_t size, std::string* err);
  // Decides the encoding from the head_ bytes so far, where they tell.
  void DecideEncoding();

  enum class Encoding { kUndecided, kBytes, kCodeUnits };
  Encoding encoding_ = Encoding::kUndecided;
  // The code units' size (2 or 4 bytes) and order.
  size_t unit_size_ = 0;
  bool little_endian_ = false;
  // The text's first bytes, while they may still be a byte-order mark.
  char head_[4];
  size_t head_size_ = 0;
  // Whether the head's bytes are being fed, with more of the chunk to come.
  bool feeding_head_ = false;
  // The bytes of a code unit a chunk ended within.
  unsigned char partial_[4];
  size_t partial_size_ = 0;
  std::string narrowed_;

  Signal* signal_;
  // The element the next line fills: 0 is the count line.
  int64_t position_ = 0;
  // The count, once the count line is in.
  int64_t count_ = 0;
  // The samples before this one have had their pages brought in.
  int64_t prepared_ = 0;
  // The line that goes on from one chunk into the next.
  LineValue straddling_;
  // The chosen path's kernel for whole lines, or null.
  LineKernel kernel_;
};

// Hands out the text of elements 0..count of a sample buffer, each value
// followed by `separator` (one or two bytes: "," or a line end), in chunks
// of bounded size.
class SignalFormatter {
 public:
  SignalFormatter(const int32_t* elements, int32_t count,
                  std::string_view separator);

  // The next piece of text, valid until the next call. False once the whole
  // text has been handed out.
  bool Next(std::string_view* text);

 private:
  // Formats the elements from next_ on into the next chunks of text, side
  // by side where there are threads.
  void FormatChunks();

  const int32_t* elements_;
  // The first element not formatted yet.
  int64_t next_ = 0;
  int64_t end_;
  // The separator's bytes, the first lowest, and how many there are.
  uint16_t separator_;
  int separator_length_;
  int64_t chunk_size_;
  // A buffer of chunk_size_ bytes for each chunk formatted at once.
  std::vector<std::unique_ptr<char[]>> buffers_;
  // The formatted chunks, in order, and the next to hand out.
  std::vector<std::string_view> pieces_;
  size_t next_piece_ = 0;
};

// The number of bytes SignalFormatter hands out for the same elements and a
// separator of `separator_length` bytes.
uint64_t SignalTextSize(const int32_t* elements, int32_t count,
                        size_t separator_length);

}  // namespace pellory

#endif  // PELLORY_HOST_SIGNAL_SIGNAL_TEXT_H_
