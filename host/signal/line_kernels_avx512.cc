// The loader's AVX-512 path: a block of short lines (up to 8 or 16 bytes,
// as audio and full-range samples are) has its line ends compressed into
// one vector and each line gathered into a slot of 8 or 16 bytes by one
// byte permute, so that 8 or 4 lines convert together; any other block
// takes the AVX2 conversion.
#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>

#include "host/signal/line_kernels.h"

PELLORY_BEGIN_AVX512_INTRINSICS
#include <immintrin.h>
PELLORY_END_AVX512_INTRINSICS

PELLORY_BEGIN_TARGET("avx2,avx512f,avx512bw,avx512vbmi,avx512vbmi2,popcnt")
#include "host/signal/line_kernels_avx2-inl.h"

namespace pellory {
namespace {

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

inline __m512i Load512(const void* p) { return _mm512_loadu_si512(p); }

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
inline BlockLines LinesOfBlock(const char* block, uint64_t breaks,
                               const char* start) {
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
inline bool AllAtMost(const BlockLines& lines, char bytes) {
  return _mm512_mask_cmpgt_epu8_mask(LowBits(lines.count), lines.lengths,
                                     _mm512_set1_epi8(bytes)) == 0;
}

// The values of `lines`, each at most kSlot (8 or 16) bytes long, into
// values[0...], 64 / kSlot lines per 512-bit vector, when every one is
// digits after an optional '-'; false otherwise, for the general path. Each
// line's bytes are gathered to a slot of the vector by one byte permute of
// the block (`here`) and the 64 bytes `before` it.
template <int kSlot>
inline bool SlotLineValues(const BlockLines& lines, __m512i before,
                           __m512i here, int32_t* values) {
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

}  // namespace

// ParseLinesAvx2, with blocks of short lines (audio-like samples) taken
// eight or four lines at a time. It needs the 64 bytes before a block.
const char* ParseLinesAvx512(const char* line, const char* last,
                             const char* chunk, int32_t* data,
                             int64_t* position, int64_t count) {
  int32_t* value = data + *position;
  int32_t* const end = data + count;
  ParseLinesNearChunkStart(&line, last, chunk, 64, &value, end);
  const __m512i line_break = _mm512_set1_epi8('\n');
  const __m512i carriage_return = _mm512_set1_epi8('\r');
  for (const char* block = line; last - block >= 64 && end - value >= 64;
       block += 64) {
    const uint64_t breaks = _mm512_cmpeq_epi8_mask(Load512(block), line_break);
    const BlockLines lines = LinesOfBlock(block, breaks, line);
    const __m512i before = Load512(block - 64);
    const __m512i here = Load512(block);
    if (AllAtMost(lines, 8)
            ? SlotLineValues<8>(lines, before, here, value)
            : AllAtMost(lines, 16) &&
                  SlotLineValues<16>(lines, before, here, value)) {
      value += lines.count;
      if (breaks != 0) line = block + 64 - std::countl_zero(breaks);
      continue;
    }
    const uint64_t carriage_returns =
        _mm512_cmpeq_epi8_mask(Load512(block - 1), carriage_return);
    if (carriage_returns == 0) {
      ParseBlockLines<VectorLinePairValues, false>(block, breaks, 0, &line,
                                                   &value);
    } else {
      ParseBlockLines<VectorLinePairValues, true>(
          block, breaks, carriage_returns, &line, &value);
    }
  }
  *position = value - data;
  return line;
}

const LinePath kLinesAvx512 = {"avx512", InstructionSet::kAvx512Bytes,
                               ParseLinesAvx512};

}  // namespace pellory

PELLORY_END_TARGET
