// The dialogue at its limits, through the real program: slips at the
// keyboard, failures that must be said, inputs that must not hang it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <thread>

#include "tests/test_util.h"

namespace pellory {
namespace {

struct LimitCase {
  const char* name;
  std::string input;
  std::string expected_output;  // "" to skip the check
  std::string expected_errors;
  std::string file;  // a file to check afterwards, with its content
  std::string content;
};

TEST(DialogueLimitsTest, EachSlipIsAskedAgainOrSaid) {
  ScopedTempDir dir;
  InstallPluginFolder();
  const std::string none = MainMenuText("None", false);
  const std::string menu = MainMenuText("s3.txt", true);
  const std::string amplify = std::string(kPluginMenuText) +
                              "Parameters; gain, a float in the range 1-10"
                              "\nEnter amount to amplify by...";
  const std::string loaded = none + "Enter File To Load...\nFile loaded\n";
  const LimitCase cases[] = {
      {"number glued to a typo", "1 s3.txt 5 3 2,2\n3\n",
       loaded + menu + amplify + "\nEnter amount to amplify by..." + menu, "",
       "s3.txt", "3\n10\n20\n30\n"},
      {"hexadecimal", "1 s3.txt 5 3 0x10\n1\n",
       loaded + menu + amplify + "\nEnter amount to amplify by..." + menu, "",
       "", ""},
      {"save that fails", "1 s3.txt 3 no/such/folder/x.txt\n", "",
       "Pellory: cannot save no/such/folder/x.txt: No such file or "
       "directory; the signal is still loaded\n",
       "s3.txt", "3\n10\n20\n30\n"},
      {"negative count", "1 negative.txt\n",
       none + "Enter File To Load...\nFile could not be loaded\n" +
           MainMenuText("negative.txt", true),
       "Pellory: cannot load negative.txt: negative sample count -5\n", "", ""},
      {"an endless device of NUL bytes is no text, and no wait",
       "1 /dev/zero 4\n",
       none + "Enter File To Load...\nFile could not be loaded\n" +
           MainMenuText("/dev/zero", true) + MainMenuText("/dev/zero", true),
       "Pellory: cannot load /dev/zero: it is not in an encoding Pellory "
       "reads (UTF-16 or UTF-32 without a byte-order mark?)\n",
       "", ""},
      {"name past the path limit", "1 " + std::string(100000, 'A') + "\n", "",
       "Pellory: cannot load " + std::string(4097, 'A') +
           ": File name too long\n",
       "", ""},
      {"number past its limit",
       "1 s3.txt 5 1 " + std::string(100000, '1') + "\n2\n",
       loaded + menu + kPluginMenuText +
           "Parameters; size - an integer\nEnter size... \nEnter size... " +
           menu,
       "", "", ""},
  };
  for (const LimitCase& c : cases) {
    WriteFile("s3.txt", "3\n10\n20\n30\n");
    WriteFile("negative.txt", "-5\n");
    const RunResult run = RunPellory(c.input);
    SCOPED_TRACE(c.name);
    EXPECT_EQ(run.exit_status, 0);
    if (!c.expected_output.empty()) {
      EXPECT_EQ(run.output, c.expected_output);
    }
    EXPECT_EQ(run.errors, c.expected_errors);
    if (!c.file.empty()) {
      EXPECT_EQ(ReadFile(c.file), c.content);
    }
  }
}

TEST(DialogueLimitsTest, EveryListedEntryUpToNineCanBeChosen) {
  ScopedTempDir dir;
  InstallPluginFolder();
  WriteFile("DLL/README.txt", "");
  WriteFile("s3.txt", "3\n10\n20\n30\n");
  // Entry 5 is Return, after the README at 4: the user gets back to Save.
  const RunResult run = RunPellory("1 s3.txt 5 5 3 copy.txt\n");
  EXPECT_EQ(ReadFile("copy.txt"), "3\n10\n20\n30\n");
}

TEST(DialogueLimitsTest, FifoThatFailsToLoadIsReadOnce) {
  ScopedTempDir dir;
  ASSERT_EQ(mkfifo("p", 0600), 0);
  std::thread writer([] { std::ofstream("p") << "-5\n"; });
  const RunResult run = RunPellory("1 p\n4\nx");
  writer.join();
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_NE(run.output.find("File could not be loaded\n"), std::string::npos);
}

TEST(DialogueLimitsTest, WriteErrorOnStandardOutputEndsTheRun) {
  ScopedTempDir dir;
  WriteFile("input", "9\n");
  const int status = std::system(
      (std::string(PELLORY_BIN_DIR) + "/Pellory < input > /dev/full 2> err")
          .c_str());
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(ReadFile("err"), "Pellory: write error: No space left on device\n");
}

#if !defined(PELLORY_SANITIZE)
// Sanitizers reserve more address space than the limit allows.
TEST(DialogueLimitsTest, CountTooLargeToAllocateFailsTheLoad) {
  ScopedTempDir dir;
  WriteFile("huge.txt", "2147483647\n1\n2\n");
  WriteFile(".pellory-input", "1 huge.txt\n");
  const std::string command = "ulimit -v 1000000; " +
                              std::string(PELLORY_BIN_DIR) +
                              "/Pellory < .pellory-input";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof(buffer), pipe)) > 0) {
    output.append(buffer, got);
  }
  EXPECT_EQ(pclose(pipe), 0);
  EXPECT_EQ(output, MainMenuText("None", false) +
                        "Enter File To Load...\nFile could not be loaded\n" +
                        MainMenuText("huge.txt", true));
}
#endif

// A thread count the program does not use as it stands is said once, with
// what is used instead; the dialogue is the same.
TEST(DialogueLimitsTest, UnusableThreadCountIsSaid) {
  ScopedTempDir dir;
  WriteFile("input", "");
  for (const char* value : {"0", "abc", "4x", "", "100000", "2"}) {
    const std::string command = std::string("PELLORY_THREADS='") + value +
                                "' " + PELLORY_BIN_DIR +
                                "/Pellory < input > output 2> errors";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(ReadFile("output"), MainMenuText("None", false));
    const std::string errors = ReadFile("errors");
    const std::string named = std::string("Pellory: PELLORY_THREADS=") + value;
    EXPECT_EQ(
        errors.rfind(named, 0) == 0 && errors.find('\n') + 1 == errors.size(),
        std::string(value) != "2")
        << errors;
  }
}

}  // namespace
}  // namespace pellory
