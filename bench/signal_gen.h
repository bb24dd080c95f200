// The two benchmark signals, generated deterministically:
//   a16: audio-like 16-bit samples (a few tones under a slow envelope, plus
//        noise), about 5.5 bytes a line;
//   u32: uniform random full-range 32-bit samples, about 11 bytes a line.
#ifndef PELLORY_BENCH_SIGNAL_GEN_H_
#define PELLORY_BENCH_SIGNAL_GEN_H_

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace pellory::bench {

// A sample buffer: element 0 holds the count.
inline std::vector<int32_t> AudioLike16(int64_t count, uint32_t seed = 1) {
  std::mt19937 random(seed);
  std::normal_distribution<double> noise(0.0, 300.0);
  std::vector<int32_t> buffer(static_cast<size_t>(count) + 1);
  buffer[0] = static_cast<int32_t>(count);
  constexpr double kTwoPi = 6.283185307179586;
  for (int64_t i = 1; i <= count; ++i) {
    const double t = static_cast<double>(i) / 48000.0;
    const double envelope = 0.55 + 0.45 * std::sin(kTwoPi * 0.25 * t);
    double value = 6000.0 * std::sin(kTwoPi * 220.0 * t) +
                   3000.0 * std::sin(kTwoPi * 659.0 * t) +
                   1500.0 * std::sin(kTwoPi * 1870.0 * t);
    value = value * envelope + noise(random);
    value = std::fmax(-32768.0, std::fmin(32767.0, value));
    buffer[static_cast<size_t>(i)] = static_cast<int32_t>(value);
  }
  return buffer;
}

inline std::vector<int32_t> Uniform32(int64_t count, uint32_t seed = 2) {
  std::mt19937 random(seed);
  std::vector<int32_t> buffer(static_cast<size_t>(count) + 1);
  buffer[0] = static_cast<int32_t>(count);
  for (int64_t i = 1; i <= count; ++i) {
    buffer[static_cast<size_t>(i)] = static_cast<int32_t>(random());
  }
  return buffer;
}

// The signal file holding `buffer`.
inline std::string SignalFileText(const std::vector<int32_t>& buffer) {
  std::string text;
  text.reserve(buffer.size() * 12);
  for (int32_t value : buffer) {
    text += std::to_string(value);
    text += '\n';
  }
  return text;
}

}  // namespace pellory::bench

#endif  // PELLORY_BENCH_SIGNAL_GEN_H_
