// Sessions only Windows has: a library planted where the Windows loader
// would look first, counts beyond the 32-bit address space, names outside
// the code pages, and a reader that goes away.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "platform/names_win32.h"
#include "tests/test_util.h"

namespace pellory {

// test_util_win32.cc: the program at `program` (the built one when empty)
// run on `input`; with `read_before_closing` 0 or more, its output a pipe
// whose reader goes after that many bytes.
RunResult RunPelloryAt(const std::string& input, const std::wstring& program,
                       int read_before_closing,
                       const std::vector<std::string>& arguments = {});

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

// A count of 2^31 - 1 takes 8 GB: beyond a 32-bit program's address space,
// within a 64-bit one's.
TEST(WindowsSessionTest, CountOf8GigabytesLoadsWhereTheAddressSpaceHoldsIt) {
  ScopedTempDir dir;
  WriteFile("huge.txt", "2147483647\n1\n2\n");
  const RunResult run = RunPellory("1 huge.txt\n");
  EXPECT_EQ(run.exit_status, 0);
  const char* outcome =
      sizeof(void*) == 4 ? "File could not be loaded\n" : "File loaded\n";
  EXPECT_EQ(run.output,
            TextLines(MainMenuText("None", false) + "Enter File To Load...\n" +
                      outcome + MainMenuText("huge.txt", true)));
}

// The program unpacked into a folder whose name no ANSI code page holds,
// run from there: it finds its plug-ins, and saves over an existing file
// (which goes through ReplaceFile with the full path).
TEST(WindowsSessionTest, WorksInAFolderNamedInAnyLanguage) {
  ScopedTempDir dir;
  const std::filesystem::path folder =
      std::filesystem::current_path() / L"uni_\u65e5\u672c" / L"pkg";
  std::filesystem::create_directories(folder / L"DLL");
  const std::filesystem::path bin = PELLORY_BIN_DIR;
  // The program, the runtime DLLs (lib...), the plug-ins beside it and in
  // DLL.
  for (const auto& entry : std::filesystem::directory_iterator(bin)) {
    const std::string file = entry.path().filename().string();
    const bool plugin = file == "Mirrowen.dll" || file == "Quillet.dll" ||
                        file == "Tarrock.dll";
    if (file != "Pellory.exe" && !plugin &&
        !(file.rfind("lib", 0) == 0 && file.ends_with(".dll"))) {
      continue;
    }
    std::filesystem::copy_file(entry.path(), folder / file);
    if (plugin)
      std::filesystem::copy_file(entry.path(), folder / L"DLL" / file);
  }
  std::filesystem::current_path(folder);
  WriteFile("sig.txt", "2\n3\n-4\n");
  const RunResult run = RunPelloryAt("1 sig.txt 5 3 2 2\n",
                                     (folder / "Pellory.exe").wstring(), -1);
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(ReadFile("sig.txt"), TextLines("2\n6\n-7\n"));
}

// Redirected input is in the ANSI code page: the names it carries open and
// create the files so named, whatever the code page.
TEST(WindowsSessionTest, NamesTypedInTheCodePageNameTheirFiles) {
  ScopedTempDir dir;
  const auto ansi = [](const wchar_t* name) {
    char text[64];
    const int length = WideCharToMultiByte(CP_ACP, 0, name, -1, text,
                                           sizeof(text), nullptr, nullptr);
    return std::string(text, length > 0 ? length - 1 : 0);
  };
  std::filesystem::copy_file(
      std::filesystem::path(PELLORY_TEST_DATA_DIR) / "../../data/sample.txt",
      L"caf\u00e9.txt");
  const RunResult run = RunPellory("1 " + ansi(L"caf\u00e9.txt") + " 3 " +
                                   ansi(L"r\u00e9sum\u00e9.txt") + "\n");
  EXPECT_EQ(run.errors, "");
  EXPECT_NE(run.output.find("File loaded"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(L"r\u00e9sum\u00e9.txt"));
}

// A reader that closes the pipe early, at once or after reading some of
// it, ends the run quietly, as on Linux.
TEST(WindowsSessionTest, ABrokenPipeEndsTheRunQuietly) {
  ScopedTempDir dir;
  WriteFile("sig.txt", "2\n3\n-4\n");
  std::string input = "1 sig.txt\n";
  for (int i = 0; i < 20000; ++i) input += "4\n\n";
  for (int read : {0, 1000}) {
    const RunResult run = RunPelloryAt(input, L"", read);
    EXPECT_EQ(run.exit_status, 0) << read;
    EXPECT_EQ(run.errors, "") << read;
  }
}

// Save over an existing file keeps the file's own name, whatever spelling
// was typed, and its hidden attribute; names past the old 260-character
// limit load and save.
TEST(WindowsSessionTest, SaveKeepsTheFileAsItWas) {
  ScopedTempDir dir;
  InstallPluginFolder();
  WriteFile("MySignal.txt", "2\n3\n-4\n");
  SetFileAttributesW(L"MySignal.txt", FILE_ATTRIBUTE_HIDDEN);
  const std::wstring deep = std::filesystem::current_path().wstring() + L"\\" +
                            std::wstring(120, L'd') + L"\\" +
                            std::wstring(120, L'e');
  std::filesystem::create_directories(LongPathForm(deep));
  const std::string long_name = Utf8Name(deep) + "\\long.txt";
  const RunResult run = RunPellory("1 mysignal.txt 5 3 2 2 3 " + long_name +
                                   " 1 " + long_name + " 3 copy.txt\n");
  EXPECT_EQ(run.errors, "");
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(".")) {
    names.push_back(entry.path().filename().string());
  }
  EXPECT_NE(std::find(names.begin(), names.end(), "MySignal.txt"), names.end());
  EXPECT_TRUE(GetFileAttributesW(L"MySignal.txt") & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(ReadFile("MySignal.txt"), TextLines("2\n6\n-7\n"));
  EXPECT_EQ(ReadFile("copy.txt"), TextLines("2\n6\n-7\n"));
}

TEST(WindowsNamesTest, LongPathsGetThePrefixAndNoOthers) {
  const std::wstring folder = L"C:\\" + std::wstring(250, L'a');
  EXPECT_EQ(LongPathForm(folder), L"\\\\?\\" + folder);
  EXPECT_EQ(LongPathForm(L"\\\\server\\share\\" + std::wstring(250, L'b')),
            L"\\\\?\\UNC\\server\\share\\" + std::wstring(250, L'b'));
  for (const std::wstring& kept :
       {std::wstring(L"C:\\short.txt"), std::wstring(L"\\\\.\\NUL"),
        L"\\\\?\\" + folder}) {
    EXPECT_EQ(LongPathForm(kept), kept);
  }
}

}  // namespace
}  // namespace pellory
