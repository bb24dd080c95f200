// Smooth's step-by-step path with AVX2: 48 windows in flight, four per
// 256-bit vector and twelve vectors, which with the two constants fit its
// 16 registers.
#include <immintrin.h>

#include <algorithm>
#include <cstdint>

#include "plugins/smooth/window_means.h"

PELLORY_BEGIN_TARGET("avx2,fma")
#include "plugins/smooth/window_means_vector.h"

namespace pellory {
namespace {

struct Avx2 {
  using Doubles = __m256d;
  static constexpr int kLanes = 4;
  static constexpr int kWindows = 48;
  static Doubles Zeros() { return _mm256_setzero_pd(); }
  static Doubles Load(const double* p) { return _mm256_loadu_pd(p); }
  static Doubles AddDoubles(Doubles a, Doubles b) {
    return _mm256_add_pd(a, b);
  }
  static Doubles SplatDouble(double x) { return _mm256_set1_pd(x); }
  // The lanes' signs and significands cleared: 2^e for a lane in [2^e,
  // 2^(e+1)).
  static Doubles KeepExponent(Doubles x) {
    return _mm256_and_pd(
        x, _mm256_castsi256_pd(_mm256_set1_epi64x(int64_t{0x7ff} << 52)));
  }
  static Doubles MultiplyAdd(Doubles a, Doubles b, Doubles c) {
    return _mm256_fmadd_pd(a, b, c);
  }
  static Doubles NegatedMultiplyAdd(Doubles a, Doubles b, Doubles c) {
    return _mm256_fnmadd_pd(a, b, c);
  }
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
