// Quillet.dll through the same loading seam the host uses.
#include "plugins/echo/echo.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <sstream>

#include "tests/reference_filters.h"
#include "tests/test_util.h"

namespace pellory {
namespace {

TEST(EchoTest, EchoesRecurFromTheFirstSample) {
  ExpectFilterCases(
      kEchoPlugin,
      {
          {"0.5,2", {100, 0, 0, 0, 0, 0, 0}, {100, 0, 50, 0, 25, 0, 12}},
          {"0.5,1", {100, 0, 0, 0}, {100, 50, 25, 12}},
          {"0.25,3", {8, 8, 8, 8, 8, 8}, {8, 8, 8, 10, 10, 10}},
          // Truncation toward zero on both signs.
          {"0.5,1", {3, 0}, {3, 1}},
          {"0.5,1", {-3, 0}, {-3, -1}},
          {"0.5,1", {1, 0}, {1, 0}},
          {"0.5,1", {1, 7}, {1, 7}},
          // One sample has no echo; nothing past it may even be read.
          {"0.5,1", {5}, {5}},
          {"0.5,1", {-1, -7}, {-1, -7}},
          {"0,1", {9, -9, 9}, {9, -9, 9}},
          {"1;1", {1, 1, 1, 1}, {1, 2, 3, 4}},
          // The separator is not examined.
          {"1 x 2", {5, 0, 0}, {5, 0, 5}},
          // Echoes past the last sample are dropped; delay N or more changes
          // nothing.
          {"1,3", {1, 2, 3}, {1, 2, 3}},
          {"1,2147483647", {1, 2, 3}, {1, 2, 3}},
      });
}

TEST(EchoTest, SaturatesAtTheLimits) {
  ExpectFilterCases(
      kEchoPlugin,
      {
          {"1,1", {INT32_MAX, INT32_MAX, 5}, {INT32_MAX, INT32_MAX, INT32_MAX}},
          {"1,1", {INT32_MIN, INT32_MIN}, {INT32_MIN, INT32_MIN}},
          {"1e30,1", {2, 0, 0}, {2, INT32_MAX, INT32_MAX}},
          {"-1e30,1", {2, 0, 0}, {2, INT32_MIN, INT32_MAX}},
      });
}

TEST(EchoTest, UnusableParametersLeaveTheSignalUnchanged) {
  const std::vector<int32_t> samples = {4, 8, 15, 16, 23, 42};
  for (const char* parameters :
       {"0.5,0", "0.5,-1", "0.5,-2147483648", "", "abc", "0.5", "0.5,", "0.5,x",
        ",2", "1e99,1", "0.5,99999999999"}) {
    EXPECT_EQ(ApplyFilter(kEchoPlugin, samples, parameters), samples)
        << "'" << parameters << "'";
  }
}

TEST(EchoTest, EmptySignalAndDescription) {
  EXPECT_EQ(ApplyFilter(kEchoPlugin, {}, "0.5,1"), std::vector<int32_t>{});
  EXPECT_EQ(DescribePlugin(kEchoPlugin),
            "Parameters: factor - a float, delay - an integer");
}

}  // namespace
}  // namespace pellory

namespace pellory {
namespace {

TEST(EchoTest, BitIdenticalToTheStraightforwardLoop) {
  std::mt19937 random(77);
  const float factors[] = {0.5f, 0.25f,      1.0f,   0.0f, 0.999f,
                           0.1f, 0.3333333f, -0.75f, 3.0f, 1e-7f};
  for (int round = 0; round < 40; ++round) {
    const size_t count = random() % 2500;
    std::vector<int32_t> samples(count);
    const int shift = static_cast<int>(random() % 24);
    for (int32_t& sample : samples) {
      sample = static_cast<int32_t>(random()) >> shift;
    }
    const float factor = factors[round % std::size(factors)];
    for (int32_t delay : {1, 2, 3, 7, 8, 9, 64, 100, 2499, 2500}) {
      std::vector<int32_t> expected = samples;
      expected.insert(expected.begin(), static_cast<int32_t>(count));
      reference::Echo(expected, factor, delay);
      expected.erase(expected.begin());
      ForEachPath(EchoPaths(), [&](const EchoPath& path) {
        std::vector<int32_t> echoed = samples;
        echoed.insert(echoed.begin(), static_cast<int32_t>(count));
        EchoWith(echoed.data(), factor, delay, path);
        echoed.erase(echoed.begin());
        ASSERT_EQ(echoed, expected)
            << factor << ',' << delay << " round " << round;
      });
    }
  }
}

}  // namespace
}  // namespace pellory
