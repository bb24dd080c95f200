// Mirrowen.dll: replaces each sample but the last by the mean of the `size`
// samples from it onwards.
#include <sstream>
#include <string>

#include "plugin_api/filter_plugin.h"
#include "plugin_api/sample_math.h"

std::string Parameters_Smooth() { return "Parameters; size - an integer"; }

void Filter_Smooth(int32_t* samples, std::string parameters) {
  std::istringstream inputvalues(parameters);
  int32_t size;
  // Size 0 has no mean and a negative size would zero the signal: both,
  // like a text without an integer, leave the samples unchanged.
  if (!(inputvalues >> size) || size < 1) return;

  const int64_t count = samples[0];
  int64_t remaining = count;  // samples from position i to the end
  for (int64_t i = 1; i < count; ++i) {
    // Each window starts from 0: a mean carries nothing from its neighbour.
    float accumulator = 0.0f;
    // A window that would run past the end repeats sample i instead.
    const bool window_fits = remaining - size >= 0;
    for (int64_t j = 0; j < size; ++j) {
      const int32_t sample = window_fits ? samples[i + j] : samples[i];
      accumulator = static_cast<float>(static_cast<double>(accumulator) +
                                       static_cast<double>(sample));
    }
    --remaining;
    accumulator = static_cast<float>(static_cast<double>(accumulator) /
                                     static_cast<double>(size));
    samples[i] = pellory::TruncateToSample(static_cast<double>(accumulator));
  }
}
