// The step-by-step window loop at vector width, which the AVX2 and AVX-512
// window kernels share: included by each inside its target region, after
// <immintrin.h>, and instantiated with that file's vector operations, so
// everything here is local to the including file.
//
// A vector holds Ops::kLanes windows' accumulators as doubles, and
// Ops::kWindows / Ops::kLanes vectors are in flight, so that their chains of
// dependent steps overlap. A step is the definition's, lane by lane: the
// sample added in double precision, the sum rounded to single precision (to
// nearest, as a float store does) and widened back exactly. The samples are
// widened to double once per group, a stretch at a time, not once per
// window and step.
#ifndef PELLORY_PLUGINS_SMOOTH_WINDOW_MEANS_VECTOR_H_
#define PELLORY_PLUGINS_SMOOTH_WINDOW_MEANS_VECTOR_H_

#include <algorithm>
#include <cstdint>

namespace pellory {
namespace {

// Each lane rounded to single precision, to nearest with ties to even, as a
// float store rounds it, and kept as a double. Adding 1.5 * 2^(e+29), for a
// lane in the binade [2^e, 2^(e+1)), moves the lane to a binade whose
// doubles lie a float's spacing in the lane's binade apart, so the addition
// itself rounds as the float store would (the constant is an even multiple
// of that spacing, so a tie goes to the even float, for either sign), and
// subtracting the constant again is exact. Equal to converting to float and
// back wherever the float is normal, which every nonzero sum of integer
// samples is (at least 1, at most 2^62), and 0 stays 0. 2^e is the lane
// with its sign and significand bits cleared; the constant, 2^e times
// 1.5 * 2^29, is exact, so a fused multiply-add adds it with the one
// rounding wanted: the step's chain waits for one logical operation and
// two multiply-adds, less than for the two conversions.
template <typename Ops>
inline typename Ops::Doubles RoundedToFloat(typename Ops::Doubles x) {
  const auto binade = Ops::KeepExponent(x);
  const auto scale = Ops::SplatDouble(1.5 * (1 << 29));
  return Ops::NegatedMultiplyAdd(binade, scale,
                                 Ops::MultiplyAdd(binade, scale, x));
}

template <typename Ops>
void WindowMeansAtWidth(const int32_t* window, int32_t size, int32_t* means) {
  constexpr int kVectors = Ops::kWindows / Ops::kLanes;
  constexpr int32_t kStretch = 512;
  double widened[kStretch + Ops::kWindows];
  typename Ops::Doubles accumulators[kVectors];
  for (auto& accumulator : accumulators) accumulator = Ops::Zeros();
  // 64-bit: a size near 2^31 would take `start` past the 32-bit range.
  for (int64_t start = 0; start < size; start += kStretch) {
    const auto steps =
        static_cast<int32_t>(std::min<int64_t>(kStretch, size - start));
    // The samples these steps read: up to the last window's last one.
    const int32_t needed = steps + Ops::kWindows - 1;
    for (int32_t k = 0; k < needed; ++k) {
      widened[k] = static_cast<double>(window[start + k]);
    }
    for (int32_t j = 0; j < steps; ++j) {
      for (int v = 0; v < kVectors; ++v) {
        accumulators[v] = RoundedToFloat<Ops>(Ops::AddDoubles(
            accumulators[v], Ops::Load(widened + j + Ops::kLanes * v)));
      }
    }
  }
  for (int v = 0; v < kVectors; ++v) {
    Ops::StoreMeans(accumulators[v], size, means + Ops::kLanes * v);
  }
}

}  // namespace
}  // namespace pellory

#endif  // PELLORY_PLUGINS_SMOOTH_WINDOW_MEANS_VECTOR_H_
