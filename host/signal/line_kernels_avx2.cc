// The loader's AVX2 path: line breaks found 64 bytes at a time with two
// 256-bit compares; a block of short lines converted four lines per 256-bit
// vector (one 64-bit lane each), other lines two per 256-bit multiply-add
// sequence.
#include <immintrin.h>

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cstdint>

#include "host/signal/line_kernels.h"

PELLORY_BEGIN_TARGET("avx2,popcnt")
#include "host/signal/line_kernels_avx2-inl.h"

namespace pellory {
namespace {

// Line breaks from which a block's lines are taken four at a time: eight or
// more lines in 64 bytes average at most 8 bytes, as audio samples are.
constexpr int kShortBlockBreaks = 8;

// Up to four lines of at most 8 bytes each: their values into
// values[0..lines), when each is digits after an optional sign; false for
// any other shape. previous_breaks[i] is the position (from `block`) of
// the line break before line i, digit_ends[i] that of the end of its
// digits; both lists hold four entries, those past `lines` any position in
// the block. Each line is read as the 8 bytes that end where its digits
// end, one 64-bit lane each.
inline bool ShortLineValues(const char* block, const int32_t* previous_breaks,
                            const int32_t* digit_ends, int lines,
                            int32_t* values) {
  const __m128i lengths = _mm_sub_epi32(
      _mm_load_si128(reinterpret_cast<const __m128i*>(digit_ends)),
      _mm_add_epi32(
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(previous_breaks)),
          _mm_set1_epi32(1)));
  // The lanes of real lines, as 32-bit and as 64-bit lanes.
  const __m128i real =
      _mm_cmpgt_epi32(_mm_set1_epi32(lines), _mm_setr_epi32(0, 1, 2, 3));
  const __m256i real_lanes = _mm256_cvtepi32_epi64(real);
  if (_mm_movemask_epi8(_mm_and_si128(
          real, _mm_cmpgt_epi32(lengths, _mm_set1_epi32(8)))) != 0) {
    return false;
  }
  const auto lanes = [&](int low, int high) {
    const __m128i low_lane = _mm_loadl_epi64(
        reinterpret_cast<const __m128i*>(block + digit_ends[low] - 8));
    return _mm_castpd_si128(_mm_loadh_pd(
        _mm_castsi128_pd(low_lane),
        reinterpret_cast<const double*>(block + digit_ends[high] - 8)));
  };
  const __m256i text = _mm256_inserti128_si256(
      _mm256_castsi128_si256(lanes(0, 1)), lanes(2, 3), 1);
  // A line's bytes are the top `length` of its lane; its first byte is the
  // lowest of them, which may be a sign.
  const __m256i line_bytes = _mm256_sllv_epi64(
      _mm256_set1_epi64x(-1),
      _mm256_sub_epi64(_mm256_set1_epi64x(64),
                       _mm256_slli_epi64(_mm256_cvtepu32_epi64(lengths), 3)));
  const __m256i first_byte =
      _mm256_xor_si256(line_bytes, _mm256_slli_epi64(line_bytes, 8));
  const __m256i minus = _mm256_and_si256(
      first_byte, _mm256_cmpeq_epi8(text, _mm256_set1_epi8('-')));
  const __m256i plus = _mm256_and_si256(
      first_byte, _mm256_cmpeq_epi8(text, _mm256_set1_epi8('+')));
  const __m256i digit_bytes = _mm256_and_si256(
      real_lanes,
      _mm256_andnot_si256(_mm256_or_si256(minus, plus), line_bytes));
  const __m256i digits = _mm256_sub_epi8(text, _mm256_set1_epi8('0'));
  const __m256i beyond_nine = _mm256_subs_epu8(digits, _mm256_set1_epi8(9));
  if (_mm256_testz_si256(beyond_nine, digit_bytes) == 0) return false;
  // Bytes before the digits become leading zeros; pairs, fours and the
  // eight are combined by multiply-adds. Eight digits fit 32 bits.
  const __m256i kept = _mm256_and_si256(digits, digit_bytes);
  const __m256i pairs = _mm256_maddubs_epi16(kept, _mm256_set1_epi16(0x010a));
  const __m256i fours = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00010064));
  const __m256i eights =
      _mm256_add_epi64(_mm256_mul_epu32(fours, _mm256_set1_epi64x(10000)),
                       _mm256_srli_epi64(fours, 32));
  const __m256i negative =
      _mm256_xor_si256(_mm256_cmpeq_epi64(minus, _mm256_setzero_si256()),
                       _mm256_set1_epi64x(-1));
  const __m256i signed_values =
      _mm256_sub_epi64(_mm256_xor_si256(eights, negative), negative);
  // The low 32 bits of each lane, packed.
  const __m256i packed = _mm256_permutevar8x32_epi32(
      signed_values, _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6));
  _mm_maskstore_epi32(values, real, _mm256_castsi256_si128(packed));
  return true;
}

