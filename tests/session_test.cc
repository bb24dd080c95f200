// Whole sessions against the real program: scripted standard input, the
// exact standard output, and the files it leaves.
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
          MainMenuText("out.txt", true) + MainMenuText("out.txt", true));
  // Echo: 100,0,50,0,25,0,12; Amplify 2: 200,0,100,0,50,0,24;
  // Smooth 2: 100,50,50,25,25,12,24.
  EXPECT_EQ(ReadFile("out.txt"), "7\n100\n50\n50\n25\n25\n12\n24\n");
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

#if !defined(PELLORY_SANITIZE)
// Sanitizers reserve more address space than the limit allows.
TEST(SessionTest, CountTooLargeToAllocateFailsTheLoad) {
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

// A copy of the program in the scratch folder, without plug-ins beside it.
void InstallLonelyProgram() {
  std::filesystem::copy_file(std::string(PELLORY_BIN_DIR) + "/Pellory",
                             "Pellory");
}

TEST(SessionTest, PluginThatCannotBeLoadedIsReported) {
  ScopedTempDir dir;
  InstallPluginFolder();
  InstallLonelyProgram();
  // A library with the right name but without the Amplify exports.
  std::filesystem::copy_file(std::string(PELLORY_BIN_DIR) + "/Quillet.dll",
                             "Tarrock.dll");
  WriteFile("sig.txt", "1\n5\n");
  WriteFile("input", "1 sig.txt 5 3 1 4 2\n");
  ASSERT_EQ(std::system("./Pellory < input > output"), 0);
  const std::string menu = MainMenuText("sig.txt", true);
  EXPECT_EQ(ReadFile("output"),
            MainMenuText("None", false) +
                "Enter File To Load...\nFile loaded\n" + menu +
                kPluginMenuText + "Tarrock.dll could not be loaded\n" +
                kPluginMenuText + "Mirrowen.dll could not be loaded\n" +
                kPluginMenuText + menu + menu);
  EXPECT_EQ(ReadFile("sig.txt"), "1\n5\n");
}

TEST(SessionTest, ArgumentsAreIgnored) {
  ScopedTempDir dir;
  WriteFile("input", "");
  ASSERT_EQ(std::system((std::string(PELLORY_BIN_DIR) +
                         "/Pellory --help extra < input > output")
                            .c_str()),
            0);
  EXPECT_EQ(ReadFile("output"), MainMenuText("None", false));
}

}  // namespace
}  // namespace pellory
