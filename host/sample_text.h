// The text form of one sample: parsing a line of a signal file and writing
// a value in decimal.
#ifndef PELLORY_HOST_SAMPLE_TEXT_H_
#define PELLORY_HOST_SAMPLE_TEXT_H_

#include <array>
#include <bit>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace pellory {

// The value of one line, accumulated as its bytes arrive, possibly split
// across several reads. Read as atoi does: leading white space is skipped,
// one optional sign and the digits up to the first other character are
// taken, and a line without digits is 0. Unlike glibc's atoi, which wraps, a
// value beyond the 32-bit range saturates to the nearest limit, as the
// runtime the file format was first written for does.
class LineValue {
 public:
  // Consumes bytes of the current line from [p, end). Returns the position
  // of the '\n' that ends the line, or `end` when the line goes on past it.
  const char* Scan(const char* p, const char* end);

  // The value of the bytes scanned so far.
  int32_t Value() const;

 private:
  enum class Phase { kLeadingBlanks, kDigits, kRest };

  // Large enough to hold any saturated magnitude; digits beyond it are
  // clamped so the accumulator never overflows.
  static constexpr uint64_t kMagnitudeCap = 2147483648u;

  Phase phase_ = Phase::kLeadingBlanks;
  bool negative_ = false;
  uint64_t magnitude_ = 0;
};

// The value of a whole line (without its '\n') as LineValue reads it.
int32_t ParseSampleLine(std::string_view line);

// Bytes ParseCompleteLine may read past the start of a line.
inline constexpr size_t kParseReadAhead = 32;

// The general form of ParseCompleteLine, for lines of any shape.
int32_t ParseCompleteLineSlowly(const char** cursor);

namespace internal {

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

}  // namespace internal

// Reads the line at `*cursor` as LineValue does and moves `*cursor` past its
// '\n'. The caller guarantees a '\n' ahead and kParseReadAhead readable
// bytes from the line's start. The loader's hot path: the usual line, a
// sign and at most 15 digits right before the '\n', is read eight bytes at a
// time; any other shape goes to ParseCompleteLineSlowly.
inline int32_t ParseCompleteLine(const char** cursor) {
  static_assert(std::endian::native == std::endian::little);
  static constexpr uint64_t kPowersOfTen[] = {1,     10,     100,     1000,
                                              10000, 100000, 1000000, 10000000};
  const char* const line = *cursor;
  const bool negative = *line == '-';
  const char* const digits = line + (negative || *line == '+');
  uint64_t low;
  std::memcpy(&low, digits, sizeof(low));
  const uint64_t low_stops = internal::NonDigitBytes(low);
  unsigned count;
  uint64_t magnitude;
  if (low_stops != 0) {
    count = static_cast<unsigned>(std::countr_zero(low_stops)) / 8;
    magnitude = internal::LeadingDigitsValue(low, count);
  } else {
    uint64_t high;
    std::memcpy(&high, digits + 8, sizeof(high));
    const uint64_t high_stops = internal::NonDigitBytes(high);
    if (high_stops == 0) return ParseCompleteLineSlowly(cursor);
    const unsigned extra =
        static_cast<unsigned>(std::countr_zero(high_stops)) / 8;
    count = 8 + extra;
    magnitude = internal::EightDigitsValue(low) * kPowersOfTen[extra] +
                internal::LeadingDigitsValue(high, extra);
  }
  if (digits[count] != '\n') return ParseCompleteLineSlowly(cursor);
  *cursor = digits + count + 1;
  // Saturate: at most 15 digits, so the magnitude itself cannot overflow.
  if (negative) {
    return magnitude >= 2147483648u ? INT32_MIN
                                    : -static_cast<int32_t>(magnitude);
  }
  return magnitude >= 2147483647u ? INT32_MAX : static_cast<int32_t>(magnitude);
}

// The most bytes one sample takes as text: a sign, ten digits and one
// separator.
inline constexpr int kMaxSampleText = 12;

namespace internal {

// "0000" to "9999" as four ASCII bytes each, the first digit lowest: two
// loads give eight digits (40 KB, built at compile time).
inline constexpr auto kFourDigitTexts = [] {
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

// The number of decimal digits of `x` (1 for 0).
inline unsigned DecimalLength(uint32_t x) {
  static constexpr uint32_t kPowersOfTen[] = {
      1,      10,      100,      1000,      10000,
      100000, 1000000, 10000000, 100000000, 1000000000};
  const unsigned approximate =
      (static_cast<unsigned>(32 - std::countl_zero(x | 1)) * 1233) >> 12;
  return approximate + 1 - ((x | 1) < kPowersOfTen[approximate]);
}

}  // namespace internal

// Writes `value` in plain decimal (no leading zeros or blanks) followed by
// `separator` so that the text ends right before `end`, and returns where it
// starts. It may write anywhere in the kMaxSampleText bytes before `end`.
//
// Text is built backwards because that makes it branch-free: all ten digits
// (with leading zeros) go to fixed places before the separator, and the
// start simply moves past the zeros. Signs and lengths of real data are too
// unpredictable for branches. Inline: the saver and the display call it once
// per sample.
inline char* FormatSampleBefore(int32_t value, char separator, char* end) {
  *--end = separator;
  const uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value)
                                       : static_cast<uint32_t>(value);
  const uint32_t top = magnitude / 100000000;  // at most 42
  const uint64_t low_text = internal::EightDigitsText(magnitude % 100000000);
  const uint16_t top_text =
      static_cast<uint16_t>(internal::kFourDigitTexts[top] >> 16);
  std::memcpy(end - 8, &low_text, sizeof(low_text));
  std::memcpy(end - 10, &top_text, sizeof(top_text));
  end -= internal::DecimalLength(magnitude);
  end[-1] = '-';
  return end - (value < 0);
}

}  // namespace pellory

#endif  // PELLORY_HOST_SAMPLE_TEXT_H_
