// Smooth's step-by-step path with AVX-512: 128 windows in flight, eight per
// vector and sixteen vectors, which its 32 registers hold. The means are
// taken eight at a time too: a division per window would cost as much as a
// quarter of the steps at size 32.
#include <algorithm>
#include <cstdint>

#include "plugins/smooth/window_means.h"

PELLORY_BEGIN_AVX512_INTRINSICS
#include <immintrin.h>
PELLORY_END_AVX512_INTRINSICS

PELLORY_BEGIN_TARGET("avx512f,fma")
#include "plugins/smooth/window_means_vector.h"

namespace pellory {
namespace {

struct Avx512 {
  using Doubles = __m512d;
  static constexpr int kLanes = 8;
  static constexpr int kWindows = 128;
  static Doubles Zeros() { return _mm512_setzero_pd(); }
  static Doubles Load(const double* p) { return _mm512_loadu_pd(p); }
  static Doubles AddDoubles(Doubles a, Doubles b) {
    return _mm512_add_pd(a, b);
  }
  static Doubles SplatDouble(double x) { return _mm512_set1_pd(x); }
  // The lanes' signs and significands cleared: 2^e for a lane in [2^e,
  // 2^(e+1)).
  static Doubles KeepExponent(Doubles x) {
    return _mm512_castsi512_pd(_mm512_and_si512(
        _mm512_castpd_si512(x), _mm512_set1_epi64(int64_t{0x7ff} << 52)));
  }
  static Doubles MultiplyAdd(Doubles a, Doubles b, Doubles c) {
    return _mm512_fmadd_pd(a, b, c);
  }
  static Doubles NegatedMultiplyAdd(Doubles a, Doubles b, Doubles c) {
    return _mm512_fnmadd_pd(a, b, c);
  }
  // StoredMean, eight windows at a time. No lane is NaN: every accumulator
  // is a finite sum.
  static void StoreMeans(Doubles accumulators, int32_t size, int32_t* means) {
    const __m512d quotient =
        _mm512_div_pd(accumulators, _mm512_set1_pd(static_cast<double>(size)));
    const __m512d mean = _mm512_cvtps_pd(_mm512_cvtpd_ps(quotient));
    const __m512d saturated =
        _mm512_min_pd(_mm512_max_pd(mean, _mm512_set1_pd(-2147483648.0)),
                      _mm512_set1_pd(2147483647.0));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(means),
                        _mm512_cvttpd_epi32(saturated));
  }
};

void WindowMeansAvx512(const int32_t* window, int32_t size, int32_t* means) {
  WindowMeansAtWidth<Avx512>(window, size, means);
}

}  // namespace

const WindowPath kWindowsAvx512 = {"avx512", InstructionSet::kAvx512,
                                   Avx512::kWindows, WindowMeansAvx512};

}  // namespace pellory

PELLORY_END_TARGET
