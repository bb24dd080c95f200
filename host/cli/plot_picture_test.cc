#include "host/cli/plot_picture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "tests/test_util.h"

namespace pellory {
namespace {

// Every column spans its samples' minimum to maximum: a square wave fills
// every column from rail to rail, a spike shows in its column, and the
// ASCII form draws the same.
TEST(PlotPictureTest, KeepsEveryPeak) {
  std::vector<int32_t> square(100000);
  for (size_t i = 0; i < square.size(); ++i) square[i] = i % 2 ? 100 : -100;
  const std::string ascii =
      TerminalPlot("w", square.data(), 100000, 10, 3, false);
  EXPECT_EQ(ascii, "w\n##########\n##########\n##########\n");
  // Columns of every length, against a straightforward scan.
  std::vector<int32_t> noise(1003);
  std::mt19937 random(3);
  for (int32_t& sample : noise) sample = static_cast<int32_t>(random());
  const std::vector<Span> columns = Envelope(noise.data(), 1003, 7);
  for (int c = 0; c < 7; ++c) {
    const auto [low, high] = std::minmax_element(
        noise.begin() + c * 1003 / 7, noise.begin() + (c + 1) * 1003 / 7);
    EXPECT_EQ(columns[static_cast<size_t>(c)].low, *low);
    EXPECT_EQ(columns[static_cast<size_t>(c)].high, *high);
  }
  std::vector<int32_t> spike(1000000, 0);
  spike[654321] = 9;
  ForEachThreadCount([&] {
    const std::vector<Span> spans = Envelope(spike.data(), 1000000, 100);
    for (size_t c = 0; c < spans.size(); ++c) {
      EXPECT_EQ(spans[c].high, c == 65 ? 9 : 0) << c;
    }
  });
  const std::string braille =
      TerminalPlot("s", spike.data(), 1000000, 50, 2, true);
  // Column 65 of 100 dot columns: the right dots of character 32, in the
  // top row (U+28B8: dots 4, 5, 6 and 8) and the bottom one.
  const size_t top_row = braille.find('\n') + 1;
  EXPECT_EQ(braille.substr(top_row + 32 * 3, 3), "\xe2\xa2\xb8");
}

// The line above the picture fits the width: the name cut first, with an
// ellipsis, then the fields least needed.
TEST(PlotPictureTest, LabelsFitTheWidth) {
  const std::vector<int32_t> square = {1000, -1000, 1000, -1000};
  const struct {
    const char* name;
    int width;
    bool unicode;
    const char* label;
  } cases[] = {
      {"sq.txt", 80, false,
       "sq.txt: samples 1 to 4; top row 1000, bottom row -1000"},
      {"sq.txt", 50, false, "sq.txt: top row 1000, bottom row -1000"},
      {"a-very-long-signal-name.txt", 50, false,
       "a-very-long-sig...: top row 1000, bottom row -1000"},
      {"sq.txt", 20, false, "sq...: 1000 to -1000"},
      {"sq.txt", 20, true, "sq.t\u2026: 1000 to -1000"},
      {"sq.txt", 17, false, "sq.txt"},
      {"sq.txt", 8, false, "sq.txt"},
      {"sq.txt", 4, true, "sq.\u2026"},
      {"sq.txt", 1, false, "s"},
  };
  for (const auto& c : cases) {
    const std::string plot =
        TerminalPlot(c.name, square.data(), 4, c.width, 1, c.unicode);
    EXPECT_EQ(plot.substr(0, plot.find('\n')), c.label) << c.width;
  }
}

}  // namespace
}  // namespace pellory
