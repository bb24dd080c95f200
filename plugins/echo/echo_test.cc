// Quillet.dll through the same loading seam the host uses.
#include <gtest/gtest.h>

#include <climits>

#include "tests/test_util.h"

namespace pellory {
namespace {

struct EchoCase {
  const char* parameters;
  std::vector<int32_t> samples;
  std::vector<int32_t> expected;
};

TEST(EchoTest, EchoesRecurFromTheFirstSample) {
  const EchoCase cases[] = {
      {"0.5,2", {100, 0, 0, 0, 0, 0, 0}, {100, 0, 50, 0, 25, 0, 12}},
      {"0.5,1", {100, 0, 0, 0}, {100, 50, 25, 12}},
      {"0.25,3", {8, 8, 8, 8, 8, 8}, {8, 8, 8, 10, 10, 10}},
      // Truncation toward zero on both signs.
      {"0.5,1", {3, 0}, {3, 1}},
      {"0.5,1", {-3, 0}, {-3, -1}},
      {"0.5,1", {1, 0}, {1, 0}},
      {"0.5,1", {1, 7}, {1, 7}},
      {"0.5,1", {-1, -7}, {-1, -7}},
      {"0,1", {9, -9, 9}, {9, -9, 9}},
      {"1;1", {1, 1, 1, 1}, {1, 2, 3, 4}},
      // The separator is not examined.
      {"1 x 2", {5, 0, 0}, {5, 0, 5}},
      // Echoes past the last sample are dropped; delay N or more changes
      // nothing.
      {"1,3", {1, 2, 3}, {1, 2, 3}},
      {"1,2147483647", {1, 2, 3}, {1, 2, 3}},
  };
  for (const EchoCase& c : cases) {
    EXPECT_EQ(ApplyFilter(kEchoPlugin, c.samples, c.parameters), c.expected)
        << c.parameters;
  }
}

TEST(EchoTest, SaturatesAtTheLimits) {
  const EchoCase cases[] = {
      {"1,1", {INT32_MAX, INT32_MAX, 5}, {INT32_MAX, INT32_MAX, INT32_MAX}},
      {"1,1", {INT32_MIN, INT32_MIN}, {INT32_MIN, INT32_MIN}},
      {"1e30,1", {2, 0, 0}, {2, INT32_MAX, INT32_MAX}},
      {"-1e30,1", {2, 0, 0}, {2, INT32_MIN, INT32_MAX}},
  };
  for (const EchoCase& c : cases) {
    EXPECT_EQ(ApplyFilter(kEchoPlugin, c.samples, c.parameters), c.expected)
        << c.parameters;
  }
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
