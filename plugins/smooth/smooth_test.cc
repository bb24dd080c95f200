// Mirrowen.dll through the same loading seam the host uses.
#include "plugins/smooth/smooth.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>

#include "plugin_api/sample_math.h"
#include "tests/reference_filters.h"
#include "tests/test_util.h"

namespace pellory {
namespace {

TEST(SmoothTest, EachWindowIsAFreshMeanOfInputSamples) {
  ExpectFilterCases(
      kSmoothPlugin,
      {
          {"3", {10, 20, 30, 40, 50, 60}, {20, 30, 40, 50, 50, 60}},
          {"1", {10, 20, 30, 40, 50, 60}, {10, 20, 30, 40, 50, 60}},
          {"2", {7, 7, 7, 7}, {7, 7, 7, 7}},
          // Truncation toward zero: 20.9 stores 20, -20.9 stores -20.
          {"10",
           {209, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5},
           {20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5}},
          {"10",
           {-209, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5},
           {-20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5}},
          // Windows past the end repeat sample i itself.
          {"4", {1, 2, 3, 4, 5}, {2, 3, 3, 4, 5}},
          {"100", {3, -8, 9}, {3, -8, 9}},
          // The last sample never changes; N 0 and 1 change nothing.
          {"2", {1, 100}, {50, 100}},
          {"2", {5}, {5}},
          {"2", {}, {}},
      });
}

TEST(SmoothTest, LargeSamplesPassThroughTheSinglePrecisionSum) {
  constexpr int32_t k2p24 = 1 << 24;
  ExpectFilterCases(
      kSmoothPlugin,
      {
          {"1", {k2p24, -k2p24, 0}, {k2p24, -k2p24, 0}},
          {"1", {k2p24 + 1, -(k2p24 + 1), 0}, {k2p24, -k2p24, 0}},
          {"2", {INT32_MAX, INT32_MAX, 0}, {INT32_MAX, 1 << 30, 0}},
          {"2", {INT32_MIN, INT32_MIN, 0}, {INT32_MIN, -(1 << 30), 0}},
      });
}

TEST(SmoothTest, UnusableSizesLeaveTheSignalUnchanged) {
  const std::vector<int32_t> samples = {4, 8, 15, 16, 23, 42};
  for (const char* size :
       {"0", "-1", "-2147483648", "", "abc", "99999999999"}) {
    EXPECT_EQ(ApplyFilter(kSmoothPlugin, samples, size), samples)
        << "'" << size << "'";
  }
}

TEST(SmoothTest, Description) {
  EXPECT_EQ(DescribePlugin(kSmoothPlugin), "Parameters; size - an integer");
}

}  // namespace
}  // namespace pellory

namespace pellory {
namespace {

// Signals whose window sums cross +-2^24 in both directions: quiet and loud
// stretches, full-range noise, long constant runs, and sudden sign flips.
std::vector<int32_t> CrossingSignal(std::mt19937& random, size_t count) {
  std::vector<int32_t> samples;
  while (samples.size() < count) {
    const size_t run = 1 + random() % 300;
    const int kind = static_cast<int>(random() % 6);
    const int32_t constant = static_cast<int32_t>(random());
    for (size_t i = 0; i < run && samples.size() < count; ++i) {
      int32_t value = 0;
      switch (kind) {
        case 0:
          value = static_cast<int32_t>(random() % 2001) - 1000;
          break;
        case 1:
          value = static_cast<int32_t>(random() % (1 << 22)) - (1 << 21);
          break;
        case 2:
          value = static_cast<int32_t>(random() % (1 << 20)) + (1 << 19);
          break;
        case 3:
          value = -static_cast<int32_t>(random() % (1 << 20)) - (1 << 19);
          break;
        case 4:
          value = static_cast<int32_t>(random());
          break;
        default:
          value = constant >> (random() % 2 == 0 ? 0 : 12);
          break;
      }
      samples.push_back(value);
    }
  }
  return samples;
}

TEST(SmoothTest, BitIdenticalToTheStepByStepLoop) {
  std::mt19937 random(2024);
  for (int round = 0; round < 62; ++round) {
    const size_t count = 1 + random() % 3000;
    std::vector<int32_t> samples = CrossingSignal(random, count);
    // Means at the limits, which saturate (a sum of INT32_MAX rounds up).
    if (round >= 60) samples.assign(count, round == 60 ? INT32_MAX : INT32_MIN);
    const int32_t sizes[] = {1,
                             2,
                             3,
                             7,
                             31,
                             32,
                             64,
                             65,
                             257,
                             static_cast<int32_t>(count) - 1,
                             static_cast<int32_t>(count),
                             static_cast<int32_t>(count) + 1,
                             static_cast<int32_t>(1 + random() % 6000)};
    for (int32_t size : sizes) {
      if (size < 1) continue;
      std::vector<int32_t> expected = samples;
      expected.insert(expected.begin(), static_cast<int32_t>(count));
      reference::Smooth(expected, size);
      expected.erase(expected.begin());
      ForEachPath(WindowPaths(), [&](const WindowPath& path) {
        std::vector<int32_t> smoothed = samples;
        smoothed.insert(smoothed.begin(), static_cast<int32_t>(count));
        SmoothWith(smoothed.data(), size, path);
        smoothed.erase(smoothed.begin());
        ASSERT_EQ(smoothed, expected) << "round " << round << " size " << size;
      });
    }
  }
}

// The step-by-step repeated sum with one shortcut of its own: a step that
// adds nothing will add nothing again, so the loop may stop there.
float RepeatedSumUntilFixed(int32_t sample, int64_t times) {
  float accumulator = 0.0f;
  for (int64_t k = 0; k < times; ++k) {
    const float next = static_cast<float>(static_cast<double>(accumulator) +
                                          static_cast<double>(sample));
    if (next == accumulator) break;
    accumulator = next;
  }
  return accumulator;
}

TEST(SmoothTest, HugeWindowsPastTheEndStayExactAndQuick) {
  const int32_t size = INT32_MAX;
  const std::vector<int32_t> samples = {
      1,        -1,        3,         7,         1000001,    -16777217,
      33554433, 123456789, INT32_MAX, INT32_MIN, -987654321, 5};
  std::vector<int32_t> expected;
  for (size_t i = 0; i + 1 < samples.size(); ++i) {
    const float sum = RepeatedSumUntilFixed(samples[i], size);
    const float mean = static_cast<float>(static_cast<double>(sum) / size);
    expected.push_back(TruncateToSample(static_cast<double>(mean)));
  }
  expected.push_back(samples.back());
  EXPECT_EQ(ApplyFilter(kSmoothPlugin, samples, std::to_string(size)),
            expected);
}

}  // namespace
}  // namespace pellory
