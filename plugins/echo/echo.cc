// Quillet.dll: adds to each sample the sample `delay` positions earlier,
// scaled by `factor`, front to back, so that echoes are echoed again.
#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>

#if defined(__x86_64__) || defined(__i386__)
#include <smmintrin.h>
#endif

#include "plugin_api/cpu_features.h"
#include "plugin_api/filter_plugin.h"
#include "plugin_api/sample_math.h"
#include "plugins/echo/echo.h"

namespace {

// The echo of `source`: the product in double precision, stored in single.
float EchoOf(int32_t source, float factor) {
  return static_cast<float>(static_cast<double>(source) *
                            static_cast<double>(factor));
}

#if defined(__x86_64__) || defined(__i386__)
// Delay 1 is one chain of dependent steps, each needing the sample the step
// before wrote, so its speed is the chain's latency. Here the previous
// result stays in a register instead of a store and a reload, and stays a
// double: clamped, then truncated with SSE4.1's round toward zero, it never
// goes through an integer register on the chain; its integer form is stored
// beside it. Branch-free, for data that saturates often.
__attribute__((target("sse4.1"))) void EchoDelayOneSse41(int32_t* samples,
                                                         int64_t count,
                                                         float factor) {
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
#endif

// The `delay` sources before a block of destinations are final before the
// block starts, and no destination of the block is a source of it: each
// block is a plain loop the compiler vectorises.
void EchoInBlocks(int32_t* samples, int64_t count, float factor,
                  int32_t delay) {
  for (int64_t first = 1; first + delay <= count; first += delay) {
    const int64_t length = std::min<int64_t>(delay, count - delay - first + 1);
    const int32_t* __restrict sources = samples + first;
    int32_t* __restrict destinations = samples + first + delay;
    for (int64_t j = 0; j < length; ++j) {
      const double sum = static_cast<double>(destinations[j]) +
                         static_cast<double>(EchoOf(sources[j], factor));
      destinations[j] = pellory::TruncateToSample(sum);
    }
  }
}

}  // namespace

namespace pellory {

bool ReadEchoParameters(const std::string& parameter_text, float* factor,
                        int32_t* delay) {
  std::istringstream inputvalues(parameter_text);
  char token;  // the separator; whatever it is, it is not examined
  if (!(inputvalues >> *factor >> token >> *delay)) return false;
  // A delay of 0 would make each sample its own echo, a negative one would
  // reach before the first sample: neither is an echo, so nothing changes.
  return std::isfinite(*factor) && *delay >= 1;
}

}  // namespace pellory

std::string Parameters_Echo() {
  return "Parameters: factor - a float, delay - an integer";
}

void Filter_Echo(int32_t* samples, std::string parameter_text) {
  float factor;
  int32_t delay;
  if (!pellory::ReadEchoParameters(parameter_text, &factor, &delay)) return;

  // The first source is sample 1; echoes whose destination lies beyond the
  // last sample are dropped, so with fewer than two samples there is none
  // (and sample 1 may not even exist).
  const int64_t count = samples[0];
  if (count - delay < 1) return;
#if defined(__x86_64__) || defined(__i386__)
  if (delay == 1 && pellory::HasSse41()) {
    EchoDelayOneSse41(samples, count, factor);
    return;
  }
#endif
  EchoInBlocks(samples, count, factor, delay);
}
