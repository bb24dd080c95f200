// Tarrock.dll through the same loading seam the host uses.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <random>

#include "plugin_api/filter_plugin.h"
#include "tests/reference_filters.h"
#include "tests/test_util.h"

namespace pellory {
namespace {

TEST(AmplifyTest, RoundsHalfUpAfterTheSinglePrecisionProduct) {
  constexpr int32_t k2p24 = 1 << 24;
  constexpr int32_t k2p23 = 1 << 23;
  ExpectFilterCases(
      kAmplifyPlugin,
      {
          {"1.5", {10, -10, 3, -3, 7, -7}, {15, -14, 5, -4, 11, -10}},
          // Gain 1: negative samples rise by one (-10 + 0.5 truncates to -9).
          {"1", {0, 1, 5, -1, -10}, {0, 1, 5, 0, -9}},
          // Beyond 2^24 the float product loses the low bit.
          {"1", {k2p24 + 1, -(k2p24 + 1)}, {k2p24, -(k2p24 - 1)}},
          // The 0.5 is added in double precision: a float sum would round up.
          {"1", {k2p23 + 1}, {k2p23 + 1}},
          {"0.5", {5, -5, 3, -3, -1}, {3, -2, 2, -1, 0}},
          {"0.1", {-3, -24, -25, -26, 4}, {0, -1, -2, -2, 0}},
          {"0", {7, -7, INT32_MAX}, {0, 0, 0}},
          {"not a number", {7, -7}, {0, 0}},
          {"  2.5e0xyz", {2}, {5}},
          {"-1", {3, -3}, {-2, 3}},
      });
}

TEST(AmplifyTest, SaturatesInsteadOfOverflowing) {
  ExpectFilterCases(
      kAmplifyPlugin,
      {
          {"10",
           {INT32_MAX, INT32_MIN, 300000000, -300000000},
           {INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN}},
          // -2^31 + 0.5 truncates to -2^31 + 1, as every negative sample rises.
          {"1", {INT32_MAX, INT32_MIN}, {INT32_MAX, INT32_MIN + 1}},
          {"1e300", {1, -1, 0}, {INT32_MAX, INT32_MIN, 0}},
          // A gain beyond the float range is infinite; 0 times it has no
          // value: 0.
          {"1e39", {1, -1}, {INT32_MAX, INT32_MIN}},
          {"1e39", {0}, {0}},
          // Read as atof reads, on every platform: these are not numbers.
          {"inf", {1, -1}, {0, 0}},
          {"nan", {5, -5}, {0, 0}},
          {"0x10", {5}, {0}},
      });
}

TEST(AmplifyTest, EmptySignalAndDescription) {
  EXPECT_EQ(ApplyFilter(kAmplifyPlugin, {}, "3"), std::vector<int32_t>{});
  EXPECT_EQ(DescribePlugin(kAmplifyPlugin),
            "Parameters; gain, a float in the range 1-10");
}

}  // namespace
}  // namespace pellory

namespace pellory {
namespace {

TEST(AmplifyTest, BitIdenticalToTheStraightforwardLoop) {
  std::mt19937 random(5);
  const char* gains[] = {"2.5", "1",    "0.5",   "1.5",  "10",    "-3.25",
                         "0.1", "1e10", "-1e-3", "1e39", "-1e39", "7.77777"};
  for (const char* gain : gains) {
    std::vector<int32_t> samples(3000);
    for (int32_t& sample : samples) {
      sample = static_cast<int32_t>(random()) >> (random() % 32);
    }
    std::vector<int32_t> expected = samples;
    expected.insert(expected.begin(), static_cast<int32_t>(samples.size()));
    reference::Amplify(expected,
                       static_cast<float>(std::strtod(gain, nullptr)));
    expected.erase(expected.begin());
    EXPECT_EQ(ApplyFilter(kAmplifyPlugin, samples, gain), expected) << gain;
    ForEachThreadCount([&] {
      std::vector<int32_t> amplified = samples;
      amplified.insert(amplified.begin(), static_cast<int32_t>(samples.size()));
      Filter_Amplify(amplified.data(), gain);
      amplified.erase(amplified.begin());
      EXPECT_EQ(amplified, expected) << gain;
    });
  }
}

}  // namespace
}  // namespace pellory
