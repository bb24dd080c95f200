#include "host/signal_text.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cstring>

#include "plugin_api/cpu_features.h"

#if defined(__x86_64__) || defined(__i386__)
#define PELLORY_VECTOR_PARSE 1
#endif

namespace pellory {
namespace {

static_assert(std::endian::native == std::endian::little,
              "the eight-bytes-at-a-time parsing and formatting assume it");

// The white space atoi skips; '\n' never reaches here, it ends the line.
bool IsLeadingBlank(char c) {
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

// The sample a sign and a magnitude of at most 16 digits (so the magnitude
// itself cannot overflow) stand for, saturated to 32 bits. Without a branch:
// signs of real data are too unpredictable for one.
inline int32_t SignedSaturated(uint64_t magnitude, bool negative) {
  const uint64_t limit = uint64_t{INT32_MAX} + negative;
  const auto capped = static_cast<uint32_t>(std::min(magnitude, limit));
  const uint32_t flip = 0u - static_cast<uint32_t>(negative);
  return static_cast<int32_t>((capped ^ flip) - flip);
}

// Bytes ParseWholeLine may read from the start of a line: a sign, sixteen
// digits and the byte after them.
constexpr ptrdiff_t kParseReadAhead = 32;

}  // namespace

const char* SignalParser::LineValue::Scan(const char* p, const char* end) {
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

int32_t SignalParser::LineValue::Value() const {
  if (negative_) return static_cast<int32_t>(-static_cast<int64_t>(magnitude_));
  return magnitude_ >= kMagnitudeCap ? INT32_MAX
                                     : static_cast<int32_t>(magnitude_);
}

namespace {

// Reads the line at `*cursor`, whose '\n' lies before `end`, and moves
// `*cursor` past that '\n'. Should the '\n' be gone when read again (a
// mapped file that another program rewrites), the line ends at `end` and
// so does the cursor: no scan after it reads past the piece.
template <typename LineValue>
int32_t ParseLineSlowly(const char** cursor, const char* end) {
  LineValue value;
  const char* const newline = value.Scan(*cursor, end);
  *cursor = newline == end ? end : newline + 1;
  return value.Value();
}

// The same for the loader's hot path: the usual line, a sign and at most
// 15 digits right before the '\n', is read eight bytes at a time; any other
// shape goes to ParseLineSlowly. The caller guarantees kParseReadAhead
// readable bytes from the line's start.
template <typename LineValue>
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
    if (high_stops == 0) return ParseLineSlowly<LineValue>(cursor, end);
    const unsigned extra =
        static_cast<unsigned>(std::countr_zero(high_stops)) / 8;
    count = 8 + extra;
    magnitude = EightDigitsValue(low) * kPowersOfTen[extra] +
                LeadingDigitsValue(high, extra);
  }
  if (digits[count] != '\n') return ParseLineSlowly<LineValue>(cursor, end);
  *cursor = digits + count + 1;
  return SignedSaturated(magnitude, negative);
}

#ifdef PELLORY_VECTOR_PARSE

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

__attribute__((target("avx2"))) inline __m128i Load(const ByteVector& v) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(v.bytes));
}

