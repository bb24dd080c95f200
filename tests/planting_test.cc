// Only the plug-in beside the program is ever loaded; odd entries of the
// plug-in folder are listed and never block.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "tests/test_util.h"

namespace pellory {
namespace {

constexpr char kMarker[] = "PLANTED-LIBRARY-LOADED";

// Planted copies of the stand-in library under the name of a real plug-in,
// in the working folder and in the plug-in folder.
void PlantLibrary() {
  const std::string planted =
      std::string(PELLORY_TEST_DATA_DIR) + "/planted.dll";
  std::filesystem::copy_file(planted, "Tarrock.dll");
  std::filesystem::create_directories("DLL");
  std::filesystem::copy_file(planted, "DLL/Tarrock.dll");
}

int RunProgram(const std::string& program, const std::string& input,
               std::string* output) {
  WriteFile("input", input);
  const std::string command =
      "LD_LIBRARY_PATH=.:DLL timeout 60 " + program + " < input > output";
  const int status = std::system(command.c_str());
  *output = ReadFile("output");
  return status;
}

TEST(PlantingTest, PlantedLibraryIsNeverLoaded) {
  ScopedTempDir dir;
  PlantLibrary();
  WriteFile("sig.txt", "2\n3\n-4\n");
  std::string output;
  ASSERT_EQ(RunProgram(std::string(PELLORY_BIN_DIR) + "/Pellory",
                       "1 sig.txt 5 1 2 2\n", &output),
            0);
  EXPECT_FALSE(FileExists(kMarker));
  // The real Amplify ran: 3*2 = 6, -4*2 + 0.5 truncates to -7.
  EXPECT_EQ(ReadFile("sig.txt"), "2\n6\n-7\n");
}

TEST(PlantingTest, WithoutThePluginBesideTheProgramNothingLoads) {
  ScopedTempDir dir;
  PlantLibrary();
  std::filesystem::create_directory("program");
  std::filesystem::copy_file(std::string(PELLORY_BIN_DIR) + "/Pellory",
                             "program/Pellory");
  WriteFile("sig.txt", "2\n3\n-4\n");
  std::string output;
  ASSERT_EQ(RunProgram("program/Pellory", "1 sig.txt 5 1 2\n", &output), 0);
  EXPECT_FALSE(FileExists(kMarker));
  EXPECT_NE(output.find("Tarrock.dll could not be loaded\n"),
            std::string::npos);
  EXPECT_EQ(ReadFile("sig.txt"), "2\n3\n-4\n");
}

TEST(PlantingTest, OddFolderEntriesAreListedAndNeverBlock) {
  ScopedTempDir dir;
  std::filesystem::create_directories("DLL/folder");
  ASSERT_EQ(symlink("nowhere", "DLL/broken"), 0);
  ASSERT_EQ(mkfifo("DLL/fifo", 0600), 0);
  WriteFile("DLL/secret", "");
  chmod("DLL/secret", 0);
  WriteFile("sig.txt", "1\n5\n");
  std::string output;
  ASSERT_EQ(RunProgram(std::string(PELLORY_BIN_DIR) + "/Pellory",
                       "1 sig.txt 5 1 2 3 4 5\n", &output),
            0);
  const std::string lines =
      "1 - broken\n2 - fifo\n3 - folder\n4 - secret\n"
      "5 - Return To Main Menu\n\nEnter Selection... ";
  // Shown first, then again after each of the four entries; 5 returns.
  size_t shown = 0;
  for (size_t at = output.find(lines); at != std::string::npos;
       at = output.find(lines, at + 1)) {
    ++shown;
  }
  EXPECT_EQ(shown, 5u) << output;
  EXPECT_TRUE(output.ends_with(MainMenuText("sig.txt", true))) << output;
}

// A copy of the program in the scratch folder, without plug-ins beside it.
void InstallLonelyProgram() {
  std::filesystem::copy_file(std::string(PELLORY_BIN_DIR) + "/Pellory",
                             "Pellory");
}

TEST(PlantingTest, PluginThatCannotBeLoadedIsReported) {
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

}  // namespace
}  // namespace pellory
