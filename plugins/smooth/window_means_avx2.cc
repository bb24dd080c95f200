// Smooth's step-by-step path with AVX2: 32 windows in flight, four per
// 256-bit vector.
#include <immintrin.h>

#include <algorithm>
#include <cstdint>

#include "plugins/smooth/window_means.h"

PELLORY_BEGIN_TARGET("avx2")
#include "plugins/smooth/window_means_vector.h"

namespace pellory {
namespace {

struct Avx2 {
  using Doubles = __m256d;
  using Bits64 = __m256i;
  static constexpr int kLanes = 4;
  static constexpr int kWindows = 32;
  static Doubles Zeros() { return _mm256_setzero_pd(); }
  static Doubles Load(const double* p) { return _mm256_loadu_pd(p); }
  static Doubles AddDoubles(Doubles a, Doubles b) {
    return _mm256_add_pd(a, b);
  }
  static Doubles SubDoubles(Doubles a, Doubles b) {
    return _mm256_sub_pd(a, b);
  }
  static Bits64 Bits(Doubles x) { return _mm256_castpd_si256(x); }
  static Doubles FromBits(Bits64 x) { return _mm256_castsi256_pd(x); }
  static Bits64 Splat(int64_t x) { return _mm256_set1_epi64x(x); }
  static Bits64 Add(Bits64 a, Bits64 b) { return _mm256_add_epi64(a, b); }
  static Bits64 And(Bits64 a, Bits64 b) { return _mm256_and_si256(a, b); }
  static Bits64 ShiftRight(Bits64 a, int n) { return _mm256_srli_epi64(a, n); }
  // StoredMean, four windows at a time. No lane is NaN: every accumulator
  // is a finite sum.
  static void StoreMeans(Doubles accumulators, int32_t size, int32_t* means) {
    const __m256d quotient =
        _mm256_div_pd(accumulators, _mm256_set1_pd(static_cast<double>(size)));
    const __m256d mean = _mm256_cvtps_pd(_mm256_cvtpd_ps(quotient));
    const __m256d saturated =
        _mm256_min_pd(_mm256_max_pd(mean, _mm256_set1_pd(-2147483648.0)),
                      _mm256_set1_pd(2147483647.0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(means),
                     _mm256_cvttpd_epi32(saturated));
  }
};

void WindowMeansAvx2(const int32_t* window, int32_t size, int32_t* means) {
  WindowMeansAtWidth<Avx2>(window, size, means);
}

}  // namespace

const WindowPath kWindowsAvx2 = {"avx2", InstructionSet::kAvx2, Avx2::kWindows,
                                 WindowMeansAvx2};

}  // namespace pellory

PELLORY_END_TARGET
