#include "host/signal/signal_text.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cstring>
#include <vector>

#include "cpu/parallel.h"
#include "host/signal/line_kernels.h"
#include "host/signal/line_value.h"
#include "platform/memory.h"

namespace pellory {
namespace {

static_assert(std::endian::native == std::endian::little,
              "the eight-bytes-at-a-time formatting assumes it");

// The last '\n' in [p, end), or null.
const char* LastLineBreak(const char* p, const char* end) {
  while (end != p) {
    if (*--end == '\n') return end;
  }
  return nullptr;
}

// How many '\n' [p, end) holds: written so that the compiler counts 16
// bytes at a time in a vector of byte counters (each counts at most 255),
// at the speed of memory.
int64_t CountLineBreaks(const char* p, const char* end) {
  constexpr int kLanes = 16;
  constexpr int kRounds = 255;
  int64_t breaks = 0;
  while (end - p >= kLanes * kRounds) {
    uint8_t lanes[kLanes] = {};
    for (int round = 0; round < kRounds; ++round, p += kLanes) {
      for (int lane = 0; lane < kLanes; ++lane) {
        lanes[lane] = static_cast<uint8_t>(lanes[lane] + (p[lane] == '\n'));
      }
    }
    for (const uint8_t lane : lanes) breaks += lane;
  }
  for (; p != end; ++p) breaks += *p == '\n';
  return breaks;
}

// Whole lines of a chunk, [p, last], into data[*position..count]: the hot
// loop, with no bounds checks of its own. `chunk` and `end` bound the
// chunk, which the paths may read beyond the lines: back to its start,
// ahead to its end. Returns where it stopped.
const char* ParseWholeLines(const char* p, const char* last, const char* chunk,
                            const char* end, int32_t* data, int64_t* position,
                            int64_t count, LineKernel kernel) {
  if (kernel != nullptr) p = kernel(p, last, chunk, data, position, count);
  // Lines starting up to here have their '\n' and the read-ahead inside the
  // chunk. The few lines too near the end for the read-ahead take the
  // general scan.
  const char* const fast_last =
      end - p > kParseReadAhead ? std::min(last, end - kParseReadAhead) : p - 1;
  int64_t at = *position;
  while (p <= fast_last && at <= count) data[at++] = ParseWholeLine(&p, end);
  while (p <= last && at <= count) data[at++] = ParseLinePlainly(&p, end);
  *position = at;
  return p;
}

// Whole lines smaller than this, in bytes, take longer to hand to a thread
// than to parse.
constexpr int64_t kSmallestPart = 256 << 10;

}  // namespace

SignalParser::SignalParser(Signal* signal)
    : signal_(signal), kernel_(ChosenLinePath().parse) {}

bool SignalParser::TakeLine(int32_t value, std::string* err) {
  if (position_ == 0) {
    if (value < 0) {
      *err = "negative sample count " + std::to_string(value);
      return false;
    }
    if (!signal_->Allocate(value)) {
      *err = "not enough memory for " + std::to_string(value) + " samples";
      return false;
    }
    count_ = value;
    position_ = 1;
    return true;
  }
  if (position_ <= count_) signal_->data()[position_++] = value;
  return true;
}

bool SignalParser::Feed(const char* p, size_t size, std::string* err) {
  while (encoding_ == Encoding::kUndecided && size > 0) {
    head_[head_size_++] = *p++;
    --size;
    DecideEncoding();
  }
  if (head_size_ > 0 && encoding_ != Encoding::kUndecided) {
    // What followed the mark, or the text's first bytes where it has none.
    const size_t rest = head_size_;
    head_size_ = 0;
    // The rest of the chunk follows at once: the count line is judged
    // whole, not by its first bytes.
    feeding_head_ = size > 0;
    const bool fed = encoding_ == Encoding::kBytes
                         ? FeedBytes(head_, rest, err)
                         : FeedCodeUnits(head_, rest, err);
    feeding_head_ = false;
    if (!fed) return false;
  }
  if (size == 0) return true;
  if (encoding_ == Encoding::kBytes) return FeedBytes(p, size, err);
  return FeedCodeUnits(p, size, err);
}

bool SignalParser::FeedBytes(const char* p, size_t size, std::string* err) {
  const char* const chunk = p;
  const char* const end = p + size;
  while (!Complete()) {
    const char* const line = p;
    p = straddling_.Scan(p, end);
    if (position_ == 0 &&
        std::memchr(line, '\0', static_cast<size_t>(p - line)) != nullptr) {
      *err =
          "it is not in an encoding Pellory reads (UTF-16 or UTF-32 without a "
          "byte-order mark?)";
      return false;
    }
    if (p == end) {
      // The last line needed, or a count line of 0, completes the signal as
      // soon as its value is settled: a device that never sends a line
      // break (/dev/zero) still loads.
      const bool last_needed =
          position_ == 0 ? straddling_.Value() == 0 : position_ == count_;
      if (straddling_.Settled() && last_needed && !feeding_head_) {
        return TakeLine(straddling_.Value(), err);
      }
      return true;
    }
    if (!TakeLine(straddling_.Value(), err)) return false;
    straddling_ = LineValue();
    ++p;
    const char* const last = LastLineBreak(p, end);
    if (last == nullptr) continue;
    const int parts = PartsFor(last + 1 - p, kSmallestPart);
    if (parts == 1) {
      // The lines hold at most a sample every two bytes (a digit and a line
      // break; empty lines aside): the samples they are about to fill.
      PrepareSamplesUpTo(position_ + (last + 1 - p) / 2);
      p = ParseWholeLines(p, last, chunk, end, signal_->data(), &position_,
                          count_, kernel_);
    } else {
      p = ParseWholeLinesAcrossCores(p, last, chunk, end, parts);
    }
  }
  return true;
}

const char* SignalParser::ParseWholeLinesAcrossCores(const char* p,
                                                     const char* last,
                                                     const char* chunk,
                                                     const char* end,
                                                     int parts) {
  // Parts end at line breaks; each counts its lines, so that each knows
  // the sample its lines start at, then all parse side by side, each
  // writing (and first touching) only its own samples, and never past the
  // lines it counted.
  std::vector<const char*> starts(static_cast<size_t>(parts) + 1);
  starts[0] = p;
  starts[static_cast<size_t>(parts)] = last + 1;
  for (int part = 1; part < parts; ++part) {
    const char* const near = p + PartStart(0, last + 1 - p, part, parts);
    const char* const line_break = static_cast<const char*>(
        std::memchr(near, '\n', static_cast<size_t>(last + 1 - near)));
    starts[static_cast<size_t>(part)] =
        std::max(line_break + 1, starts[static_cast<size_t>(part) - 1]);
  }
  std::vector<int64_t> lines(static_cast<size_t>(parts));
  RunParts(parts, [&](int part) {
    const auto k = static_cast<size_t>(part);
    lines[k] = CountLineBreaks(starts[k], starts[k + 1]);
  });
  std::vector<int64_t> first(static_cast<size_t>(parts) + 1, position_);
  for (size_t k = 0; k < lines.size(); ++k) first[k + 1] = first[k] + lines[k];
  int32_t* const data = signal_->data();
  RunParts(parts, [&](int part) {
    const auto k = static_cast<size_t>(part);
    int64_t position = first[k];
    const int64_t bound = std::min(count_, first[k + 1] - 1);
    if (position > bound) return;
    const int64_t unprepared = std::max(position, prepared_);
    if (unprepared <= bound) {
      PrepareSamples(data + unprepared,
                     static_cast<size_t>(bound + 1 - unprepared));
    }
    ParseWholeLines(starts[k], starts[k + 1] - 1, chunk, end, data, &position,
                    bound, kernel_);
  });
  position_ = std::min(first[static_cast<size_t>(parts)], count_ + 1);
  prepared_ = std::max(prepared_, position_);
  return last + 1;
}

void SignalParser::PrepareSamplesUpTo(int64_t end) {
  const int64_t from = std::max(position_, prepared_);
  end = std::min(end, count_ + 1);
  if (from >= end) return;
  PrepareSamples(signal_->data() + from, static_cast<size_t>(end - from));
  prepared_ = end;
}

bool SignalParser::Finish(std::string* err) {
  // A text shorter than a mark is read as it is; UTF-16's little-endian
  // mark with less than a unit after it, as UTF-16.
  if (encoding_ == Encoding::kUndecided && head_size_ > 0) {
    const std::string_view head(head_, head_size_);
    if (head.starts_with("\xFF\xFE")) {
      head_size_ = 0;
      encoding_ = Encoding::kCodeUnits;
      unit_size_ = 2;
      little_endian_ = true;
      if (!FeedCodeUnits(head_ + 2, head.size() - 2, err)) return false;
    } else {
      encoding_ = Encoding::kBytes;
      head_size_ = 0;
      if (!FeedBytes(head_, head.size(), err)) return false;
    }
    if (Complete()) return true;
  }
  return TakeLine(straddling_.Value(), err);
}

namespace {

// "0000" to "9999" as four ASCII bytes each, the first digit lowest: two
// loads give eight digits (40 KB, built at compile time).
constexpr auto kFourDigitTexts = [] {
  std::array<uint32_t, 10000> texts{};
  for (uint32_t i = 0; i < 10000; ++i) {
    texts[i] = ('0' + i / 1000) | ('0' + i / 100 % 10) << 8 |
               ('0' + i / 10 % 10) << 16 | ('0' + i % 10) << 24;
  }
  return texts;
}();

// The eight ASCII digits of `x` (below 10^8), leading zeros included, the
// first digit in the lowest byte.
inline uint64_t EightDigitsText(uint32_t x) {
  return kFourDigitTexts[x / 10000] |
         static_cast<uint64_t>(kFourDigitTexts[x % 10000]) << 32;
}

// For each bit length of a magnitude, its digit count d in the high 32
// bits, plus, where longer numbers of that bit length have d + 1 digits,
// 2^32 - 10^d, which carries into the high bits exactly from 10^d on.
constexpr auto kDigitCountSteps = [] {
  std::array<uint64_t, 32> steps{};
  for (unsigned bits = 1; bits <= 32; ++bits) {
    const uint64_t smallest = uint64_t{1} << (bits - 1);
    uint64_t digits = 1;
    uint64_t power = 10;  // 10^digits
    while (power <= smallest) {
      ++digits;
      power *= 10;
    }
    const bool may_grow = power < (uint64_t{1} << bits);
    steps[bits - 1] =
        (digits << 32) + (may_grow ? (uint64_t{1} << 32) - power : 0);
  }
  return steps;
}();

// The number of decimal digits of `x` (1 for 0).
inline unsigned DecimalLength(uint32_t x) {
  const auto bits = static_cast<unsigned>(32 - std::countl_zero(x | 1));
  return static_cast<unsigned>((x + kDigitCountSteps[bits - 1]) >> 32);
}

// The most bytes one sample takes as text: a sign, ten digits and a
// separator of up to two bytes.
constexpr int64_t kMaxSampleText = 13;
// Text is handed out in chunks of this size: memory stays bounded however
// long the signal.
constexpr int64_t kChunkSize = 256 << 10;
// Whole samples per chunk, filled from the back (see FormatSampleBefore).
constexpr int64_t kSamplesPerChunk = kChunkSize / kMaxSampleText;

// Writes `value` in plain decimal followed by the kSeparatorLength bytes of
// `separator` (the first lowest) so that the text ends right before `end`,
// and returns where it starts. It may write anywhere in the kMaxSampleText
// bytes before `end`.
//
// Text is built backwards because that makes it branch-free: all ten digits
// (with leading zeros) go to fixed places before the separator, and the
// start simply moves past the zeros. Signs and lengths of real data are too
// unpredictable for branches.
template <int kSeparatorLength>
inline char* FormatSampleBefore(int32_t value, uint16_t separator, char* end) {
  end -= kSeparatorLength;
  std::memcpy(end, &separator, kSeparatorLength);
  const uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value)
                                       : static_cast<uint32_t>(value);
  const uint32_t top = magnitude / 100000000;  // at most 42
  const uint64_t low_text = EightDigitsText(magnitude % 100000000);
  const uint16_t top_text = static_cast<uint16_t>(kFourDigitTexts[top] >> 16);
  std::memcpy(end - 8, &low_text, sizeof(low_text));
  std::memcpy(end - 10, &top_text, sizeof(top_text));
  end -= DecimalLength(magnitude);
  end[-1] = '-';
  return end - (value < 0);
}

// Elements first..last as text ending right before `end`; returns where it
// starts. Locals, not members: the text is written through a char pointer,
// which may alias members, so the compiler would reload them every sample.
template <int kSeparatorLength>
char* FormatSamplesBefore(const int32_t* elements, int64_t first, int64_t last,
                          uint16_t separator, char* end) {
  for (int64_t i = last; i >= first; --i) {
    end = FormatSampleBefore<kSeparatorLength>(elements[i], separator, end);
  }
  return end;
}

}  // namespace

