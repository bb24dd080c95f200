#include "host/signal/line_value.h"

namespace pellory {

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

// Should the '\n' be gone when read again, the line ends at `end` and so
// does the cursor: no scan after it reads past the piece.
int32_t ParseLinePlainly(const char** cursor, const char* end) {
  LineValue value;
  const char* const newline = value.Scan(*cursor, end);
  *cursor = newline == end ? end : newline + 1;
  return value.Value();
}

}  // namespace pellory
