// The straightforward filter loops, kept as the reference the plug-ins'
// faster loops are compared with bit for bit. Same parameter handling as
// the plug-ins: they are called with already-parsed, usable parameters.
#ifndef PELLORY_TESTS_REFERENCE_FILTERS_H_
#define PELLORY_TESTS_REFERENCE_FILTERS_H_

#include <cstdint>
#include <vector>

#include "plugin_api/sample_math.h"

namespace pellory::reference {

// `buffer` holds the count in element 0.
inline void Smooth(std::vector<int32_t>& buffer, int32_t size) {
  int32_t* samples = buffer.data();
  const int64_t count = samples[0];
  int64_t remaining = count;
  for (int64_t i = 1; i < count; ++i) {
    float accumulator = 0.0f;
    const bool window_fits = remaining - size >= 0;
    for (int64_t j = 0; j < size; ++j) {
      const int32_t sample = window_fits ? samples[i + j] : samples[i];
      accumulator = static_cast<float>(static_cast<double>(accumulator) +
                                       static_cast<double>(sample));
    }
    --remaining;
    accumulator = static_cast<float>(static_cast<double>(accumulator) /
                                     static_cast<double>(size));
    samples[i] = TruncateToSample(static_cast<double>(accumulator));
  }
}

inline void Echo(std::vector<int32_t>& buffer, float factor, int32_t delay) {
  int32_t* samples = buffer.data();
  const int64_t count = samples[0];
  for (int64_t source = 1; source + delay <= count; ++source) {
    const int64_t destination = source + delay;
    const float echo = static_cast<float>(static_cast<double>(samples[source]) *
                                          static_cast<double>(factor));
    samples[destination] = TruncateToSample(
        static_cast<double>(samples[destination]) + static_cast<double>(echo));
  }
}

inline void Amplify(std::vector<int32_t>& buffer, float gain) {
  int32_t* samples = buffer.data();
  for (int64_t i = 1; i <= samples[0]; ++i) {
    const float product = static_cast<float>(static_cast<double>(samples[i]) *
                                             static_cast<double>(gain));
    samples[i] = TruncateToSample(static_cast<double>(product) + 0.5);
  }
}

}  // namespace pellory::reference

#endif  // PELLORY_TESTS_REFERENCE_FILTERS_H_
