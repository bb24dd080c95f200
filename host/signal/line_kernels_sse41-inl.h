// The vector conversion of a line, and of a 64-byte block's lines, which
// every vector line kernel shares: included by each inside its target
// region, after <immintrin.h>, so that each compiles it for its own
// instruction set (SSE4.1 at least). Everything here is local to the
// including file.
//
// Bytes outside the block and the 17 before it are never read: a line is
// read backwards from its end.
#ifndef PELLORY_HOST_SIGNAL_LINE_KERNELS_SSE41_INL_H_
#define PELLORY_HOST_SIGNAL_LINE_KERNELS_SSE41_INL_H_

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cstdint>

#include "host/signal/line_kernels.h"

namespace pellory {
namespace {

// The vector path's constants, as 16-byte vectors.
struct alignas(16) ByteVector {
  uint8_t bytes[16];
};
constexpr ByteVector Splat(uint8_t byte) {
  ByteVector v{};
  for (uint8_t& b : v.bytes) b = byte;
  return v;
}
constexpr ByteVector kZeros = Splat('0');
constexpr ByteVector kNines = Splat(9);
constexpr ByteVector kTensAndOnes = {
    {10, 1, 10, 1, 10, 1, 10, 1, 10, 1, 10, 1, 10, 1, 10, 1}};
constexpr ByteVector kHundredsAndOnes = {
    {100, 0, 1, 0, 100, 0, 1, 0, 100, 0, 1, 0, 100, 0, 1, 0}};
constexpr ByteVector kTenThousandsAndOnes = {
    {0x10, 0x27, 1, 0, 0x10, 0x27, 1, 0, 0x10, 0x27, 1, 0, 0x10, 0x27, 1, 0}};
// kTopBytes[n] keeps the last n of 16 bytes: a line's digits, read as the
// 16 bytes that end where they end.
constexpr auto kTopBytes = [] {
  std::array<ByteVector, 17> masks{};
  for (unsigned n = 0; n <= 16; ++n) {
    for (unsigned i = 16 - n; i < 16; ++i) masks[n].bytes[i] = 0xFF;
  }
  return masks;
}();

inline __m128i Load(const ByteVector& v) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(v.bytes));
}

// The sample whose first and last eight of 16 digits have the values in
// the two lowest 32-bit lanes of `eights`.
// In 32-bit arithmetic, which 32-bit code does in single instructions: a
// first eight of 22 or more is beyond 2^31 whatever follows, and below it
// the magnitude fits 32 bits.
inline int32_t SixteenDigitsValue(__m128i eights, bool negative) {
  const auto high = static_cast<uint32_t>(_mm_cvtsi128_si32(eights));
  const auto low = static_cast<uint32_t>(_mm_extract_epi32(eights, 1));
  const uint32_t limit = uint32_t{INT32_MAX} + negative;
  const uint32_t magnitude = high * 100000000 + low;
  const uint32_t capped = high >= 22 ? limit : std::min(magnitude, limit);
  const uint32_t flip = 0u - static_cast<uint32_t>(negative);
  return static_cast<int32_t>((capped ^ flip) - flip);
}

// Bytes before a line's '\n' that the vector path reads: a '\r' and 16
// digits.
constexpr ptrdiff_t kVectorLookBack = 17;

// The value of the line from `line` when it is the usual shape: a sign and
// up to 16 digits (none reads as 0), which end at `digits_end` (its '\n',
// or a '\r' before it). False for any other shape. The line is read
// backwards from its end, as the 16 bytes before `digits_end`, which the
// caller guarantees readable; nothing past the line is touched.
inline bool VectorLineValue(const char* line, const char* digits_end,
                            int32_t* value) {
  const auto length = static_cast<size_t>(digits_end - line);
  if (length > 16) return false;
  const bool negative = *line == '-';
  const size_t count = length - (negative || *line == '+');
  const __m128i text =
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(digits_end - 16));
  const __m128i digits = _mm_sub_epi8(text, Load(kZeros));
  // Zero exactly where the byte is a digit.
  const __m128i beyond_nine = _mm_subs_epu8(digits, Load(kNines));
  const __m128i wanted = Load(kTopBytes[count]);
  if (_mm_testz_si128(beyond_nine, wanted) == 0) return false;
  // Bytes before the digits become leading zeros; then pairs, fours and
  // eights of digits are combined by multiply-adds.
  const __m128i kept = _mm_and_si128(digits, wanted);
  const __m128i pairs = _mm_maddubs_epi16(kept, Load(kTensAndOnes));
  const __m128i fours = _mm_madd_epi16(pairs, Load(kHundredsAndOnes));
  const __m128i eights = _mm_madd_epi16(_mm_packus_epi32(fours, fours),
                                        Load(kTenThousandsAndOnes));
  *value = SixteenDigitsValue(eights, negative);
  return true;
}

