// The loader's SSE4.1 path, for processors without AVX2: line breaks found
// 64 bytes at a time with four 128-bit compares, each line converted in one
// 128-bit multiply-add sequence.
#include <immintrin.h>

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cstdint>

#include "host/signal/line_kernels.h"

PELLORY_BEGIN_TARGET("sse4.1")
#include "host/signal/line_kernels_sse41-inl.h"

namespace pellory {
namespace {

// Two lines, a vector each.
inline bool TwoLineValues(const char* first, const char* first_end,
                          const char* second, const char* second_end,
                          int32_t* values) {
  return VectorLineValue(first, first_end, values) &&
         VectorLineValue(second, second_end, values + 1);
}

// Bit i set where bytes[i] equals `byte` (splat), for 64 bytes.
inline uint64_t BytesEqual(const char* bytes, __m128i byte) {
  const auto bits = [&](int at) {
    const __m128i piece =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at));
    return uint64_t{
        static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(piece, byte)))};
  };
  return bits(0) | bits(16) << 16 | bits(32) << 32 | bits(48) << 48;
}

}  // namespace

// Parses the lines from `line` on into data[*position..count], 64 bytes at
// a time, as ParseLinesAvx2 does.
const char* ParseLinesSse41(const char* line, const char* last,
                            const char* chunk, int32_t* data, int64_t* position,
                            int64_t count) {
  int32_t* value = data + *position;
  int32_t* const end = data + count;
  ParseLinesNearChunkStart(&line, last, chunk, kVectorLookBack, &value, end);
  const __m128i line_break = _mm_set1_epi8('\n');
  const __m128i carriage_return = _mm_set1_epi8('\r');
  for (const char* block = line; last - block >= 64 && end - value >= 64;
       block += 64) {
    const uint64_t breaks = BytesEqual(block, line_break);
    const uint64_t carriage_returns = BytesEqual(block - 1, carriage_return);
    if (carriage_returns == 0) {
      ParseBlockLines<TwoLineValues, false>(block, breaks, 0, &line, &value);
    } else {
      ParseBlockLines<TwoLineValues, true>(block, breaks, carriage_returns,
                                           &line, &value);
    }
  }
  *position = value - data;
  return line;
}

const LinePath kLinesSse41 = {"sse4.1", InstructionSet::kSse41,
                              ParseLinesSse41};

}  // namespace pellory

PELLORY_END_TARGET
