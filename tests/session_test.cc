// Whole sessions against the real program: scripted standard input, the
// exact standard output, and the files it leaves, on every platform (in
// its own line ends).
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/test_util.h"

namespace pellory {
namespace {

TEST(SessionTest, LoadFilterDisplayAndSave) {
  ScopedTempDir dir;
  InstallPluginFolder();
  WriteFile("sig.txt", "7\n100\n0\n0\n0\n0\n0\n0\n");
  const RunResult run = RunPellory(
      "1\nsig.txt\n"
      "5\n2\n0.5\n2\n"  // Echo 0.5, delay 2
      "5\n3\n2\n"       // Amplify 2
      "5\n1\n2\n"       // Smooth 2
      "4\n"             // display; the line break is the key
      "3\nout.txt\n"
      "2\n");
  const std::string menu = MainMenuText("sig.txt", true);
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(
      run.output,
      TextLines(
          MainMenuText("None", false) + "Enter File To Load...\nFile loaded\n" +
          menu + kPluginMenuText +
          "Parameters: factor - a float, delay - an integer"
          "\nEnter factor... \nEnter delay... " +
          menu + kPluginMenuText +
          "Parameters; gain, a float in the range 1-10"
          "\nEnter amount to amplify by..." +
          menu + kPluginMenuText +
          "Parameters; size - an integer\nEnter size... " + menu +
          "7,100,50,50,25,25,12,24," + menu + "Enter file name to save as..." +
          MainMenuText("out.txt", true) + MainMenuText("out.txt", true)));
  // Echo: 100,0,50,0,25,0,12; Amplify 2: 200,0,100,0,50,0,24;
  // Smooth 2: 100,50,50,25,25,12,24.
  EXPECT_EQ(ReadFile("out.txt"), TextLines("7\n100\n50\n50\n25\n25\n12\n24\n"));
  EXPECT_EQ(ReadFile("sig.txt"), "7\n100\n0\n0\n0\n0\n0\n0\n");
}

TEST(SessionTest, EndOfInputAtEveryPromptExitsCleanly) {
  ScopedTempDir dir;
  InstallPluginFolder();
  WriteFile("sig.txt", "1\n5\n");
  for (const char* input :
       {"", "1", "3", "1 sig.txt 5", "1 sig.txt 5 2", "1 sig.txt 5 2 0.5",
        "1 sig.txt 5 2 3", "1 sig.txt 5 1 x", "1 sig.txt 5 3 y\n"}) {
    const RunResult run = RunPellory(input);
    EXPECT_EQ(run.exit_status, 0) << "input '" << input << "'";
  }
  EXPECT_EQ(ReadFile("sig.txt"), "1\n5\n");
}

}  // namespace
}  // namespace pellory