__attribute__((target("avx2"))) inline __m256i Load256(const char* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// The sample whose first and last eight of 16 digits have the values in
// the two lowest 32-bit lanes of `eights`.
__attribute__((target("avx2"))) inline int32_t SixteenDigitsValue(
    __m128i eights, bool negative) {
  const auto high = static_cast<uint32_t>(_mm_cvtsi128_si32(eights));
  const auto low = static_cast<uint32_t>(_mm_extract_epi32(eights, 1));
  return SignedSaturated(uint64_t{high} * 100000000 + low, negative);
}

// Bytes before a line's '\n' that the vector path reads: a '\r' and 16
// digits.
constexpr ptrdiff_t kVectorLookBack = 17;

// The value of the line from `line` when it is the usual shape: a sign and
// up to 16 digits (none reads as 0), which end at `digits_end` (its '\n',
// or a '\r' before it). False for any other shape. The line is read
// backwards from its end, as the 16 bytes before `digits_end`, which the
// caller guarantees readable; nothing past the line is touched.
__attribute__((target("avx2"))) inline bool VectorLineValue(
    const char* line, const char* digits_end, int32_t* value) {
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

// Two lines at once, as VectorLineValue reads one: the first in the low
// 128 bits, the second in the high. False when either is of another shape.
__attribute__((target("avx2"))) inline bool VectorLinePairValues(
    const char* first, const char* first_end, const char* second,
    const char* second_end, int32_t* values) {
  const auto first_length = static_cast<size_t>(first_end - first);
  const auto second_length = static_cast<size_t>(second_end - second);
  if ((first_length | second_length) > 16) return false;
  const bool first_negative = *first == '-';
  const bool second_negative = *second == '-';
  const size_t first_count = first_length - (first_negative || *first == '+');
  const size_t second_count =
      second_length - (second_negative || *second == '+');
  const __m256i text = _mm256_inserti128_si256(
      _mm256_castsi128_si256(
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(first_end - 16))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(second_end - 16)), 1);
  const __m256i digits =
      _mm256_sub_epi8(text, _mm256_broadcastsi128_si256(Load(kZeros)));
  const __m256i beyond_nine =
      _mm256_subs_epu8(digits, _mm256_broadcastsi128_si256(Load(kNines)));
  const __m256i wanted = _mm256_inserti128_si256(
      _mm256_castsi128_si256(Load(kTopBytes[first_count])),
      Load(kTopBytes[second_count]), 1);
  if (_mm256_testz_si256(beyond_nine, wanted) == 0) return false;
  const __m256i kept = _mm256_and_si256(digits, wanted);
  const __m256i pairs = _mm256_maddubs_epi16(
      kept, _mm256_broadcastsi128_si256(Load(kTensAndOnes)));
  const __m256i fours = _mm256_madd_epi16(
      pairs, _mm256_broadcastsi128_si256(Load(kHundredsAndOnes)));
  const __m256i eights = _mm256_madd_epi16(
      _mm256_packus_epi32(fours, fours),
      _mm256_broadcastsi128_si256(Load(kTenThousandsAndOnes)));
  const __m128i first_eights = _mm256_castsi256_si128(eights);
  const __m128i second_eights = _mm256_extracti128_si256(eights, 1);
  values[0] = SixteenDigitsValue(first_eights, first_negative);
  values[1] = SixteenDigitsValue(second_eights, second_negative);
  return true;
}

// Parses the lines that end in the 64-byte `block` (their line breaks are
// the bits of `breaks`) into data[*next...], two at a time. Bit i of
// `carriage_returns` is set when the byte before block[i] is a '\r'; a
// block without any takes the loop that never asks. Lines of other shapes
// are parsed after the loop, which thus calls nothing and keeps its
// constants in registers.
template <typename LineValue, bool kAnyCarriageReturn>
__attribute__((target("avx2"))) inline void ParseBlockLines(
    const char* block, uint64_t breaks, uint64_t carriage_returns,
    const char** line, int32_t* data, int64_t* next) {
  const char* unusual_lines[64];
  int32_t* unusual_values[64];
  unsigned unusual = 0;
  int32_t* value = data + *next;
  const char* start = *line;
  // Where the line whose '\n' is block[at] has its last digit.
  const auto digits_end = [&](uint64_t at) {
    return block + at - (kAnyCarriageReturn ? (carriage_returns >> at) & 1 : 0);
  };
  // One line, or a note to parse it after the loop.
  const auto one_line = [&](const char* end) __attribute__((target("avx2"))) {
    if (!VectorLineValue(start, end, value)) {
      unusual_lines[unusual] = start;
      unusual_values[unusual++] = value;
    }
    ++value;
  };
  while (breaks != 0) {
    const auto first = static_cast<uint64_t>(std::countr_zero(breaks));
    breaks &= breaks - 1;
    if (breaks == 0) {
      one_line(digits_end(first));
      start = block + first + 1;
      break;
    }
    const auto second = static_cast<uint64_t>(std::countr_zero(breaks));
    breaks &= breaks - 1;
    const char* const second_start = block + first + 1;
    if (VectorLinePairValues(start, digits_end(first), second_start,
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
    *unusual_values[i] = ParseLineSlowly<LineValue>(&unusual_lines[i], start);
  }
  *next = value - data;
  *line = start;
}

// Parses the lines from `line` on into data[*position..count], 64 bytes at
// a time: one compare per 32 bytes finds every line break, and each line
// is converted on its own, so no line waits for the one before it to find
// its end. Leaves the lines of the last 64 bytes before `last` (the chunk's
// last '\n') and of the last 64 samples to the caller, and returns the start
// of the first line it left.
template <typename LineValue>
__attribute__((target("avx2"))) const char* ParseLinesWithAvx2(
    const char* line, const char* last, const char* chunk, int32_t* data,
    int64_t* position, int64_t count) {
  int64_t next = *position;
  // The first lines of a chunk may lack the look-back.
  while (line - chunk < kVectorLookBack && line <= last && next <= count) {
    data[next++] = ParseLineSlowly<LineValue>(&line, last + 1);
  }
  const __m256i line_break = _mm256_set1_epi8('\n');
  const __m256i carriage_return = _mm256_set1_epi8('\r');
  const auto bits = [](__m256i a, __m256i b) __attribute__((target("avx2"))) {
    return static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(a, b)));
  };
  for (const char* block = line; last - block >= 64 && count - next >= 64;
       block += 64) {
    const uint64_t breaks = bits(Load256(block), line_break) |
                            uint64_t{bits(Load256(block + 32), line_break)}
                                << 32;
    const __m256i before_low = Load256(block - 1);
    const __m256i before_high = Load256(block + 31);
    const __m256i any_carriage_return =
        _mm256_or_si256(_mm256_cmpeq_epi8(before_low, carriage_return),
                        _mm256_cmpeq_epi8(before_high, carriage_return));
    if (_mm256_testz_si256(any_carriage_return, any_carriage_return) != 0) {
      ParseBlockLines<LineValue, false>(block, breaks, 0, &line, data, &next);
    } else {
      const uint64_t carriage_returns =
          bits(before_low, carriage_return) |
          uint64_t{bits(before_high, carriage_return)} << 32;
      ParseBlockLines<LineValue, true>(block, breaks, carriage_returns, &line,
                                       data, &next);
    }
  }
  *position = next;
  return line;
}

#if defined(__x86_64__)
#define PELLORY_AVX512_PARSE_TARGET \
  "avx2,avx512f,avx512bw,avx512vbmi,avx512vbmi2,popcnt"

// The 64 bits below bit n (n <= 64).
inline uint64_t LowBits(unsigned n) {
  return n >= 64 ? ~uint64_t{0} : (uint64_t{1} << n) - 1;
}

// Byte constants of the short-line path, for slots of kSlot bytes: byte
// kSlot * s + j of kSlotPicks is s, which picks line s for slot s; of
// kFromSlotEnd, kSlot - j, which counts a slot's bytes from its end.
// kBytePositions[i] = 64 + i numbers the block's bytes after the 64 before
// it; kPreviousPicks shifts the lines' ends by one, the end before the
// block's first line (from the second source) in front.
struct alignas(64) ZmmBytes {
  uint8_t bytes[64];
};
template <int kSlot>
constexpr ZmmBytes kSlotPicks = [] {
  ZmmBytes v{};
  for (int i = 0; i < 64; ++i) v.bytes[i] = static_cast<uint8_t>(i / kSlot);
  return v;
}();
template <int kSlot>
constexpr ZmmBytes kFromSlotEnd = [] {
  ZmmBytes v{};
  for (int i = 0; i < 64; ++i) {
    v.bytes[i] = static_cast<uint8_t>(kSlot - i % kSlot);
  }
  return v;
}();
constexpr ZmmBytes kBytePositions = [] {
  ZmmBytes v{};
  for (int i = 0; i < 64; ++i) v.bytes[i] = static_cast<uint8_t>(64 + i);
  return v;
}();
constexpr ZmmBytes kPreviousPicks = [] {
  ZmmBytes v{};
  v.bytes[0] = 64;
  for (int i = 1; i < 64; ++i) v.bytes[i] = static_cast<uint8_t>(i - 1);
  return v;
}();

// Dword picks that pack the values of 8- or 16-byte slots: the low dword
// of every 64-bit lane, or of every 128-bit lane.
struct alignas(64) ZmmWords {
  uint32_t words[16];
};
template <int kSlot>
constexpr ZmmWords kValuePicks = [] {
  ZmmWords v{};
  for (int i = 0; i < 16; ++i) {
    v.words[i] = static_cast<uint32_t>(i * kSlot / 4 % 16);
  }
  return v;
}();

__attribute__((target(PELLORY_AVX512_PARSE_TARGET))) inline __m512i Load512(
    const void* p) {
  return _mm512_loadu_si512(p);
}

// The lines that end in a 64-byte block, as bytes: each line's '\n' and its
// length, numbered from 64 at the block's start.
struct BlockLines {
  unsigned count;
  __m512i ends;
  __m512i lengths;
};

// The lines whose line breaks are the bits of `breaks` in `block`, the first
// starting at `start`. A first line beginning before the 64 bytes before the
// block counts as at least 63 bytes long.
__attribute__((target(PELLORY_AVX512_PARSE_TARGET))) inline BlockLines
LinesOfBlock(const char* block, uint64_t breaks, const char* start) {
  const __m512i ends =
      _mm512_maskz_compress_epi8(breaks, Load512(kBytePositions.bytes));
  const ptrdiff_t end_before = std::max<ptrdiff_t>(start - 1 - block + 64, 0);
  const __m512i ends_before =
      _mm512_permutex2var_epi8(ends, Load512(kPreviousPicks.bytes),
                               _mm512_set1_epi8(static_cast<char>(end_before)));
  const __m512i lengths =
      _mm512_sub_epi8(_mm512_sub_epi8(ends, ends_before), _mm512_set1_epi8(1));
  return {static_cast<unsigned>(std::popcount(breaks)), ends, lengths};
}

// Whether every line of `lines` is at most `bytes` long.
__attribute__((target(PELLORY_AVX512_PARSE_TARGET))) inline bool AllAtMost(
    const BlockLines& lines, char bytes) {
  return _mm512_mask_cmpgt_epu8_mask(LowBits(lines.count), lines.lengths,
                                     _mm512_set1_epi8(bytes)) == 0;
}

// The values of `lines`, each at most kSlot (8 or 16) bytes long, into
// values[0...], 64 / kSlot lines per 512-bit vector, when every one is
// digits after an optional '-'; false otherwise, for the general path. Each
// line's bytes are gathered to a slot of the vector by one byte permute of
// the block (`here`) and the 64 bytes `before` it.
template <int kSlot>
__attribute__((target(PELLORY_AVX512_PARSE_TARGET))) inline bool SlotLineValues(
    const BlockLines& lines, __m512i before, __m512i here, int32_t* values) {
  constexpr int kSlotsPerVector = 64 / kSlot;
  const __m512i from_slot_end = Load512(kFromSlotEnd<kSlot>.bytes);
  for (unsigned first = 0; first < lines.count; first += kSlotsPerVector) {
    const __m512i picks =
        _mm512_add_epi8(Load512(kSlotPicks<kSlot>.bytes),
                        _mm512_set1_epi8(static_cast<char>(first)));
    const __m512i end = _mm512_permutexvar_epi8(picks, lines.ends);
    const __m512i length = _mm512_permutexvar_epi8(picks, lines.lengths);
    // Byte j of a slot is the byte kSlot - j before the line's '\n'.
    const __m512i text = _mm512_permutex2var_epi8(
        before, _mm512_sub_epi8(end, from_slot_end), here);
    const __mmask64 in_line = _mm512_cmpge_epu8_mask(length, from_slot_end);
    const __mmask64 minus = _mm512_cmpeq_epi8_mask(length, from_slot_end) &
                            _mm512_cmpeq_epi8_mask(text, _mm512_set1_epi8('-'));
    const __mmask64 digit_bytes = in_line & ~minus;
    const __m512i digits = _mm512_sub_epi8(text, _mm512_set1_epi8('0'));
    const __mmask64 not_digits =
        _mm512_cmpgt_epu8_mask(digits, _mm512_set1_epi8(9));
    if ((digit_bytes & not_digits & LowBits(kSlot * (lines.count - first))) !=
        0) {
      return false;
    }
    // Bytes before the digits become leading zeros; pairs, fours and
    // eights of digits are combined by multiply-adds.
    const __m512i kept = _mm512_maskz_mov_epi8(digit_bytes, digits);
    const __m512i pairs = _mm512_maddubs_epi16(kept, _mm512_set1_epi16(0x010a));
    const __m512i fours =
        _mm512_madd_epi16(pairs, _mm512_set1_epi32(0x00010064));
    const __m512i eights =
        _mm512_add_epi64(_mm512_mul_epu32(fours, _mm512_set1_epi64(10000)),
                         _mm512_srli_epi64(fours, 32));
    const __m512i minus_bytes = _mm512_movm_epi8(minus);
    const __mmask8 minus_lanes =
        _mm512_test_epi64_mask(minus_bytes, minus_bytes);
    __m512i signed_values;
    if constexpr (kSlot == 8) {
      signed_values = _mm512_mask_sub_epi64(eights, minus_lanes,
                                            _mm512_setzero_si512(), eights);
    } else {
      // A slot's two eights make a magnitude of up to 16 digits in its
      // lower 64-bit lane, saturated to 2^31 - 1, or 2^31 when negative.
      const auto negative =
          static_cast<__mmask8>((minus_lanes | minus_lanes >> 1) & 0x55);
      const __m512i sixteens = _mm512_add_epi64(
          _mm512_mul_epu32(eights, _mm512_set1_epi64(100000000)),
          _mm512_bsrli_epi128(eights, 8));
      const __m512i limits = _mm512_mask_add_epi64(
          _mm512_set1_epi64(INT32_MAX), negative, _mm512_set1_epi64(INT32_MAX),
          _mm512_set1_epi64(1));
      const __m512i magnitudes = _mm512_min_epu64(sixteens, limits);
      signed_values = _mm512_mask_sub_epi64(magnitudes, negative,
                                            _mm512_setzero_si512(), magnitudes);
    }
    // The low 32 bits of each value, packed; only the lines' own.
    const auto stored = static_cast<__mmask16>(
        LowBits(std::min<unsigned>(lines.count - first, kSlotsPerVector)));
    _mm512_mask_storeu_epi32(
        values + first, stored,
        _mm512_permutexvar_epi32(Load512(kValuePicks<kSlot>.words),
                                 signed_values));
  }
  return true;
}

// ParseLinesWithAvx2, with blocks of short lines (audio-like samples) taken
// eight or four lines at a time. It needs the 64 bytes before a block.
template <typename LineValue>
__attribute__((target(PELLORY_AVX512_PARSE_TARGET))) const char*
ParseLinesWithAvx512(const char* line, const char* last, const char* chunk,
                     int32_t* data, int64_t* position, int64_t count) {
  int64_t next = *position;
  while (line - chunk < 64 && line <= last && next <= count) {
    data[next++] = ParseLineSlowly<LineValue>(&line, last + 1);
  }
  const __m512i line_break = _mm512_set1_epi8('\n');
  const __m512i carriage_return = _mm512_set1_epi8('\r');
  for (const char* block = line; last - block >= 64 && count - next >= 64;
       block += 64) {
    const uint64_t breaks = _mm512_cmpeq_epi8_mask(Load512(block), line_break);
    const BlockLines lines = LinesOfBlock(block, breaks, line);
    const __m512i before = Load512(block - 64);
    const __m512i here = Load512(block);
    if (AllAtMost(lines, 8)
            ? SlotLineValues<8>(lines, before, here, data + next)
            : AllAtMost(lines, 16) &&
                  SlotLineValues<16>(lines, before, here, data + next)) {
      next += lines.count;
      if (breaks != 0) line = block + 64 - std::countl_zero(breaks);
      continue;
    }
    const uint64_t carriage_returns =
        _mm512_cmpeq_epi8_mask(Load512(block - 1), carriage_return);
    if (carriage_returns == 0) {
      ParseBlockLines<LineValue, false>(block, breaks, 0, &line, data, &next);
    } else {
      ParseBlockLines<LineValue, true>(block, breaks, carriage_returns, &line,
                                       data, &next);
    }
  }
  *position = next;
  return line;
}
#endif

#endif  // PELLORY_VECTOR_PARSE

// The last '\n' in [p, end), or null.
const char* LastLineBreak(const char* p, const char* end) {
  while (end != p) {
    if (*--end == '\n') return end;
  }
  return nullptr;
}

}  // namespace

