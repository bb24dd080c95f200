#include "host/signal/signal_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <random>
#include <string>

#include "tests/test_util.h"

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

// Parses `text` fed as the chunks [0, split) and [split, size).
std::vector<int32_t> Parse(const std::string& text, size_t split) {
  Signal signal;
  SignalParser parser(&signal);
  std::string err;
  EXPECT_TRUE(parser.Feed(text.data(), split, &err)) << err;
  EXPECT_TRUE(parser.Feed(text.data() + split, text.size() - split, &err));
  EXPECT_TRUE(parser.Finish(&err)) << err;
  if (signal.data() == nullptr) return {};
  return std::vector<int32_t>(signal.data(),
                              signal.data() + signal.SampleCount() + 1);
}

// Each line among many others, so that the whole-line paths meet it at
// every offset from a 64-byte block and after "\n" and "\r\n" lines; and,
// between two short lines, fed in two chunks split at every byte, where
// the general scan takes over.
TEST(SignalTextTest, ParsesLinesAsSaturatingAtoiWhereverLinesAndChunksFall) {
  ForEachLinePath([] {
    constexpr int32_t kCount = 200;
    for (const ParseCase& c : kParseCases) {
      for (const char* separator : {"\n", "\r\n"}) {
        for (int padding = 2; padding < 2 + 64; ++padding) {
          // `padding` bytes of lines before the case: "77" once if odd.
          std::string text = std::to_string(kCount) + separator;
          std::vector<int32_t> expected = {kCount};
          for (int left = padding; left > 0;) {
            const bool odd = left % 2 == 1;
            text += odd ? "77\n" : "7\n";
            expected.push_back(odd ? 77 : 7);
            left -= odd ? 3 : 2;
          }
          text += std::string(c.line) + "\n";
          expected.push_back(c.expected);
          while (expected.size() < kCount + 1) {
            text += std::string("-22") + separator;
            expected.push_back(-22);
          }
          EXPECT_EQ(Parse(text, text.size()), expected)
              << "line '" << c.line << "' after " << padding;
        }
      }
      const std::string text =
          "3\n11\n" + std::string(c.line) + "\n-22\n" + std::string(40, '9');
      const std::vector<int32_t> expected = {3, 11, c.expected, -22};
      for (size_t split = 0; split <= text.size(); ++split) {
        EXPECT_EQ(Parse(text, split), expected) << c.line << " @" << split;
      }
    }
  });
}

// `units` (ASCII, and "\x01\x31" for the letter U+0131, whose low byte is
// a digit's) in code units of `width` bytes after its byte-order mark.
std::string CodeUnits(std::string_view units, size_t width, bool little) {
  std::string text;
  for (size_t i = 0; i <= units.size(); ++i) {
    const bool mark = i == 0;
    const bool letter = !mark && units[i - 1] == '\x01';
    const uint32_t unit = mark     ? 0xFEFF
                          : letter ? 0x100 | static_cast<uint8_t>(units[i++])
                                   : static_cast<uint8_t>(units[i - 1]);
    for (size_t k = 0; k < width; ++k) {
      text += static_cast<char>(unit >> 8 * (little ? k : width - 1 - k));
    }
  }
  return text;
}

// Texts as editors save them, with a byte-order mark, fed in two chunks
// split at every byte: the same numbers as without it. A count line with
// NUL bytes is a text without its mark, refused (nullopt).
TEST(SignalTextTest, ByteOrderMarksAreNotPartOfTheText) {
  const std::string units = "4\r\n1\r\n-2\r\n\x01\x31\x35\r\n3\r\n";
  const std::vector<int32_t> numbers = {4, 1, -2, 0, 3};
  const struct {
    std::string text;
    std::optional<std::vector<int32_t>> expected;
  } cases[] = {
      {"\xEF\xBB\xBF"
       "3\r\n1\r\n2\r\n3\r\n",
       std::vector<int32_t>{3, 1, 2, 3}},
      {CodeUnits(units, 2, true), numbers},
      {CodeUnits(units, 2, false), numbers},
      {CodeUnits(units, 4, true), numbers},
      {CodeUnits(units, 4, false), numbers},
      {CodeUnits("", 2, true), std::vector<int32_t>{0}},
      // Not a whole mark: the bytes are the text's.
      {"\xEF\xBB"
       "5\n",
       std::vector<int32_t>{0}},
      {"\xFF", std::vector<int32_t>{0}},
      {"\xFE"
       "2\n",
       std::vector<int32_t>{0}},
      {CodeUnits(units, 2, false).substr(2), std::nullopt},
      {CodeUnits(units, 4, true).substr(4), std::nullopt},
  };
  for (const auto& c : cases) {
    for (size_t split = 0; split <= c.text.size(); ++split) {
      if (c.expected) {
        EXPECT_EQ(Parse(c.text, split), *c.expected) << c.text << " @" << split;
        continue;
      }
      Signal signal;
      SignalParser parser(&signal);
      std::string err;
      EXPECT_FALSE(
          parser.Feed(c.text.data(), split, &err) &&
          parser.Feed(c.text.data() + split, c.text.size() - split, &err) &&
          parser.Finish(&err))
          << split;
      EXPECT_EQ(signal.data(), nullptr);
    }
  }
  // NUL bytes after a letter that settles the count at 0: the chunk that
  // holds them is read whole before the count line is judged.
  Signal signal;
  SignalParser parser(&signal);
  std::string err;
  EXPECT_FALSE(parser.Feed("\x06\x01\0\0\xcb\na\n", 8, &err));
  EXPECT_EQ(signal.data(), nullptr);
}

TEST(SignalTextTest, CountLineDecidesTheBuffer) {
  Signal signal;
  std::string err;
  SignalParser negative(&signal);
  EXPECT_FALSE(negative.Feed("-5\n1\n", 5, &err));
  EXPECT_EQ(err, "negative sample count -5");
  EXPECT_EQ(signal.data(), nullptr);

  SignalParser counted(&signal);
  EXPECT_TRUE(counted.Feed("2\n7", 3, &err));
  EXPECT_FALSE(counted.Complete());
  EXPECT_TRUE(counted.Feed("\n8\n9\n", 6, &err));
  EXPECT_TRUE(counted.Complete());
  EXPECT_EQ(signal.data()[2], 8);
}

TEST(SignalTextTest, FormatsLikeToString) {
  std::mt19937 random(7);
  std::vector<int32_t> values = {0,  1,   -1,  9,         10,       -10,
                                 99, 100, 101, INT32_MAX, INT32_MIN};
  for (int32_t power = 1; power < 1000000000; power *= 10) {
    values.push_back(power - 1);
    values.push_back(power);
    values.push_back(-power);
  }
  // Enough values for several chunks.
  for (int i = 0; i < 100000; ++i) {
    values.push_back(static_cast<int32_t>(random()));
  }
  // A comma, and the line end of Windows.
  for (const std::string separator : {",", "\r\n"}) {
    std::string expected;
    for (int32_t value : values) expected += std::to_string(value) + separator;
    ForEachThreadCount([&] {
      SignalFormatter formatter(
          values.data(), static_cast<int32_t>(values.size() - 1), separator);
      std::string text;
      std::string_view piece;
      while (formatter.Next(&piece)) text += piece;
      EXPECT_EQ(text, expected);
      EXPECT_EQ(
          SignalTextSize(values.data(), static_cast<int32_t>(values.size() - 1),
                         separator.size()),
          expected.size());
    });
  }
}

}  // namespace
}  // namespace pellory
