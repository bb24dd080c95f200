#include "host/editor/filter_menu.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "host/editor/main_menu.h"
#include "tests/test_util.h"

namespace pellory {
namespace {

struct FilterRun {
  std::string output;  // what the filter menu printed
  bool input_left;     // FilterMenu's result
  Notice notice;       // what the main menu's next screen shows
  std::vector<int32_t> buffer;
};

// Loads `signal_file` (when given) and runs the filter menu on `input`.
FilterRun RunFilterMenu(const std::string& input,
                        const std::string& signal_file = "sig.txt") {
  std::istringstream in(input);
  std::ostringstream out;
  std::ostringstream err;
  Editor editor(in, out, err);
  editor.currentSignal = std::make_unique<Signal>();
  editor.currentSignal->Load(signal_file);
  FilterRun run;
  run.input_left = FilterMenu(editor, &run.notice);
  run.output = out.str();
  const Signal& signal = *editor.currentSignal;
  if (signal.data() != nullptr) {
    run.buffer.assign(signal.data(), signal.data() + signal.SampleCount() + 1);
  }
  return run;
}

TEST(FilterMenuTest, ListsPluginsAndReturns) {
  ScopedTempDir dir;
  InstallPluginFolder();
  const FilterRun run = RunFilterMenu("4\n");
  EXPECT_EQ(run.output, kPluginMenuText);
  EXPECT_TRUE(run.input_left);
}

TEST(FilterMenuTest, InvalidSelectionsShowTheMenuAgain) {
  ScopedTempDir dir;
  InstallPluginFolder();
  const FilterRun run = RunFilterMenu("0 x 5 9 4");
  std::string expected;
  for (int i = 0; i < 5; ++i) expected += kPluginMenuText;
  EXPECT_EQ(run.output, expected);
  EXPECT_TRUE(run.input_left);
  EXPECT_FALSE(RunFilterMenu("0").input_left);
}

TEST(FilterMenuTest, EveryEntryIsListedInCaseInsensitiveOrder) {
  ScopedTempDir dir;
  InstallPluginFolder();
  WriteFile("DLL/readme.txt", "not a plug-in\n");
  WriteFile("DLL/.hidden", "");
  const std::string lines =
      "1 - .hidden\n2 - Mirrowen.dll\n3 - Quillet.dll\n4 - readme.txt\n"
      "5 - Tarrock.dll\n6 - Return To Main Menu\n\nEnter Selection... ";
  // readme.txt (4) shows the menu again; Return (6) returns.
  const FilterRun run = RunFilterMenu("4 6");
  EXPECT_EQ(run.output, lines + lines);
  EXPECT_TRUE(run.input_left);
}

// With ten entries or more, the digits typed together choose an entry:
// "11" is the eleventh; "13" and "34" of twelve name none and show the menu
// again, leaving no digit behind to answer a prompt.
TEST(FilterMenuTest, EveryEntryOfALongListCanBeChosen) {
  ScopedTempDir dir;
  InstallPluginFolder();
  for (const char* name : {"a1", "a2", "a3", "a4", "a5", "a6", "a7", "a8"}) {
    WriteFile(std::string("DLL/") + name, "");
  }
  WriteFile("sig.txt", "2\n5\n-3\n");
  const FilterRun amplified = RunFilterMenu("13\n34\n11\n2\n");
  EXPECT_NE(amplified.output.find("11 - Tarrock.dll\n12 - Return"),
            std::string::npos);
  EXPECT_EQ(amplified.output.find("Parameters"),
            amplified.output.rfind("Enter Selection... ") + 19);
  EXPECT_EQ(amplified.buffer, (std::vector<int32_t>{2, 10, -5}));
  const FilterRun returned = RunFilterMenu("12\n");
  EXPECT_TRUE(returned.input_left);
  EXPECT_EQ(returned.buffer, (std::vector<int32_t>{2, 5, -3}));
}

TEST(FilterMenuTest, EmptyFolderListsOnlyReturn) {
  ScopedTempDir dir;
  std::filesystem::create_directory("DLL");
  const std::string lines = "1 - Return To Main Menu\n\nEnter Selection... ";
  // 2 to 4 lie beyond the table and show the menu again.
  const FilterRun run = RunFilterMenu("2 3 4 1");
  EXPECT_EQ(run.output, lines + lines + lines + lines);
  EXPECT_TRUE(run.input_left);
}

TEST(FilterMenuTest, MissingFolderStillOffersReturnAsOne) {
  ScopedTempDir dir;
  const std::string lines = "No DLLs found\nEnter Selection... ";
  const FilterRun run = RunFilterMenu("2 0 1");
  EXPECT_EQ(run.output, lines + lines + lines);
  EXPECT_TRUE(run.input_left);
}

TEST(FilterMenuTest, AmplifyAppliesThePluginToTheSignal) {
  ScopedTempDir dir;
  InstallPluginFolder();
  WriteFile("sig.txt", "6\n10\n-10\n3\n-3\n7\n-7\n");
  const FilterRun run = RunFilterMenu("3 1.5\n");
  EXPECT_EQ(run.output, std::string(kPluginMenuText) +
                            "Parameters; gain, a float in the range 1-10"
                            "\nEnter amount to amplify by...");
  EXPECT_EQ(run.buffer, (std::vector<int32_t>{6, 15, -14, 5, -4, 11, -10}));
}

TEST(FilterMenuTest, ParameterTextCarriesSixSignificantDigits) {
  ScopedTempDir dir;
  InstallPluginFolder();
  WriteFile("sig.txt", "1\n100000000\n");
  // 1.23456789 travels as "1.23457".
  EXPECT_EQ(RunFilterMenu("3 1.23456789\n").buffer,
            (std::vector<int32_t>{1, 123457000}));
}

TEST(FilterMenuTest, EchoAsksAgainUntilTheFactorIsInRange) {
  ScopedTempDir dir;
  InstallPluginFolder();
  WriteFile("sig.txt", "7\n100\n0\n0\n0\n0\n0\n0\n");
  const FilterRun run = RunFilterMenu("2 1.5\n-0.1\nabc def\n0.5 x\n2\n");
  const std::string range = "Enter a value between 0 and 1... \n";
  EXPECT_EQ(run.output, std::string(kPluginMenuText) +
                            "Parameters: factor - a float, delay - an integer"
                            "\nEnter factor... " +
                            range + range + range + "\nEnter delay... " +
                            "\nEnter delay... ");
  EXPECT_EQ(run.buffer, (std::vector<int32_t>{7, 100, 0, 50, 0, 25, 0, 12}));
}

TEST(FilterMenuTest, EchoAcceptsTheBounds) {
  ScopedTempDir dir;
  InstallPluginFolder();
  WriteFile("sig.txt", "3\n4\n4\n4\n");
  EXPECT_EQ(RunFilterMenu("2 1 1\n").buffer,
            (std::vector<int32_t>{3, 4, 8, 12}));
  EXPECT_EQ(RunFilterMenu("2 0 1\n").buffer,
            (std::vector<int32_t>{3, 4, 4, 4}));
}

TEST(FilterMenuTest, SmoothAsksAgainOnANonNumber) {
  ScopedTempDir dir;
  InstallPluginFolder();
  WriteFile("sig.txt", "6\n10\n20\n30\n40\n50\n60\n");
  const FilterRun run = RunFilterMenu("1 three\n3\n");
  EXPECT_EQ(run.output, std::string(kPluginMenuText) +
                            "Parameters; size - an integer\nEnter size... "
                            "\nEnter size... ");
  EXPECT_EQ(run.buffer, (std::vector<int32_t>{6, 20, 30, 40, 50, 50, 60}));
}

TEST(FilterMenuTest, AmplifyAsksAgainOnANonNumber) {
  ScopedTempDir dir;
  InstallPluginFolder();
  WriteFile("sig.txt", "1\n3\n");
  const FilterRun run = RunFilterMenu("3 loud\n2\n");
  EXPECT_EQ(run.output, std::string(kPluginMenuText) +
                            "Parameters; gain, a float in the range 1-10"
                            "\nEnter amount to amplify by..."
                            "\nEnter amount to amplify by...");
  EXPECT_EQ(run.buffer, (std::vector<int32_t>{1, 6}));
}

TEST(FilterMenuTest, EndOfInputAtAParameterPromptEndsTheRun) {
  ScopedTempDir dir;
  InstallPluginFolder();
  WriteFile("sig.txt", "1\n3\n");
  for (const char* input : {"3", "3 x", "2 0.5", "2 7", "1", "1 ,"}) {
    const FilterRun run = RunFilterMenu(input);
    EXPECT_FALSE(run.input_left) << input;
    EXPECT_EQ(run.buffer, (std::vector<int32_t>{1, 3})) << input;
  }
}

TEST(FilterMenuTest, SignalWithoutBufferIsRefused) {
  ScopedTempDir dir;
  InstallPluginFolder();
  const FilterRun run = RunFilterMenu("3\n", "missing.txt");
  EXPECT_EQ(run.output, kPluginMenuText);
  EXPECT_EQ(run.notice.message, "No signal loaded\n");
  EXPECT_TRUE(run.input_left);
}

TEST(FilterMenuTest, EmptySignalIsFilteredAndStaysEmpty) {
  ScopedTempDir dir;
  InstallPluginFolder();
  WriteFile("sig.txt", "0\n");
  EXPECT_EQ(RunFilterMenu("3 2\n").buffer, (std::vector<int32_t>{0}));
}

}  // namespace
}  // namespace pellory
