#include "host/sample_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>
#include <string>

namespace pellory {
namespace {

struct ParseCase {
  const char* line;
  int32_t expected;
};

const ParseCase kParseCases[] = {
    {"12", 12},
    {"-4", -4},
    {"+7", 7},
    {"12abc", 12},
    {"abc", 0},
    {"", 0},
    {" -4", -4},
    {"\t\v\f\r 5", 5},
    {"5\r", 5},
    {"0005", 5},
    {"- 5", 0},
    {"--5", 0},
    {"+-5", 0},
    {"5 6", 5},
    {"2147483647", INT32_MAX},
    {"2147483648", INT32_MAX},
    {"-2147483648", INT32_MIN},
    {"-2147483649", INT32_MIN},
    {"99999999999999999999999999", INT32_MAX},
    {"-99999999999999999999999999", INT32_MIN},
    {"00000000000000000000000042", 42},
    {"123456789012345", INT32_MAX},
    {"-123456789012345", INT32_MIN},
    {"1234567890123456", INT32_MAX},
    {"000000000000012", 12},
    {"0000000000000012", 12},
    {"00000002147483647", INT32_MAX},
    {"-00000002147483648", INT32_MIN},
    {"2147483646", 2147483646},
    {"-2147483647", -2147483647},
    {"12345678", 12345678},
    {"123456789", 123456789},
    {"-", 0},
    {"+", 0},
    {"-0", 0},
    {"12345678 ", 12345678},
    {"1234567890123456x", INT32_MAX},
    {"\xff"
     "9",
     0},
    {"9\xff", 9},
};

TEST(SampleTextTest, ParsesLinesAsSaturatingAtoi) {
  for (const ParseCase& c : kParseCases) {
    EXPECT_EQ(ParseSampleLine(c.line), c.expected) << "line '" << c.line << "'";
  }
}

TEST(SampleTextTest, WholeLineFastPathAgreesWithTheGeneralScan) {
  for (const ParseCase& c : kParseCases) {
    // A following line and read-ahead room, as inside a loader chunk.
    std::string text = std::string(c.line) + "\n77\n";
    text.append(kParseReadAhead, '7');
    const char* cursor = text.data();
    EXPECT_EQ(ParseCompleteLine(&cursor), c.expected)
        << "line '" << c.line << "'";
    EXPECT_EQ(cursor, text.data() + std::strlen(c.line) + 1) << c.line;
    EXPECT_EQ(ParseCompleteLine(&cursor), 77) << c.line;
  }
}

TEST(SampleTextTest, LineSplitAnywhereParsesTheSame) {
  for (const ParseCase& c : kParseCases) {
    const std::string line = std::string(c.line) + "\n";
    for (size_t split = 0; split <= line.size(); ++split) {
      LineValue value;
      const char* first_end = line.data() + split;
      const char* stop = value.Scan(line.data(), first_end);
      if (stop == first_end && split < line.size()) {
        stop = value.Scan(first_end, line.data() + line.size());
      }
      EXPECT_EQ(stop, line.data() + line.size() - 1) << c.line << " @" << split;
      EXPECT_EQ(value.Value(), c.expected) << c.line << " @" << split;
    }
  }
}

TEST(SampleTextTest, FormatsLikeToString) {
  std::mt19937 random(7);
  std::vector<int32_t> values = {0,  1,   -1,  9,         10,       -10,
                                 99, 100, 101, INT32_MAX, INT32_MIN};
  for (int32_t power = 1; power < 1000000000; power *= 10) {
    values.push_back(power - 1);
    values.push_back(power);
    values.push_back(-power);
  }
  for (int i = 0; i < 100000; ++i) {
    values.push_back(static_cast<int32_t>(random()));
  }
  char text[kMaxSampleText];
  for (int32_t value : values) {
    const char* start = FormatSampleBefore(value, ',', text + sizeof(text));
    EXPECT_EQ(std::string(start, static_cast<const char*>(text) + sizeof(text)),
              std::to_string(value) + ",");
  }
}

}  // namespace
}  // namespace pellory
