// One line of signal text read as a sample: the value of a line as atoi
// reads it, saturated to 32 bits, accumulated as its bytes arrive (a line
// may straddle two chunks), and the plain parse of a whole line that the
// parser and every instruction-set path share.
#ifndef PELLORY_HOST_SIGNAL_LINE_VALUE_H_
#define PELLORY_HOST_SIGNAL_LINE_VALUE_H_

#include <algorithm>
#include <bit>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace pellory {

// The value of one line, accumulated as its bytes arrive, possibly split
// across chunks.
class LineValue {
 public:
  // Consumes bytes of the line from [p, end). Returns the position of the
  // '\n' that ends it, or `end` when the line goes on past it.
  const char* Scan(const char* p, const char* end);
  int32_t Value() const;
  // Whether the rest of the line can no longer change the value.
  bool Settled() const { return phase_ == Phase::kRest; }

 private:
  enum class Phase { kLeadingBlanks, kDigits, kRest };
  // Large enough to hold any saturated magnitude; digits beyond it are
  // clamped so the accumulator never overflows.
  static constexpr uint64_t kMagnitudeCap = 2147483648u;
  Phase phase_ = Phase::kLeadingBlanks;
  bool negative_ = false;
  uint64_t magnitude_ = 0;
};

// The line at `*cursor`, whose '\n' lies before `end`, parsed plainly, and
// `*cursor` moved past that '\n' (to `end`, should the '\n' be gone when
// read again).
int32_t ParseLinePlainly(const char** cursor, const char* end);

// The sample a sign and a magnitude of at most 16 digits (so the magnitude
// itself cannot overflow) stand for, saturated to 32 bits. Without a branch:
// signs of real data are too unpredictable for one.
inline int32_t SignedSaturated(uint64_t magnitude, bool negative) {
  const uint64_t limit = uint64_t{INT32_MAX} + negative;
  const auto capped = static_cast<uint32_t>(std::min(magnitude, limit));
  const uint32_t flip = 0u - static_cast<uint32_t>(negative);
  return static_cast<int32_t>((capped ^ flip) - flip);
}

static_assert(std::endian::native == std::endian::little,
              "the eight-bytes-at-a-time parsing assumes it");

// The white space atoi skips; '\n' never reaches here, it ends the line.
inline bool IsLeadingBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// Per byte of `bytes`, the high bit is set when the byte is not an ASCII
// digit. No carry crosses bytes: each addend stays below 0x100.
inline uint64_t NonDigitBytes(uint64_t bytes) {
  const uint64_t x = bytes ^ 0x3030303030303030u;
  return (((x & 0x7F7F7F7F7F7F7F7Fu) + 0x7676767676767676u) | x) &
         0x8080808080808080u;
}

// The value of eight ASCII digits, the first in the lowest byte; bytes that
// are 0 after masking count as leading zeros.
inline uint64_t EightDigitsValue(uint64_t bytes) {
  bytes = ((bytes & 0x0F0F0F0F0F0F0F0Fu) * 2561) >> 8;
  bytes = ((bytes & 0x00FF00FF00FF00FFu) * 6553601) >> 16;
  return ((bytes & 0x0000FFFF0000FFFFu) * 42949672960001u) >> 32;
}

// The value of the first `count` (0..8) digits of `bytes`.
inline uint64_t LeadingDigitsValue(uint64_t bytes, unsigned count) {
  return count == 0 ? 0 : EightDigitsValue(bytes << (64 - 8 * count));
}

// Bytes ParseWholeLine may read from the start of a line: a sign, sixteen
// digits and the byte after them.
constexpr ptrdiff_t kParseReadAhead = 32;

// ParseLinePlainly for the loader's hot path: the usual line, a sign and at
// most 15 digits right before the '\n', is read eight bytes at a time; any
// other shape goes to ParseLinePlainly. The caller guarantees
// kParseReadAhead readable bytes from the line's start.
inline int32_t ParseWholeLine(const char** cursor, const char* end) {
  static constexpr uint64_t kPowersOfTen[] = {1,     10,     100,     1000,
                                              10000, 100000, 1000000, 10000000};
  const char* const line = *cursor;
  const bool negative = *line == '-';
  const char* const digits = line + (negative || *line == '+');
  uint64_t low;
  std::memcpy(&low, digits, sizeof(low));
  const uint64_t low_stops = NonDigitBytes(low);
  unsigned count;
  uint64_t magnitude;
  if (low_stops != 0) {
    count = static_cast<unsigned>(std::countr_zero(low_stops)) / 8;
    magnitude = LeadingDigitsValue(low, count);
  } else {
    uint64_t high;
    std::memcpy(&high, digits + 8, sizeof(high));
    const uint64_t high_stops = NonDigitBytes(high);
    if (high_stops == 0) return ParseLinePlainly(cursor, end);
    const unsigned extra =
        static_cast<unsigned>(std::countr_zero(high_stops)) / 8;
    count = 8 + extra;
    magnitude = EightDigitsValue(low) * kPowersOfTen[extra] +
                LeadingDigitsValue(high, extra);
  }
  if (digits[count] != '\n') return ParseLinePlainly(cursor, end);
  *cursor = digits + count + 1;
  return SignedSaturated(magnitude, negative);
}

}  // namespace pellory

#endif  // PELLORY_HOST_SIGNAL_LINE_VALUE_H_
