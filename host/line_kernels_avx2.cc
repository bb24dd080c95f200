// The loader's AVX2 path: line breaks found 64 bytes at a time with two
// 256-bit compares, lines converted two per 256-bit multiply-add sequence.
#include <immintrin.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>

#include "host/line_kernels.h"

PELLORY_BEGIN_TARGET("avx2")
#include "host/line_blocks_avx2.h"

namespace pellory {

// Parses the lines from `line` on into data[*position..count], 64 bytes at
// a time: one compare per 32 bytes finds every line break, and each line
// is converted on its own, so no line waits for the one before it to find
// its end. Leaves the lines of the last 64 bytes before `last` (the chunk's
// last '\n') and of the last 64 samples to the caller, and returns the start
// of the first line it left.
const char* ParseLinesAvx2(const char* line, const char* last,
                           const char* chunk, int32_t* data, int64_t* position,
                           int64_t count) {
  int64_t next = *position;
  // The first lines of a chunk may lack the look-back.
  while (line - chunk < kVectorLookBack && line <= last && next <= count) {
    data[next++] = ParseLinePlainly(&line, last + 1);
  }
  const __m256i line_break = _mm256_set1_epi8('\n');
  const __m256i carriage_return = _mm256_set1_epi8('\r');
  const auto bits = [](__m256i a, __m256i b) {
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
      ParseBlockLines<false>(block, breaks, 0, &line, data, &next);
    } else {
      const uint64_t carriage_returns =
          bits(before_low, carriage_return) |
          uint64_t{bits(before_high, carriage_return)} << 32;
      ParseBlockLines<true>(block, breaks, carriage_returns, &line, data,
                            &next);
    }
  }
  *position = next;
  return line;
}

const LinePath kLinesAvx2 = {"avx2", InstructionSet::kAvx2, ParseLinesAvx2};

}  // namespace pellory

PELLORY_END_TARGET
