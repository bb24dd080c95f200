// Quillet's delay-1 chain with SSE4.1. The chain's speed is its latency:
// here the previous result stays in a register instead of a store and a
// reload, and stays a double: clamped, then truncated with SSE4.1's round
// toward zero, it never goes through an integer register on the chain; its
// integer form is stored beside it. Branch-free, for data that saturates
// often.
#include <smmintrin.h>

#include <cstdint>

#include "plugins/echo/echo_kernels.h"

PELLORY_BEGIN_TARGET("sse4.1")

namespace pellory {
namespace {

void EchoChainSse41(int32_t* samples, int64_t count, float factor) {
  const __m128d lowest = _mm_set_sd(-2147483648.0);
  const __m128d highest = _mm_set_sd(2147483647.0);
  const double wide_factor = static_cast<double>(factor);
  double previous = static_cast<double>(samples[1]);
  for (int64_t destination = 2; destination <= count; ++destination) {
    const float echo = static_cast<float>(previous * wide_factor);
    __m128d sum = _mm_set_sd(static_cast<double>(samples[destination]) +
                             static_cast<double>(echo));
    sum = _mm_min_sd(_mm_max_sd(sum, lowest), highest);
    sum = _mm_round_sd(sum, sum, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
    previous = _mm_cvtsd_f64(sum);
    samples[destination] = _mm_cvttsd_si32(sum);
  }
}

}  // namespace

const EchoPath kEchoSse41 = {"sse4.1", InstructionSet::kSse41, EchoChainSse41};

}  // namespace pellory

PELLORY_END_TARGET
