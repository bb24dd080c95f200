// The text form of one sample: parsing a line of a signal file and writing
// a value in decimal.
#ifndef PELLORY_HOST_SAMPLE_TEXT_H_
#define PELLORY_HOST_SAMPLE_TEXT_H_

#include <cstdint>
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

// Room FormatSample needs: a sign, ten digits and one separator.
inline constexpr int kMaxSampleText = 12;

// Writes `value` in plain decimal (no leading zeros or blanks) followed by
// `separator` at `out`, which must have kMaxSampleText bytes of room.
// Returns the position after the separator.
char* FormatSample(int32_t value, char separator, char* out);

}  // namespace pellory

#endif  // PELLORY_HOST_SAMPLE_TEXT_H_