// Parses the lines that end in the bytes from `block` that `breaks` masks
// (32 or 64: their line breaks are its bits) into the samples from *values
// on, two at a time by kTwoLineValues (which reads two lines as
// VectorLineValue reads one). Bit i of `carriage_returns` is set when the byte
// before block[i] is a '\r'; a block without any takes the loop that never
// asks. Lines of other shapes are parsed after the loop, which thus calls
// nothing and keeps its constants in registers.
template <auto kTwoLineValues, bool kAnyCarriageReturn, typename Mask>
inline void ParseMaskLines(const char* block, Mask breaks,
                           Mask carriage_returns, const char** line,
                           int32_t** values) {
  const char* unusual_lines[64];
  int32_t* unusual_values[64];
  unsigned unusual = 0;
  int32_t* value = *values;
  const char* start = *line;
  // Where the line whose '\n' is block[at] has its last digit.
  const auto digits_end = [&](Mask at) {
    return block + at - (kAnyCarriageReturn ? (carriage_returns >> at) & 1 : 0);
  };
  // One line, or a note to parse it after the loop.
  const auto one_line = [&](const char* end) {
    if (!VectorLineValue(start, end, value)) {
      unusual_lines[unusual] = start;
      unusual_values[unusual++] = value;
    }
    ++value;
  };
  while (breaks != 0) {
    const Mask first = static_cast<Mask>(std::countr_zero(breaks));
    breaks &= breaks - 1;
    if (breaks == 0) {
      one_line(digits_end(first));
      start = block + first + 1;
      break;
    }
    const Mask second = static_cast<Mask>(std::countr_zero(breaks));
    breaks &= breaks - 1;
    const char* const second_start = block + first + 1;
    if (kTwoLineValues(start, digits_end(first), second_start,
                       digits_end(second), value)) {
      value += 2;
    } else {
      one_line(digits_end(first));
      start = second_start;
      one_line(digits_end(second));
    }
    start = block + second + 1;
  }
  for (unsigned i = 0; i < unusual; ++i) {
    *unusual_values[i] = ParseLinePlainly(&unusual_lines[i], start);
  }
  *values = value;
  *line = start;
}

// Parses the lines that end in the 64-byte `block`, as ParseMaskLines
// does, a machine word of the masks at a time: 32-bit code has no 64-bit
// bit operations.
template <auto kTwoLineValues, bool kAnyCarriageReturn>
inline void ParseBlockLines(const char* block, uint64_t breaks,
                            uint64_t carriage_returns, const char** line,
                            int32_t** values) {
  if constexpr (sizeof(uintptr_t) >= sizeof(uint64_t)) {
    ParseMaskLines<kTwoLineValues, kAnyCarriageReturn>(
        block, breaks, carriage_returns, line, values);
  } else {
    ParseMaskLines<kTwoLineValues, kAnyCarriageReturn>(
        block, static_cast<uint32_t>(breaks),
        static_cast<uint32_t>(carriage_returns), line, values);
    ParseMaskLines<kTwoLineValues, kAnyCarriageReturn>(
        block + 32, static_cast<uint32_t>(breaks >> 32),
        static_cast<uint32_t>(carriage_returns >> 32), line, values);
  }
}

}  // namespace
}  // namespace pellory

#endif  // PELLORY_HOST_SIGNAL_LINE_KERNELS_SSE41_INL_H_
