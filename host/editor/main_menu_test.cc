#include "host/editor/main_menu.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tests/test_util.h"

namespace pellory {
namespace {

const std::string kNoneMenu = MainMenuText("None", false);

// What a session leaves behind.
struct State {
  std::unique_ptr<Signal> currentSignal;
  std::string currentFileName;
};

// Runs the main menu in-process on `input` until the input ends.
std::string Session(const std::string& input, State* state = nullptr,
                    std::string* errors = nullptr) {
  std::istringstream in(input);
  std::ostringstream out;
  std::ostringstream err;
  Editor editor(in, out, err);
  MainMenu(editor);
  if (state != nullptr) {
    state->currentFileName = editor.currentFileName;
    state->currentSignal = std::move(editor.currentSignal);
  }
  if (errors != nullptr) *errors = err.str();
  return out.str();
}

TEST(MainMenuTest, StartsWithoutSignalAndEndsWithInput) {
  ScopedTempDir dir;
  EXPECT_EQ(Session(""), kNoneMenu);
  // Entry 5 does not exist yet; other characters are silent.
  EXPECT_EQ(Session("5 x 0\n"), kNoneMenu + kNoneMenu + kNoneMenu + kNoneMenu);
}

TEST(MainMenuTest, SaveDisplayAndSaveAsBeforeAnyLoadChangeNothing) {
  ScopedTempDir dir;
  State state;
  // Display waits for a key: the '\n' after the 4 is that key.
  const std::string output = Session("2\n4\n3 later.txt\n", &state);
  EXPECT_EQ(output, kNoneMenu + kNoneMenu + kNoneMenu +
                        "Enter file name to save as..." + kNoneMenu);
  EXPECT_EQ(state.currentFileName, "later.txt");
  EXPECT_EQ(state.currentSignal, nullptr);
  EXPECT_FALSE(FileExists("later.txt"));
}

TEST(MainMenuTest, LoadDisplaySaveAs) {
  ScopedTempDir dir;
  WriteFile("sig.txt", "3\n5\n-3\n7\n");
  const std::string output = Session("1 sig.txt\n4\n\n3 copy.txt\n");
  const std::string loaded = MainMenuText("sig.txt", true);
  EXPECT_EQ(output, kNoneMenu + "Enter File To Load...\nFile loaded\n" +
                        loaded + "3,5,-3,7," + loaded +
                        "Enter file name to save as..." +
                        MainMenuText("copy.txt", true));
  EXPECT_EQ(ReadFile("copy.txt"), TextLines("3\n5\n-3\n7\n"));
}

// An audio file loads as its samples; Save keeps its own format, width,
// rate and strings, Save as takes the new name's (and text for a name
// without an audio extension).
TEST(MainMenuTest, AudioFilesLoadSaveAndSaveAs) {
  ScopedTempDir dir;
  InstallPluginFolder();
  for (const char* name : {"a.wav", "a.flac"}) {
    SCOPED_TRACE(name);
    Signal recorded;
    ASSERT_TRUE(recorded.Allocate(3));
    recorded.data()[1] = 5;
    recorded.data()[2] = -3;
    recorded.data()[3] = 32767;
    SignalFormat format = FormatForName(name, {}, 16, 44100);
    format.artist = "Someone";
    recorded.set_format(format);
    ASSERT_TRUE(recorded.Save(name));
    std::string errors;
    const std::string output = Session(
        std::string("1 ") + name + "\n4\n\n5 3 2\n2\n3 b.aiff\n3 c.txt\n",
        nullptr, &errors);
    EXPECT_NE(output.find("3,5,-3,32767,"), std::string::npos) << output;
    // 32767 doubled is past 16 bits: clipped, and said.
    EXPECT_NE(errors.find("1 sample beyond 16 bits were clipped to fit " +
                          std::string(name)),
              std::string::npos)
        << errors;
    for (const char* saved : {name, "b.aiff"}) {
      Signal back;
      ASSERT_TRUE(back.Load(saved)) << saved;
      EXPECT_EQ(back.format().container, FormatForName(saved, {}).container);
      EXPECT_EQ(back.format().bits, 16);
      EXPECT_EQ(back.format().rate, 44100);
      EXPECT_EQ(back.format().artist, "Someone");
      EXPECT_EQ(std::vector<int32_t>(back.data(), back.data() + 4),
                (std::vector<int32_t>{3, 10, -5, 32767}));
    }
    EXPECT_EQ(ReadFile("c.txt"), TextLines("3\n10\n-5\n65534\n"));
  }
}

TEST(MainMenuTest, SaveWritesBackToCurrentFile) {
  ScopedTempDir dir;
  WriteFile("sig.txt", "2\n1\n2");
  Session("1 sig.txt 2\n");
  EXPECT_EQ(ReadFile("sig.txt"), TextLines("2\n1\n2\n"));
}

TEST(MainMenuTest, SelectionIsOneCharacterSo14LoadsFile4) {
  ScopedTempDir dir;
  WriteFile("4", "1\n9\n");
  const std::string output = Session("14\n4\n");
  EXPECT_EQ(output, kNoneMenu + "Enter File To Load...\nFile loaded\n" +
                        MainMenuText("4", true) + "1,9," +
                        MainMenuText("4", true));
}

TEST(MainMenuTest, FailedLoadShowsNameOffersFilterAndSavesNothing) {
  ScopedTempDir dir;
  State state;
  std::string errors;
  const std::string output = Session("1 nothing.txt\n2\n", &state, &errors);
  const std::string failed = MainMenuText("nothing.txt", true);
  EXPECT_EQ(output, kNoneMenu +
                        "Enter File To Load...\nFile could not be "
                        "loaded\n" +
                        failed + failed);
  ASSERT_NE(state.currentSignal, nullptr);
  EXPECT_EQ(state.currentSignal->data(), nullptr);
  EXPECT_FALSE(FileExists("nothing.txt"));
  // The Save says only that there is nothing to save.
  EXPECT_NE(errors.find("Pellory: cannot save nothing.txt: no signal is "
                        "loaded\n"),
            std::string::npos)
      << errors;
}

TEST(MainMenuTest, EndOfInputAtAnyPromptEndsTheRun) {
  ScopedTempDir dir;
  EXPECT_EQ(Session("1"), kNoneMenu + "Enter File To Load...\n");
  EXPECT_EQ(Session("3  "), kNoneMenu + "Enter file name to save as...");
  EXPECT_EQ(Session("4"), kNoneMenu + kNoneMenu);
}

}  // namespace
}  // namespace pellory