// ParseBlockLines for a block of short lines: its line breaks listed first,
// then four lines converted at a time while they are short, the last few
// together; the lines from the first four that are not go to
// ParseBlockLines.
template <bool kAnyCarriageReturn>
inline void ParseShortBlockLines(const char* block, uint64_t breaks,
                                 uint64_t carriage_returns, const char** line,
                                 int32_t** values) {
  // Line k's break is breaks_at[k + 1], its digits end at digit_ends[k];
  // the lists are written four at a time, past their ends. A first line
  // that began 64 or more bytes before the block counts as long.
  alignas(16) int32_t breaks_at[1 + 64 + 4];
  alignas(16) int32_t digit_ends[64 + 4];
  breaks_at[0] =
      static_cast<int32_t>(std::max<ptrdiff_t>(*line - block, -64) - 1);
  // A machine word at a time: 32-bit code has no 64-bit bit operations.
  int count = 0;
  const auto list_word = [&](auto word, auto word_carriage_returns,
                             int32_t base) {
    constexpr auto kLastBit = sizeof(word) * CHAR_BIT - 1;
    const int word_count = std::popcount(word);
    for (int k = count; k < count + word_count; k += 4) {
      for (int j = k; j < k + 4; ++j) {
        const auto at =
            static_cast<unsigned>(std::countr_zero(word)) & kLastBit;
        word &= word - 1;
        breaks_at[j + 1] = base + static_cast<int32_t>(at);
        digit_ends[j] = base + static_cast<int32_t>(
                                   at - (kAnyCarriageReturn
                                             ? (word_carriage_returns >> at) & 1
                                             : 0));
      }
    }
    count += word_count;
  };
  if constexpr (sizeof(uintptr_t) >= sizeof(uint64_t)) {
    list_word(breaks, carriage_returns, 0);
  } else {
    list_word(static_cast<uint32_t>(breaks),
              static_cast<uint32_t>(carriage_returns), 0);
    list_word(static_cast<uint32_t>(breaks >> 32),
              static_cast<uint32_t>(carriage_returns >> 32), 32);
  }
  // The last group's lanes past the last line read that line again.
  for (int j = count; j < count + 3; ++j) {
    breaks_at[j + 1] = breaks_at[count];
    digit_ends[j] = digit_ends[count - 1];
  }
  int taken = 0;
  while (taken < count &&
         ShortLineValues(block, breaks_at + taken, digit_ends + taken,
                         std::min(count - taken, 4), *values + taken)) {
    taken += 4;
  }
  taken = std::min(taken, count);
  if (taken == 0) {
    ParseBlockLines<VectorLinePairValues, kAnyCarriageReturn>(
        block, breaks, carriage_returns, line, values);
    return;
  }
  *values += taken;
  const int32_t taken_to = breaks_at[taken] + 1;
  *line = block + taken_to;
  if (taken == count) return;
  ParseBlockLines<VectorLinePairValues, kAnyCarriageReturn>(
      block, breaks & (~uint64_t{0} << taken_to), carriage_returns, line,
      values);
}

}  // namespace

// Parses the lines from `line` on into data[*position..count], 64 bytes at
// a time: one compare per 32 bytes finds every line break, and each line
// is converted on its own, so no line waits for the one before it to find
// its end. Leaves the lines of the last 64 bytes before `last` (the chunk's
// last '\n') and of the last 64 samples to the caller, and returns the start
// of the first line it left.
const char* ParseLinesAvx2(const char* line, const char* last,
                           const char* chunk, int32_t* data, int64_t* position,
                           int64_t count) {
  // The next sample as a pointer: 32-bit code would store a 64-bit index
  // in two halves and stall reading it back whole.
  int32_t* value = data + *position;
  int32_t* const end = data + count;
  ParseLinesNearChunkStart(&line, last, chunk, kVectorLookBack, &value, end);
  const __m256i line_break = _mm256_set1_epi8('\n');
  const __m256i carriage_return = _mm256_set1_epi8('\r');
  const auto bits = [](__m256i a, __m256i b) {
    return static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(a, b)));
  };
  for (const char* block = line; last - block >= 64 && end - value >= 64;
       block += 64) {
    const uint64_t breaks = bits(Load256(block), line_break) |
                            uint64_t{bits(Load256(block + 32), line_break)}
                                << 32;
    const __m256i before_low = Load256(block - 1);
    const __m256i before_high = Load256(block + 31);
    const __m256i any_carriage_return =
        _mm256_or_si256(_mm256_cmpeq_epi8(before_low, carriage_return),
                        _mm256_cmpeq_epi8(before_high, carriage_return));
    const bool short_lines = std::popcount(breaks) >= kShortBlockBreaks;
    if (_mm256_testz_si256(any_carriage_return, any_carriage_return) != 0) {
      if (short_lines) {
        ParseShortBlockLines<false>(block, breaks, 0, &line, &value);
      } else {
        ParseBlockLines<VectorLinePairValues, false>(block, breaks, 0, &line,
                                                     &value);
      }
    } else {
      const uint64_t carriage_returns =
          bits(before_low, carriage_return) |
          uint64_t{bits(before_high, carriage_return)} << 32;
      if (short_lines) {
        ParseShortBlockLines<true>(block, breaks, carriage_returns, &line,
                                   &value);
      } else {
        ParseBlockLines<VectorLinePairValues, true>(
            block, breaks, carriage_returns, &line, &value);
      }
    }
  }
  *position = value - data;
  return line;
}

const LinePath kLinesAvx2 = {"avx2", InstructionSet::kAvx2, ParseLinesAvx2};

}  // namespace pellory

PELLORY_END_TARGET
