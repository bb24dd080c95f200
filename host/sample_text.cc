#include "host/sample_text.h"

#include <cstring>

namespace pellory {
namespace {

// The white space atoi skips; '\n' never reaches here, it ends the line.
bool IsLeadingBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

}  // namespace

const char* LineValue::Scan(const char* p, const char* end) {
  switch (phase_) {
    case Phase::kLeadingBlanks:
      while (p != end && IsLeadingBlank(*p)) ++p;
      if (p == end) return end;
      if (*p == '-' || *p == '+') {
        negative_ = *p == '-';
        ++p;
      }
      phase_ = Phase::kDigits;
      [[fallthrough]];
    case Phase::kDigits:
      while (p != end && static_cast<unsigned char>(*p - '0') < 10) {
        magnitude_ = magnitude_ * 10 + static_cast<unsigned char>(*p - '0');
        if (magnitude_ > kMagnitudeCap) magnitude_ = kMagnitudeCap;
        ++p;
      }
      if (p == end) return end;
      phase_ = Phase::kRest;
      [[fallthrough]];
    case Phase::kRest:
      // Almost always the line ends right after its digits.
      if (p != end && *p == '\n') return p;
      const void* newline = std::memchr(p, '\n', static_cast<size_t>(end - p));
      return newline != nullptr ? static_cast<const char*>(newline) : end;
  }
  return end;
}

int32_t LineValue::Value() const {
  if (negative_) return static_cast<int32_t>(-static_cast<int64_t>(magnitude_));
  return magnitude_ >= kMagnitudeCap ? INT32_MAX
                                     : static_cast<int32_t>(magnitude_);
}

int32_t ParseSampleLine(std::string_view line) {
  LineValue value;
  value.Scan(line.data(), line.data() + line.size());
  return value.Value();
}

char* FormatSample(int32_t value, char separator, char* out) {
  // Two digits per step from a table: half the divisions of the plain loop.
  static constexpr char kPairs[] =
      "0001020304050607080910111213141516171819202122232425262728293031323334"
      "3536373839404142434445464748495051525354555657585960616263646566676869"
      "707172737475767778798081828384858687888990919293949596979899";
  uint32_t magnitude = static_cast<uint32_t>(value);
  if (value < 0) {
    *out++ = '-';
    magnitude = 0u - magnitude;
  }
  char digits[10];
  char* start = digits + sizeof(digits);
  while (magnitude >= 100) {
    const uint32_t pair = (magnitude % 100) * 2;
    magnitude /= 100;
    *--start = kPairs[pair + 1];
    *--start = kPairs[pair];
  }
  if (magnitude >= 10) {
    *--start = kPairs[magnitude * 2 + 1];
    *--start = kPairs[magnitude * 2];
  } else {
    *--start = static_cast<char>('0' + magnitude);
  }
  const size_t length = static_cast<size_t>(digits + sizeof(digits) - start);
  std::memcpy(out, start, length);
  out += length;
  *out++ = separator;
  return out;
}

}  // namespace pellory
