#include "host/cli/info.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "tests/test_util.h"

namespace pellory {
namespace {

// Mean and rms correctly rounded at the limits of the format; random
// signals agree with straightforward sums on every thread count.
TEST(InfoTest, FiguresAreExact) {
  const struct {
    std::vector<int32_t> samples;
    const char* mean;
    const char* rms;
  } cases[] = {
      {{INT32_MAX, INT32_MAX, INT32_MAX, INT32_MIN},
       "1073741823.250000",
       "2147483647.250000"},
      {{INT32_MIN, INT32_MIN, INT32_MIN},
       "-2147483648.000000",
       "2147483648.000000"},
      {{-1, -2}, "-1.500000", "1.581139"},
      {{1, 0, 0}, "0.3333333", "0.5773503"},
      {{0, 0, 0, 0, 0, 0, 0, 1}, "0.1250000", "0.3535534"},
  };
  for (const auto& c : cases) {
    const std::string text = SummaryText(
        "x",
        Summarize(c.samples.data(), static_cast<int64_t>(c.samples.size())));
    EXPECT_NE(
        text.find(std::string("\nmean: ") + c.mean + "\nrms: " + c.rms + "\n"),
        std::string::npos)
        << text;
  }
  EXPECT_EQ(SummaryText("e", Summarize(nullptr, 0)),
            "file: e\nsamples: 0\nmin: -\nmax: -\nmean: -\nrms: -\n"
            "at limits: 0\n\n");
  std::mt19937 random(11);
  std::vector<int32_t> samples(300000);
  for (int32_t& sample : samples) sample = static_cast<int32_t>(random());
  samples[123] = INT32_MIN;
  int64_t sum = 0;
  long double squares = 0;
  for (const int32_t sample : samples) {
    sum += sample;
    squares += static_cast<long double>(sample) * sample;
  }
  ForEachThreadCount([&] {
    const SignalSummary summary = Summarize(samples.data(), 300000);
    EXPECT_EQ(summary.sum, sum);
    EXPECT_EQ(summary.min, INT32_MIN);
    EXPECT_EQ(summary.at_limits, 1);
    const long double whole = static_cast<long double>(summary.squares_high) *
                                  18446744073709551616.0L +
                              summary.squares_low;
    EXPECT_LT(std::abs(whole - squares) / squares, 1e-15L);
  });
}

}  // namespace
}  // namespace pellory
