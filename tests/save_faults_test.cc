// Save driven through every failure point of its real code path, with
// system calls failed by the wrapping layer in fault_injection.cc.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <random>
#include <sstream>

#include "host/editor/editor.h"
#include "host/editor/main_menu.h"
#include "host/signal/signal.h"
#include "host/signal/signal_format.h"
#include "tests/fault_injection.h"
#include "tests/test_util.h"

namespace pellory {
namespace {

using faults::Call;

std::vector<std::string> FolderEntries(const std::string& folder = ".") {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// A signal file large enough that Save writes several chunks.
std::string LargeSignalText() {
  std::mt19937 random(3);
  std::string text = "200000\n";
  for (int i = 0; i < 200000; ++i) {
    text += std::to_string(static_cast<int32_t>(random())) + "\n";
  }
  return text;
}

class SaveFaultTest : public testing::Test {
 protected:
  void SetUp() override {
    content_ = LargeSignalText();
    WriteFile("in.txt", content_);
    ASSERT_TRUE(signal_.Load("in.txt"));
  }
  void TearDown() override { faults::Reset(); }

  ScopedTempDir dir_;
  std::string content_;
  Signal signal_;
};

// Fails, in turn, every call a save makes (as a probe save lists them) with
// each of a few errors, for a file that is replaced and for one rewritten
// in place (it has a second link). The file then holds the old content or
// the new one, whole, and the save's result says which; nothing is left
// beside it. After the rename the save has succeeded (the folder is only
// synced there, to make the rename durable); before it, a failure either
// fails the save or, where the temporary or backup file could not be made
// as it should, falls back to writing the file in place or unprotected.
TEST_F(SaveFaultTest, EveryFailurePointKeepsTheOldFileAndLeavesNoTemporary) {
  int points = 0;
  // The text format, and an audio file, which goes through the same saver.
  for (const std::string target : {"target.txt", "target.wav"}) {
    signal_.set_format(FormatForName(target, {}, 16));
    WriteFile(target, "1\n42\n");
    ASSERT_TRUE(signal_.Save(target));
    const std::string content = ReadFile(target);
    for (const bool in_place : {false, true}) {
      SCOPED_TRACE(target + (in_place ? " in place" : " replaced"));
      std::vector<std::string> entries = {"in.txt", target};
      WriteFile(target, "1\n42\n");
      if (in_place) {
        ASSERT_EQ(link(target.c_str(), "other-name"), 0);
        entries.insert(entries.begin() + 1, "other-name");
      }
      std::sort(entries.begin(), entries.end());
      faults::Reset();
      ASSERT_TRUE(signal_.Save(target));
      const std::vector<Call> log = faults::Log();
      const auto rename = std::find(log.begin(), log.end(), Call::kRename);
      ASSERT_EQ(rename == log.end(), in_place);
      ASSERT_GE(std::count(log.begin(), log.end(), Call::kWrite), 1);

      std::map<Call, int> seen;
      for (auto call = log.begin(); call != log.end(); ++call) {
        const int nth = ++seen[*call];
        for (int error : {ENOSPC, EIO, EACCES}) {
          WriteFile(target, "1\n42\n");
          faults::Reset();
          faults::FailNthCall(*call, nth, error);
          const bool saved = signal_.Save(target);
          faults::Reset();
          ++points;
          const std::string where = std::string(faults::Name(*call)) + " #" +
                                    std::to_string(nth) + " errno " +
                                    std::to_string(error);
          if (!in_place && call > rename) {
            EXPECT_TRUE(saved) << where;
          }
          EXPECT_TRUE(ReadFile(target) == (saved ? content : "1\n42\n"))
              << where;
          EXPECT_EQ(FolderEntries(), entries) << where;
        }
      }
      // The signal is still whole in memory: a save without faults
      // succeeds.
      ASSERT_TRUE(signal_.Save(target));
      EXPECT_TRUE(ReadFile(target) == content);
      std::filesystem::remove("other-name");
    }
    std::filesystem::remove(target);
  }
  signal_.set_format({});
  std::cout << "fault points injected into Save: " << points << "\n";
}

// A file with a second hard link is rewritten in place; a disk too full for
// the new content is found before an old byte is overwritten.
TEST_F(SaveFaultTest, InPlaceSaveReservesSpaceBeforeOverwriting) {
  WriteFile("target.txt", "1\n42\n");
  ASSERT_EQ(link("target.txt", "other-name.txt"), 0);
  faults::Reset();
  // The reservation takes part of the space before it fails, as ext4's
  // does: the refused save gives it back.
  // (Its calls bypass the wrapping.)
  faults::BeforeNthCall(Call::kFallocate, 1, [] {
    const long fd = syscall(SYS_openat, AT_FDCWD, "target.txt", O_WRONLY);
    syscall(SYS_fallocate, fd, FALLOC_FL_KEEP_SIZE, 0, 1 << 20);
    syscall(SYS_close, fd);
  });
  faults::FailNthCall(Call::kFallocate, 1, ENOSPC);
  std::string err;
  EXPECT_FALSE(signal_.Save("target.txt", &err));
  faults::Reset();
  EXPECT_EQ(err, "No space left on device; the file keeps its old content");
  EXPECT_EQ(ReadFile("target.txt"), "1\n42\n");
  struct stat reserved;
  ASSERT_EQ(stat("target.txt", &reserved), 0);
  EXPECT_LT(reserved.st_blocks * 512, 1 << 16);
  // A file system that cannot reserve space (ext2, some network ones) is
  // written without the reservation, but not without a backup.
  faults::FailNthCall(Call::kFallocate, 1, EOPNOTSUPP);
  faults::FailNthCall(Call::kCopyFileRange, 1, ENOSPC);
  EXPECT_FALSE(signal_.Save("target.txt", &err));
  faults::Reset();
  EXPECT_NE(err.find("no backup of the old content can be made beside it (No "
                     "space left on device); the file keeps its old content"),
            std::string::npos)
      << err;
  EXPECT_EQ(ReadFile("other-name.txt"), "1\n42\n");
  faults::FailNthCall(Call::kFallocate, 1, EOPNOTSUPP);
  ASSERT_TRUE(signal_.Save("target.txt"));
  faults::Reset();
  EXPECT_TRUE(ReadFile("other-name.txt") == content_);
  EXPECT_EQ(FolderEntries(), (std::vector<std::string>{
                                 "in.txt", "other-name.txt", "target.txt"}));
}

// Another program renaming its own version over the file during the save
// wins: theirs is kept, and the reason says so in words.
TEST_F(SaveFaultTest, FileReplacedByAnotherProgramMidSaveIsKept) {
  WriteFile("target.txt", "1\n42\n");
  faults::Reset();
  faults::BeforeNthCall(Call::kFsync, 1, [] {
    WriteFile("theirs.txt", "1\n7\n");
    std::filesystem::rename("theirs.txt", "target.txt");
  });
  std::string err;
  EXPECT_FALSE(signal_.Save("target.txt", &err));
  faults::Reset();
  EXPECT_EQ(err,
            "another program replaced the file while it was being saved; "
            "their version was kept");
  EXPECT_EQ(ReadFile("target.txt"), "1\n7\n");
}

TEST_F(SaveFaultTest, ShortWritesStillWriteEverything) {
  faults::ShortWrites(true);
  ASSERT_TRUE(signal_.Save("out.txt"));
  faults::Reset();
  EXPECT_EQ(ReadFile("out.txt"), content_);
}

TEST_F(SaveFaultTest, TargetFolderVanishingMidSave) {
  std::filesystem::create_directory("folder");
  WriteFile("folder/target.txt", "1\n42\n");
  faults::Reset();
  faults::BeforeNthCall(Call::kWrite, 2,
                        [] { std::filesystem::remove_all("folder"); });
  EXPECT_FALSE(signal_.Save("folder/target.txt"));
  faults::Reset();
  EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"in.txt"}));
  ASSERT_TRUE(signal_.Save("good.txt"));
  EXPECT_EQ(ReadFile("good.txt"), content_);
}

