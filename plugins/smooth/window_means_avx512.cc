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

PELLORY_BEGIN_TARGET("avx512f")
#include "plugins/smooth/window_means_vector.h"

namespace pellory {
namespace {

struct Avx512 {
  using Doubles = __m512d;
  using Bits64 = __m512i;
  static constexpr int kLanes = 8;
  static constexpr int kWindows = 128;
  static Doubles Zeros() { return _mm512_setzero_pd(); }
  static Doubles Load(const double* p) { return _mm512_loadu_pd(p); }
  static Doubles AddDoubles(Doubles a, Doubles b) {
    return _mm512_add_pd(a, b);
  }
  static Doubles SubDoubles(Doubles a, Doubles b) {
    return _mm512_sub_pd(a, b);
  }
  static Bits64 Bits(Doubles x) { return _mm512_castpd_si512(x); }
  static Doubles FromBits(Bits64 x) { return _mm512_castsi512_pd(x); }
  static Bits64 Splat(int64_t x) { return _mm512_set1_epi64(x); }
  static Bits64 Add(Bits64 a, Bits64 b) { return _mm512_add_epi64(a, b); }
  static Bits64 And(Bits64 a, Bits64 b) { return _mm512_and_si512(a, b); }
  static Bits64 ShiftRight(Bits64 a, unsigned n) {
    return _mm512_srli_epi64(a, n);
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
