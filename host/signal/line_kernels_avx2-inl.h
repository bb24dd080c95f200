// The AVX2 conversion of two lines at once, which the AVX2 and the AVX-512
// line kernels share: included by each inside its target region, after
// <immintrin.h>, so that each compiles it for its own instruction set.
// Everything here is local to the including file.
#ifndef PELLORY_HOST_SIGNAL_LINE_KERNELS_AVX2_INL_H_
#define PELLORY_HOST_SIGNAL_LINE_KERNELS_AVX2_INL_H_

#include <climits>
#include <cstdint>

#include "host/signal/line_kernels_sse41-inl.h"

namespace pellory {
namespace {

// kSignLanes[negative]: all ones where a negative line's value is negated.
constexpr ByteVector kSignLanes[2] = {Splat(0), Splat(0xFF)};

inline __m256i Load256(const char* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// Two lines at once, as VectorLineValue reads one: the first in the low
// 128 bits, the second in the high. False when either is of another shape.
inline bool VectorLinePairValues(const char* first, const char* first_end,
                                 const char* second, const char* second_end,
                                 int32_t* values) {
  const auto first_length = static_cast<size_t>(first_end - first);
  const auto second_length = static_cast<size_t>(second_end - second);
  if ((first_length | second_length) > 16) return false;
  const bool first_negative = *first == '-';
  const bool second_negative = *second == '-';
  const size_t first_count = first_length - (first_negative || *first == '+');
  const size_t second_count =
      second_length - (second_negative || *second == '+');
  const __m256i text = _mm256_inserti128_si256(
      _mm256_castsi128_si256(
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(first_end - 16))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(second_end - 16)), 1);
  const __m256i digits = _mm256_sub_epi8(text, _mm256_set1_epi8('0'));
  const __m256i beyond_nine = _mm256_subs_epu8(digits, _mm256_set1_epi8(9));
  const __m256i wanted = _mm256_inserti128_si256(
      _mm256_castsi128_si256(Load(kTopBytes[first_count])),
      Load(kTopBytes[second_count]), 1);
  if (_mm256_testz_si256(beyond_nine, wanted) == 0) return false;
  // As VectorLineValue combines them (weights 10 and 1, 100 and 1, 10000
  // and 1), from 256-bit constants, which 32-bit code folds into the
  // instructions instead of widening each.
  const __m256i kept = _mm256_and_si256(digits, wanted);
  const __m256i pairs = _mm256_maddubs_epi16(kept, _mm256_set1_epi16(0x010a));
  const __m256i fours = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00010064));
  const __m256i eights = _mm256_madd_epi16(_mm256_packus_epi32(fours, fours),
                                           _mm256_set1_epi32(0x00012710));
  // Each line's magnitude, exact in the low 64-bit lane of its half, then
  // saturated and signed there: no lane leaves the vector until it is done.
  const __m256i magnitudes =
      _mm256_add_epi64(_mm256_mul_epu32(eights, _mm256_set1_epi64x(100000000)),
                       _mm256_srli_epi64(eights, 32));
  const __m256i negative = _mm256_inserti128_si256(
      _mm256_castsi128_si256(Load(kSignLanes[first_negative])),
      Load(kSignLanes[second_negative]), 1);
  const __m256i limits =
      _mm256_sub_epi64(_mm256_set1_epi64x(INT32_MAX), negative);
  const __m256i capped = _mm256_blendv_epi8(
      magnitudes, limits, _mm256_cmpgt_epi64(magnitudes, limits));
  const __m256i signed_values =
      _mm256_sub_epi64(_mm256_xor_si256(capped, negative), negative);
  _mm_storel_epi64(
      reinterpret_cast<__m128i*>(values),
      _mm_unpacklo_epi32(_mm256_castsi256_si128(signed_values),
                         _mm256_extracti128_si256(signed_values, 1)));
  return true;
}

}  // namespace
}  // namespace pellory

#endif  // PELLORY_HOST_SIGNAL_LINE_KERNELS_AVX2_INL_H_
