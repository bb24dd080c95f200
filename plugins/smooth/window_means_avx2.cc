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
  static Bits64 Bits(Doubles x) { return _mm256_castpd_si256(x); }
  static Doubles FromBits(Bits64 x) { return _mm256_castsi256_pd(x); }
  static Bits64 Splat(int64_t x) { return _mm256_set1_epi64x(x); }
  static Bits64 Add(Bits64 a, Bits64 b) { return _mm256_add_epi64(a, b); }
  static Bits64 And(Bits64 a, Bits64 b) { return _mm256_and_si256(a, b); }
  static Bits64 ShiftRight(Bits64 a, int n) { return _mm256_srli_epi64(a, n); }
  // A division per window: four lanes are too few to pay for a vector one.
  static void StoreMeans(Doubles accumulators, int32_t size, int32_t* means) {
    float lanes[kLanes];
    _mm_storeu_ps(lanes, _mm256_cvtpd_ps(accumulators));
    for (int lane = 0; lane < kLanes; ++lane) {
      means[lane] = StoredMean(lanes[lane], size);
    }
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
