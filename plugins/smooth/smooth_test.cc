// Mirrowen.dll through the same loading seam the host uses.
#include <gtest/gtest.h>

#include <climits>

#include "tests/test_util.h"

namespace pellory {
namespace {

struct SmoothCase {
  const char* size;
  std::vector<int32_t> samples;
  std::vector<int32_t> expected;
};

TEST(SmoothTest, EachWindowIsAFreshMeanOfInputSamples) {
  const SmoothCase cases[] = {
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
  };
  for (const SmoothCase& c : cases) {
    EXPECT_EQ(ApplyFilter(kSmoothPlugin, c.samples, c.size), c.expected)
        << "size " << c.size;
  }
}

TEST(SmoothTest, LargeSamplesPassThroughTheSinglePrecisionSum) {
  constexpr int32_t k2p24 = 1 << 24;
  const SmoothCase cases[] = {
      {"1", {k2p24, -k2p24, 0}, {k2p24, -k2p24, 0}},
      {"1", {k2p24 + 1, -(k2p24 + 1), 0}, {k2p24, -k2p24, 0}},
      {"2", {INT32_MAX, INT32_MAX, 0}, {INT32_MAX, 1 << 30, 0}},
      {"2", {INT32_MIN, INT32_MIN, 0}, {INT32_MIN, -(1 << 30), 0}},
  };
  for (const SmoothCase& c : cases) {
    EXPECT_EQ(ApplyFilter(kSmoothPlugin, c.samples, c.size), c.expected)
        << "size " << c.size;
  }
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
