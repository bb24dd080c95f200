// Conversions every filter shares: storing a double-precision result as a
// 32-bit sample.
#ifndef PELLORY_PLUGIN_API_SAMPLE_MATH_H_
#define PELLORY_PLUGIN_API_SAMPLE_MATH_H_

#include <cstdint>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pellory {

// Filters narrow double-precision results to single precision with a plain
// static_cast<float>; IEEE 754 arithmetic gives a defined result (+-inf)
// for magnitudes beyond the float range.
static_assert(std::numeric_limits<float>::is_iec559 &&
              std::numeric_limits<double>::is_iec559);

// Truncates `x` toward zero into a sample. Saturate: a value beyond the
// 32-bit range has no meaningful sample, so it becomes the nearest limit;
// NaN becomes 0.
//
// Branch-free, whatever the optimiser makes of selects: on saturating data
// a branch mispredicts every other sample. On x86-64 the SSE2 instructions
// say it directly: a NaN mask, max, min, truncating conversion.
inline int32_t TruncateToSample(double x) {
  constexpr double kLowest = -2147483648.0;
  constexpr double kHighest = 2147483647.0;
#if defined(__SSE2__)
  __m128d value = _mm_set_sd(x);
  value = _mm_and_pd(value, _mm_cmpord_sd(value, value));
  value = _mm_max_sd(value, _mm_set_sd(kLowest));
  value = _mm_min_sd(value, _mm_set_sd(kHighest));
  return _mm_cvttsd_si32(value);
#else
  x = x == x ? x : 0.0;
  x = x < kLowest ? kLowest : x;
  x = x > kHighest ? kHighest : x;
  return static_cast<int32_t>(x);
#endif
}

}  // namespace pellory

#endif  // PELLORY_PLUGIN_API_SAMPLE_MATH_H_