// A failed open, or a failed read of any part of a batch, fails the load
// and leaves the signal empty; so does another program truncating the file
// while it is read.
TEST_F(SaveFaultTest, ReadFaultsFailTheLoadAndLeaveItEmpty) {
  ForEachThreadCount([&] {
    faults::Reset();
    Signal whole;
    ASSERT_TRUE(whole.Load("in.txt"));
    const int reads = faults::Count(Call::kPread);
    for (int nth = 0; nth <= reads; ++nth) {
      faults::Reset();
      if (nth == 0) {
        faults::FailNthCall(Call::kOpen, 1, EIO);
      } else {
        faults::FailNthCall(Call::kPread, nth, EIO);
      }
      Signal signal;
      std::string err;
      EXPECT_FALSE(signal.Load("in.txt", &err)) << "read #" << nth;
      EXPECT_EQ(err, std::strerror(EIO));
      EXPECT_EQ(signal.data(), nullptr);
    }
    faults::Reset();
    faults::BeforeNthCall(Call::kPread, 1,
                          [] { std::filesystem::resize_file("in.txt", 1000); });
    std::string err;
    EXPECT_FALSE(signal_.Load("in.txt", &err));
    faults::Reset();
    EXPECT_EQ(err, "the file shrank while it was read");
    EXPECT_EQ(signal_.data(), nullptr);
    WriteFile("in.txt", content_);
  });
}

TEST_F(SaveFaultTest, EditorKeepsRunningWithTheSignalAfterAFailedSave) {
  WriteFile("small.txt", "3\n5\n-3\n7\n");
  std::istringstream in("1 small.txt\n3 first.txt\n3 second.txt\n4\n\n");
  std::ostringstream out;
  std::ostringstream err;
  Editor editor(in, out, err);
  faults::Reset();
  faults::FailNthCall(Call::kWrite, 1, ENOSPC);
  MainMenu(editor);
  faults::Reset();
  EXPECT_FALSE(FileExists("first.txt"));
  EXPECT_EQ(ReadFile("second.txt"), "3\n5\n-3\n7\n");
  EXPECT_NE(out.str().find("3,5,-3,7,"), std::string::npos);
}

}  // namespace
}  // namespace pellory
