// Sessions only Windows has: a library planted where the Windows loader
// would look first, and counts beyond the 32-bit address space.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/test_util.h"

namespace pellory {
namespace {

// The working folder is where LoadLibraryA's standard search looks after
// the program's folder, and before PATH: a Tarrock.dll there must never
// load, nor the one in DLL.
TEST(WindowsSessionTest, PlantedLibraryIsNeverLoaded) {
  ScopedTempDir dir;
  const std::string planted =
      std::string(PELLORY_TEST_DATA_DIR) + "/planted.dll";
  std::filesystem::create_directories("DLL");
  std::filesystem::copy_file(planted, "Tarrock.dll");
  std::filesystem::copy_file(planted, "DLL/Tarrock.dll");
  WriteFile("sig.txt", "2\n3\n-4\n");
  const RunResult run = RunPellory("1 sig.txt 5 1 2 2\n");
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_FALSE(FileExists("PLANTED-LIBRARY-LOADED"));
  // The real Amplify ran: 3*2 = 6, -4*2 + 0.5 truncates to -7.
  EXPECT_EQ(ReadFile("sig.txt"), TextLines("2\n6\n-7\n"));
}

TEST(WindowsSessionTest, CountBeyondTheAddressSpaceFailsTheLoad) {
  ScopedTempDir dir;
  WriteFile("huge.txt", "2147483647\n1\n2\n");
  const RunResult run = RunPellory("1 huge.txt\n");
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.output,
            TextLines(MainMenuText("None", false) +
                      "Enter File To Load...\nFile could not be loaded\n" +
                      MainMenuText("huge.txt", true)));
}

}  // namespace
}  // namespace pellory
