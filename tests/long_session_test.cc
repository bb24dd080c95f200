// Long sessions through the real program: thousands of menu actions of
// every kind, checked for leaks (the sanitizer build's LeakSanitizer makes
// the program exit non-zero), for the end result, and for flat memory.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "tests/test_util.h"

namespace pellory {
namespace {

const char* const kGoodFiles[] = {"a.txt", "b.txt", "c.txt", "d.txt"};

void WriteSignalFiles() {
  WriteFile("a.txt", "6\n10\n-20\n30\n-40\n50\n-60\n");
  WriteFile("b.txt", "0\n");
  WriteFile("c.txt", "4\n2147483647\n-2147483648\n1\n-1\n");
  std::mt19937 random(11);
  std::string d = "300\n";
  for (int i = 0; i < 300; ++i) {
    d += std::to_string(static_cast<int32_t>(random()) >> (i % 31)) + "\n";
  }
  WriteFile("d.txt", d);
}

// One filter application with usable parameters, as typed.
std::string ValidFilter(std::mt19937& random) {
  std::ostringstream typed;
  switch (random() % 3) {
    case 0:
      typed << "5\n3\n"
            << 0.5 + static_cast<double>(random() % 250) / 100 << "\n";
      break;
    case 1:
      typed << "5\n2\n"
            << static_cast<double>(random() % 101) / 100 << "\n"
            << 1 + random() % 5 << "\n";
      break;
    default:
      typed << "5\n1\n" << 1 + random() % 8 << "\n";
      break;
  }
  return typed.str();
}

struct Script {
  std::string input;
  std::string replay;  // the last load and the filters after it
  int actions = 0;
};

// A session of `actions` menu actions ending with "save as final.txt".
Script LongSession(int actions, uint32_t seed) {
  std::mt19937 random(seed);
  Script script;
  auto add = [&](const std::string& typed) {
    script.input += typed;
    ++script.actions;
  };
  bool can_resave = false;
  while (script.actions < actions - 5) {
    switch (random() % 12) {
      case 0:
      case 1: {
        const std::string load =
            std::string("1\n") + kGoodFiles[random() % 4] + "\n";
        add(load);
        script.replay = load;
        can_resave = false;
        break;
      }
      case 2:
        add(random() % 2 == 0 ? "1\nmissing.txt\n" : "1\nDLL\n");
        script.replay = "";
        can_resave = false;
        break;
      case 3:
      case 4:
      case 5: {
        const std::string filter = ValidFilter(random);
        add(filter);
        script.replay += filter;
        break;
      }
      case 6:  // unusable parameters, asked again, then a no-op
        add(random() % 2 == 0 ? "5\n2\n1.5\nnope\n0\n3\n" : "5\n1\nbig\n0\n");
        break;
      case 7:
        add("4\n");
        break;
      case 8:
        add("3\nout" + std::to_string(random() % 3) + ".txt\n");
        can_resave = true;
        break;
      case 9:
        if (can_resave) add("2\n");
        break;
      case 10:
        add(random() % 2 == 0 ? "9\n" : "x\n");
        break;
      default:
        add(random() % 2 == 0 ? "5\n7\n4\n" : "5\n0\n4\n");
        break;
    }
  }
  // End on a good load, a few filters and the final save.
  const std::string load = std::string("1\n") + kGoodFiles[random() % 4] + "\n";
  add(load);
  script.replay = load;
  for (int i = 0; i < 3; ++i) {
    const std::string filter = ValidFilter(random);
    add(filter);
    script.replay += filter;
  }
  add("3\nfinal.txt\n");
  return script;
}

TEST(LongSessionTest, TenThousandActionsEndCleanAndReproducibly) {
  ScopedTempDir dir;
  InstallPluginFolder();
  WriteSignalFiles();
  const Script script = LongSession(10000, 20261207);
  ASSERT_EQ(script.actions, 10000);
  const RunResult run = RunPellory(script.input);
  ASSERT_EQ(run.exit_status, 0) << run.output.substr(run.output.size() - 2000);
  ASSERT_TRUE(FileExists("final.txt"));

  WriteSignalFiles();
  const RunResult fresh = RunPellory(script.replay + "3\nfresh.txt\n");
  ASSERT_EQ(fresh.exit_status, 0);
  EXPECT_EQ(ReadFile("final.txt"), ReadFile("fresh.txt"));
  std::cout << "long session: " << script.actions
            << " actions, peak resident memory " << run.peak_memory_kb
            << " KiB (a fresh short run: " << fresh.peak_memory_kb << " KiB)\n";
}

#if !defined(PELLORY_SANITIZE)
// Sanitizers keep freed memory in quarantine, so only the plain build can
// tell flat from growing.
TEST(LongSessionTest, ResidentMemoryStaysFlatOverRepeatedCycles) {
  ScopedTempDir dir;
  InstallPluginFolder();
  WriteSignalFiles();
  auto cycles = [](int count) {
    std::string input;
    for (int i = 0; i < count; ++i) {
      input += "1\nd.txt\n5\n3\n1.5\n5\n2\n0.5\n2\n5\n1\n4\n";
    }
    return input;
  };
  const RunResult short_run = RunPellory(cycles(50));
  const RunResult long_run = RunPellory(cycles(2000));
  ASSERT_EQ(short_run.exit_status, 0);
  ASSERT_EQ(long_run.exit_status, 0);
  EXPECT_LE(long_run.peak_memory_kb, short_run.peak_memory_kb + 512)
      << "50 cycles: " << short_run.peak_memory_kb
      << " KiB, 2000 cycles: " << long_run.peak_memory_kb << " KiB";
  std::cout << "resident memory: 50 load-and-filter cycles "
            << short_run.peak_memory_kb << " KiB, 2000 cycles "
            << long_run.peak_memory_kb << " KiB\n";
}
#endif

}  // namespace
}  // namespace pellory