#ifdef PELLORY_VECTOR_PARSE
SignalParser::SignalParser(Signal* signal)
    : signal_(signal), use_avx2_(HasAvx2()), use_avx512_(false) {
#if defined(__x86_64__)
  use_avx512_ = HasAvx512Bytes();
#endif
}
#else
SignalParser::SignalParser(Signal* signal)
    : signal_(signal), use_avx2_(false), use_avx512_(false) {}
#endif

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
  const char* const chunk = p;
  const char* const end = p + size;
  while (!Complete()) {
    p = straddling_.Scan(p, end);
    if (p == end) {
      // The last line needed, or a count line of 0, completes the signal as
      // soon as its value is settled: a device that never sends a line
      // break (/dev/zero) still loads.
      const bool last_needed =
          position_ == 0 ? straddling_.Value() == 0 : position_ == count_;
      if (straddling_.Settled() && last_needed) {
        return TakeLine(straddling_.Value(), err);
      }
      return true;
    }
    if (!TakeLine(straddling_.Value(), err)) return false;
    straddling_ = LineValue();
    ++p;
    const char* const last = LastLineBreak(p, end);
    if (last == nullptr) continue;
    // Whole lines: the hot loop, with no bounds checks of its own. The few
    // lines too near the end for the read-ahead take the general scan.
    int32_t* const data = signal_->data();
    int64_t position = position_;
    const int64_t count = count_;
#ifdef PELLORY_VECTOR_PARSE
#if defined(__x86_64__)
    if (use_avx512_) {
      p = ParseLinesWithAvx512<LineValue>(p, last, chunk, data, &position,
                                          count);
    }
#endif
    if (use_avx2_) {
      p = ParseLinesWithAvx2<LineValue>(p, last, chunk, data, &position, count);
    }
#endif
    // Lines starting up to here have their '\n' and the read-ahead inside
    // the chunk.
    const char* const fast_last = end - p > kParseReadAhead
                                      ? std::min(last, end - kParseReadAhead)
                                      : p - 1;
    while (p <= fast_last && position <= count) {
      data[position++] = ParseWholeLine<LineValue>(&p, end);
    }
    while (p <= last && position <= count) {
      data[position++] = ParseLineSlowly<LineValue>(&p, end);
    }
    position_ = position;
  }
  return true;
}

