// Window kernels: Smooth's step-by-step path, which takes the means of a
// group of consecutive windows exactly as the definition does, in one path
// per instruction set. The plain path (smooth.cc) is the reference every
// other path must equal bit for bit; the fastest the processor has is
// chosen once per process.
//
// On full-range samples every window needs the step-by-step sum: 128
// windows at a time with AVX-512, 48 with AVX2, 8 without, each step
// rounded to single precision by adding and taking away 1.5 * 2^(e+29)
// (e the sum's binade) with two fused multiply-adds.
#ifndef PELLORY_PLUGINS_SMOOTH_WINDOW_MEANS_H_
#define PELLORY_PLUGINS_SMOOTH_WINDOW_MEANS_H_

#include <cstdint>
#include <span>

#include "cpu/processor.h"
#include "plugin_api/sample_math.h"

namespace pellory {

// Stores into means[0..windows-1] the means of the `windows` windows of
// `size` samples that start at window[0..windows-1], step by step: each
// sample added to a single-precision accumulator in double precision, the
// total divided by `size` in double precision, stored in single precision
// and truncated. `means` may be `window` itself: every sample is read
// before any mean is written.
using WindowKernel = void (*)(const int32_t* window, int32_t size,
                              int32_t* means);

struct WindowPath {
  const char* name;
  InstructionSet needs;
  int windows;  // the group a call takes
  WindowKernel means;
};

// Every path of this build, the widest first, the plain one last.
std::span<const WindowPath* const> WindowPaths();

// The fastest path the processor has.
const WindowPath& ChosenWindowPath();

// One step of the accumulator: add in double precision, store in single.
inline float Accumulate(float accumulator, double sample) {
  return static_cast<float>(static_cast<double>(accumulator) + sample);
}

// The sample stored for a window whose accumulator ends at `accumulator`.
inline int32_t StoredMean(float accumulator, int32_t size) {
  const float mean = static_cast<float>(static_cast<double>(accumulator) /
                                        static_cast<double>(size));
  return TruncateToSample(static_cast<double>(mean));
}

// The paths (window_means_<set>.cc).
extern const WindowPath kWindowsAvx2;
extern const WindowPath kWindowsAvx512;

}  // namespace pellory

#endif  // PELLORY_PLUGINS_SMOOTH_WINDOW_MEANS_H_