// A short signal gets a chunk its size, not the full one.
SignalFormatter::SignalFormatter(const int32_t* elements, int32_t count,
                                 std::string_view separator)
    : elements_(elements),
      end_(static_cast<int64_t>(count) + 1),
      separator_(0),
      separator_length_(separator.size() >= 2 ? 2 : 1),
      chunk_size_(std::min(end_ * kMaxSampleText, kChunkSize)) {
  std::memcpy(&separator_, separator.data(),
              static_cast<size_t>(separator_length_));
}

bool SignalFormatter::Next(std::string_view* text) {
  if (next_piece_ == pieces_.size()) {
    if (next_ >= end_) return false;
    FormatChunks();
  }
  *text = pieces_[next_piece_++];
  return true;
}

void SignalFormatter::FormatChunks() {
  // With threads, several chunks at once, a few to each part: a chunk takes
  // about 0.1 ms, not much more than handing it to a thread. The text stays
  // in the same chunks, so it is the same whatever the number of threads.
  constexpr int64_t kMostChunks = 16;
  constexpr int64_t kChunksAPart = 2;
  const int64_t left = (end_ - next_ + kSamplesPerChunk - 1) / kSamplesPerChunk;
  const int64_t chunks = std::min(left, ThreadCount() > 1 ? kMostChunks : 1);
  const int parts = PartsFor(chunks, kChunksAPart);
  while (static_cast<int64_t>(buffers_.size()) < chunks) {
    buffers_.emplace_back(new char[static_cast<size_t>(chunk_size_)]);
  }
  pieces_.resize(static_cast<size_t>(chunks));
  next_piece_ = 0;
  const int64_t first = next_;
  RunParts(parts, [&](int part) {
    for (int64_t k = PartStart(0, chunks, part, parts);
         k < PartStart(0, chunks, part + 1, parts); ++k) {
      const int64_t from = first + k * kSamplesPerChunk;
      const int64_t last = std::min(from + kSamplesPerChunk, end_) - 1;
      char* const chunk_end =
          buffers_[static_cast<size_t>(k)].get() + chunk_size_;
      char* const start = separator_length_ == 2
                              ? FormatSamplesBefore<2>(elements_, from, last,
                                                       separator_, chunk_end)
                              : FormatSamplesBefore<1>(elements_, from, last,
                                                       separator_, chunk_end);
      pieces_[static_cast<size_t>(k)] =
          std::string_view(start, static_cast<size_t>(chunk_end - start));
    }
  });
  next_ = std::min(first + chunks * kSamplesPerChunk, end_);
}

uint64_t SignalTextSize(const int32_t* elements, int32_t count,
                        size_t separator_length) {
  // Each part sums its own elements' lengths; the sum is the same in any
  // order.
  constexpr int64_t kFewestSamplesAPart = 1 << 18;
  const int64_t items = static_cast<int64_t>(count) + 1;
  const int parts = PartsFor(items, kFewestSamplesAPart);
  std::vector<uint64_t> sizes(static_cast<size_t>(parts));
  RunParts(parts, [&](int part) {
    uint64_t size = 0;
    for (int64_t i = PartStart(0, items, part, parts);
         i < PartStart(0, items, part + 1, parts); ++i) {
      const int32_t value = elements[i];
      const uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value)
                                           : static_cast<uint32_t>(value);
      size += DecimalLength(magnitude) + (value < 0) + separator_length;
    }
    sizes[static_cast<size_t>(part)] = size;
  });
  uint64_t size = 0;
  for (const uint64_t part_size : sizes) size += part_size;
  return size;
}

}  // namespace pellory