bool SignalParser::Finish(std::string* err) {
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

// The most bytes one sample takes as text: a sign, ten digits and one
// separator.
constexpr int64_t kMaxSampleText = 12;
// Text is handed out in chunks of this size: memory stays bounded however
// long the signal.
constexpr int64_t kChunkSize = 256 << 10;
// Whole samples per chunk, filled from the back (see FormatSampleBefore).
constexpr int64_t kSamplesPerChunk = kChunkSize / kMaxSampleText;

// Writes `value` in plain decimal followed by `separator` so that the text
// ends right before `end`, and returns where it starts. It may write
// anywhere in the kMaxSampleText bytes before `end`.
//
// Text is built backwards because that makes it branch-free: all ten digits
// (with leading zeros) go to fixed places before the separator, and the
// start simply moves past the zeros. Signs and lengths of real data are too
// unpredictable for branches.
inline char* FormatSampleBefore(int32_t value, char separator, char* end) {
  *--end = separator;
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

}  // namespace

// A short signal gets a chunk its size, not the full one.
SignalFormatter::SignalFormatter(const int32_t* elements, int32_t count,
                                 char separator)
    : elements_(elements),
      end_(static_cast<int64_t>(count) + 1),
      separator_(separator),
      chunk_size_(std::min(end_ * kMaxSampleText, kChunkSize)),
      chunk_(new char[static_cast<size_t>(chunk_size_)]) {}

bool SignalFormatter::Next(std::string_view* text) {
  if (next_ >= end_) return false;
  const int64_t first = next_;
  const int64_t last = std::min(first + kSamplesPerChunk, end_) - 1;
  char* const chunk_end = chunk_.get() + chunk_size_;
  // Locals, not members: the text is written through a char pointer, which
  // may alias the members, so the compiler would reload them every sample.
  const int32_t* const elements = elements_;
  const char separator = separator_;
  char* start = chunk_end;
  for (int64_t i = last; i >= first; --i) {
    start = FormatSampleBefore(elements[i], separator, start);
  }
  next_ = last + 1;
  *text = std::string_view(start, static_cast<size_t>(chunk_end - start));
  return true;
}

uint64_t SignalTextSize(const int32_t* elements, int32_t count) {
  uint64_t size = 0;
  for (int64_t i = 0; i <= count; ++i) {
    const int32_t value = elements[i];
    const uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value)
                                         : static_cast<uint32_t>(value);
    size += DecimalLength(magnitude) + (value < 0) + 1;
  }
  return size;
}

}  // namespace pellory
