#include "host/signal/signal.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <thread>

#include "bench/straightforward_io.h"
#include "tests/test_util.h"

namespace pellory {
namespace {

std::vector<int32_t> Buffer(const Signal& signal) {
  if (signal.data() == nullptr) return {};
  return std::vector<int32_t>(signal.data(),
                              signal.data() + signal.SampleCount() + 1);
}

struct LoadCase {
  const char* name;
  std::string content;
  std::vector<int32_t> expected;  // element 0 first
};

TEST(SignalLoadTest, ReadsCountAndSamples) {
  const LoadCase cases[] = {
      {"plain", "3\n5\n-3\n7\n", {3, 5, -3, 7}},
      {"no final break", "3\n5\n-3\n7", {3, 5, -3, 7}},
      {"empty file", "", {0}},
      {"count zero", "0\n", {0}},
      {"crlf", "3\r\n5\r\n-3\r\n7\r\n", {3, 5, -3, 7}},
      {"missing samples stay zero", "4\n1\n2\n", {4, 1, 2, 0, 0}},
      {"surplus lines ignored", "2\n1\n2\n3\n4\n\n", {2, 1, 2}},
      {"atoi rules", "4\n12abc\nabc\n\n -4\n", {4, 12, 0, 0, -4}},
      {"saturation",
       "3\n2147483648\n-2147483649\n99999999999999\n",
       {3, INT32_MAX, INT32_MIN, INT32_MAX}},
      {"count with text", "2x\n8\n9\n", {2, 8, 9}},
  };
  for (const LoadCase& c : cases) {
    ScopedTempDir dir;
    WriteFile("signal.txt", c.content);
    Signal signal;
    ASSERT_TRUE(signal.Load("signal.txt")) << c.name;
    EXPECT_EQ(signal.SampleCount(), c.expected[0]) << c.name;
    EXPECT_EQ(Buffer(signal), c.expected) << c.name;
  }
}

TEST(SignalLoadTest, FailsAndStaysEmpty) {
  ScopedTempDir dir;
  WriteFile("negative.txt", "-1\n5\n");
  std::filesystem::create_directory("folder");
  for (const char* name : {"missing.txt", "negative.txt", "folder"}) {
    Signal signal;
    EXPECT_FALSE(signal.Load(name)) << name;
    EXPECT_EQ(signal.data(), nullptr) << name;
    EXPECT_EQ(signal.SampleCount(), 0) << name;
  }
}

TEST(SignalLoadTest, FailedLoadEmptiesALoadedSignal) {
  ScopedTempDir dir;
  WriteFile("good.txt", "1\n5\n");
  Signal signal;
  ASSERT_TRUE(signal.Load("good.txt"));
  EXPECT_FALSE(signal.Load("missing.txt"));
  EXPECT_EQ(signal.data(), nullptr);
}

// Random files from an alphabet that exercises every parsing rule, large
// enough to cross the loader's chunk boundaries, against the straightforward
// loader.
TEST(SignalLoadTest, MatchesStraightforwardLoaderOnRandomFiles) {
  ScopedTempDir dir;
  std::mt19937 random(12345);
  const std::string alphabet = "0123456789-+ \t\r\nab\v\f";
  for (int round = 0; round < 40; ++round) {
    std::string content;
    const int count = static_cast<int>(random() % 200000);
    content += std::to_string(count) + "\n";
    const size_t size = random() % 3000000;
    while (content.size() < size) {
      if (random() % 4 == 0) {
        const size_t run = 1 + random() % 30;
        for (size_t i = 0; i < run; ++i) {
          content += alphabet[random() % alphabet.size()];
        }
        if (random() % 50 == 0) content += '\0';
      } else {
        // Samples of every width, so that blocks of short lines occur.
        const auto sample = static_cast<int32_t>(random()) >> random() % 32;
        content += std::to_string(sample) + "\n";
      }
    }
    if (round % 3 == 0) content.resize(content.size() / 2);
    WriteFile("random.txt", content);
    const auto expected = reference::Load("random.txt");
    ForEachLinePath([&] {
      Signal signal;
      ASSERT_EQ(signal.Load("random.txt"), expected.has_value()) << round;
      if (expected) {
        EXPECT_EQ(Buffer(signal), *expected) << round;
      }
    });
  }
}

// Another program truncating and rewriting a large file while it loads
// (here a thread, as fast as it can): each load takes what it read or fails
// with its reason, and no scan reads past what the file handed out.
TEST(SignalLoadTest, SurvivesAFileChangingWhileItLoads) {
  ScopedTempDir dir;
  std::mt19937 random(7);
  std::string content = "2000000\n";
  while (content.size() < (10u << 20)) {
    content += std::to_string(static_cast<int16_t>(random())) + "\n";
  }
  std::string variant;  // other line lengths: other line-break places
  while (variant.size() < (1u << 20)) {
    variant += std::to_string(static_cast<int32_t>(random())) + "\r\n+ ";
  }
  WriteFile("work.txt", content);
  std::atomic<bool> loading{true};
  std::thread writer([&] {
    std::mt19937 choice(11);
    while (loading) {
      std::error_code ignored;
      std::filesystem::resize_file("work.txt", choice() % content.size(),
                                   ignored);
      std::fstream file("work.txt",
                        std::ios::in | std::ios::out | std::ios::binary);
      file.seekp(choice() % content.size());
      file.write(variant.data(), choice() % variant.size());
      file.seekp(0);
      file.write(content.data(), choice() % content.size());
    }
  });
  int failed = 0;
  ForEachLinePath([&] {
    for (int round = 0; round < 40; ++round) {
      Signal signal;
      std::string err;
      if (!signal.Load("work.txt", &err)) {
        ++failed;
        EXPECT_TRUE(err == "the file changed while it was read" ||
                    err == "the file shrank while it was read")
            << err;
      }
    }
  });
  loading = false;
  writer.join();
  std::cout << "loads that saw the change: " << failed << "\n";
}

TEST(SignalSaveTest, WritesCountPlusOneLines) {
  ScopedTempDir dir;
  WriteFile("in.txt", "3\n5\n-3\n7");
  Signal signal;
  ASSERT_TRUE(signal.Load("in.txt"));
  ASSERT_TRUE(signal.Save("out.txt"));
  EXPECT_EQ(ReadFile("out.txt"), TextLines("3\n5\n-3\n7\n"));

  WriteFile("empty.txt", "");
  ASSERT_TRUE(signal.Load("empty.txt"));
  ASSERT_TRUE(signal.Save("out.txt"));
  EXPECT_EQ(ReadFile("out.txt"), TextLines("0\n"));
}

TEST(SignalSaveTest, RoundTripsEveryValueLikeTheStraightforwardSaver) {
  ScopedTempDir dir;
  std::mt19937 random(99);
  std::string content = "300000\n";
  for (int i = 0; i < 300000; ++i) {
    content += std::to_string(static_cast<int32_t>(random())) + "\n";
  }
  WriteFile("in.txt", content);
  Signal signal;
  ASSERT_TRUE(signal.Load("in.txt"));
  ASSERT_TRUE(signal.Save("out.txt"));
  ASSERT_TRUE(reference::Save(Buffer(signal), "expected.txt"));
  EXPECT_EQ(ReadFile("out.txt"), ReadFile("expected.txt"));
  EXPECT_EQ(ReadFile("out.txt"), TextLines(content));
}

TEST(SignalSaveTest, EmptySignalNeitherCreatesNorTruncates) {
  ScopedTempDir dir;
  WriteFile("keep.txt", "1\n42\n");
  Signal signal;
  EXPECT_FALSE(signal.Save("keep.txt"));
  EXPECT_FALSE(signal.Save("new.txt"));
  EXPECT_EQ(ReadFile("keep.txt"), "1\n42\n");
  EXPECT_FALSE(FileExists("new.txt"));
}

TEST(SignalSaveTest, FailureLeavesTargetAndNoTemporaryFile) {
  ScopedTempDir dir;
  WriteFile("in.txt", "1\n5\n");
  Signal signal;
  ASSERT_TRUE(signal.Load("in.txt"));
  std::filesystem::create_directory("target-is-a-folder");
  EXPECT_FALSE(signal.Save("target-is-a-folder"));
  EXPECT_FALSE(signal.Save("no-such-folder/out.txt"));
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(".")) {
    left.push_back(entry.path().filename().string());
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"in.txt", "target-is-a-folder"}));
}

TEST(SignalDisplayTest, PrintsCountThenSamplesEachWithComma) {
  ScopedTempDir dir;
  WriteFile("in.txt", "3\n5\n-3\n7\n");
  WriteFile("zero.txt", "0\n");
  Signal signal;
  std::ostringstream out;
  EXPECT_FALSE(signal.Display(out));
  EXPECT_EQ(out.str(), "");
  ASSERT_TRUE(signal.Load("in.txt"));
  EXPECT_TRUE(signal.Display(out));
  EXPECT_EQ(out.str(), "3,5,-3,7,");
  ASSERT_TRUE(signal.Load("zero.txt"));
  std::ostringstream zero;
  EXPECT_TRUE(signal.Display(zero));
  EXPECT_EQ(zero.str(), "0,");
}

}  // namespace
}  // namespace pellory
