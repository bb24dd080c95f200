// Save through the real program onto every kind of name: links, devices,
// FIFOs, files of other owners, folders the user may not write.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>

#include "tests/test_util.h"

namespace pellory {
namespace {

constexpr char kSignal[] = "3\n5\n-3\n7\n";
constexpr char kOld[] = "1\n42\n";
constexpr uid_t kNobody = 65534;

struct stat Stat(const std::string& path) {
  struct stat info = {};
  lstat(path.c_str(), &info);
  return info;
}

// Runs Pellory in the working folder on `input`, as `nobody` when asked
// (the folder is opened up for it). Returns its standard error.
std::string Save(const std::string& input, bool as_nobody = false) {
  WriteFile(".input", input);
  chmod(".", 0777);
  chmod(".input", 0644);
  const std::string command =
      std::string(as_nobody ? "setpriv --reuid=65534 --regid=65534 "
                              "--clear-groups "
                            : "") +
      PELLORY_BIN_DIR + "/Pellory < .input > /dev/null 2> .errors";
  std::system(command.c_str());
  const std::string errors = ReadFile(".errors");
  std::filesystem::remove(".input");
  std::filesystem::remove(".errors");
  return errors;
}

// The files a save could have left behind.
bool DebrisLeft() {
  for (const auto& entry : std::filesystem::recursive_directory_iterator(".")) {
    if (entry.path().filename().string().rfind(".pellory-save", 0) == 0) {
      return true;
    }
  }
  return false;
}

struct SaveCase {
  const char* name;
  bool needs_root;
  std::function<void()> prepare;  // makes the target "t" (and more)
  bool as_nobody;
  std::function<void()> check;
};

TEST(SaveKindsTest, EachKindOfNameKeepsWhatItIs) {
  const bool root = geteuid() == 0;
  const SaveCase cases[] = {
      {"symbolic link", false,
       [] {
         std::filesystem::create_directory("data");
         WriteFile("data/v3.txt", kOld);
         symlink("data/v3.txt", "t");
       },
       false,
       [] {
         EXPECT_TRUE(S_ISLNK(Stat("t").st_mode));
         EXPECT_EQ(ReadFile("data/v3.txt"), kSignal);
       }},
      {"dangling link", false, [] { symlink("made.txt", "t"); }, false,
       [] {
         EXPECT_TRUE(S_ISLNK(Stat("t").st_mode));
         EXPECT_EQ(ReadFile("made.txt"), kSignal);
       }},
      {"hard link", false,
       [] {
         WriteFile("t", kOld);
         link("t", "b.txt");
       },
       false,
       [] {
         EXPECT_EQ(Stat("t").st_ino, Stat("b.txt").st_ino);
         EXPECT_EQ(ReadFile("b.txt"), kSignal);
       }},
      {"device node", true, [] { mknod("t", S_IFCHR | 0666, makedev(1, 3)); },
       false,
       [] {
         EXPECT_TRUE(S_ISCHR(Stat("t").st_mode));
         EXPECT_EQ(Stat("t").st_rdev, makedev(1, 3));
       }},
      {"read-only folder", true,
       [] {
         std::filesystem::create_directory("ro");
         WriteFile("ro/t", kOld);
         chmod("ro/t", 0666);
         chmod("ro", 0555);
         symlink("ro/t", "t");
       },
       true, [] { EXPECT_EQ(ReadFile("ro/t"), kSignal); }},
      {"write-protected file", true,
       [] {
         WriteFile("t", kOld);
         chown("t", kNobody, kNobody);
         chmod("t", 0444);
       },
       true,
       [] {
         EXPECT_EQ(ReadFile("t"), kOld);
         EXPECT_EQ(Stat("t").st_mode & 07777, 0444u);
       }},
      {"permission bits kept", false,
       [] {
         WriteFile("t", kOld);
         chmod("t", 0640);
       },
       false,
       [] {
         EXPECT_EQ(ReadFile("t"), kSignal);
         EXPECT_EQ(Stat("t").st_mode & 07777, 0640u);
       }},
      {"owner kept", true,
       [] {
         WriteFile("t", kOld);
         chown("t", kNobody, kNobody);
         chmod("t", 0640);
       },
       false,
       [] {
         EXPECT_EQ(ReadFile("t"), kSignal);
         EXPECT_EQ(Stat("t").st_uid, kNobody);
         EXPECT_EQ(Stat("t").st_gid, kNobody);
         EXPECT_EQ(Stat("t").st_mode & 07777, 0640u);
       }},
      {"set-ID bits", true,
       [] {
         WriteFile("t", kOld);
         chown("t", kNobody, kNobody);
         chmod("t", 06777);
       },
       false,
       [] {
         EXPECT_EQ(ReadFile("t"), kSignal);
         EXPECT_EQ(Stat("t").st_uid, kNobody);
         EXPECT_EQ(Stat("t").st_mode & 07777, 06777u);
       }},
  };
  for (const SaveCase& c : cases) {
    if (c.needs_root && !root) continue;
    ScopedTempDir dir;
    WriteFile("sig.txt", kSignal);
    chmod("sig.txt", 0644);
    c.prepare();
    Save("1 sig.txt 3 t\n", c.as_nobody);
    SCOPED_TRACE(c.name);
    c.check();
    EXPECT_FALSE(DebrisLeft());
  }
}

TEST(SaveKindsTest, FifoReceivesTheTextAndStays) {
  ScopedTempDir dir;
  WriteFile("sig.txt", kSignal);
  ASSERT_EQ(mkfifo("t", 0600), 0);
  std::string received;
  std::thread reader([&] { received = ReadFile("t"); });
  Save("1 sig.txt 3 t\n");
  reader.join();
  EXPECT_EQ(received, kSignal);
  EXPECT_TRUE(S_ISFIFO(Stat("t").st_mode));
}

// A terminating signal at any moment of a long save leaves the old file
// whole or the new one, and nothing beside it.
TEST(SaveKindsTest, TerminationDuringALargeSaveLeavesNothing) {
  ScopedTempDir dir;
  std::string big = "2000000\n";
  for (int i = 0; i < 2000000; ++i) big += "-1234567\n";
  WriteFile("big.txt", big);
  WriteFile("t", kOld);
  std::string input = "1 big.txt\n";
  for (int i = 0; i < 50; ++i) input += "3 t\n";
  WriteFile(".input", input);
  for (int delay_ms : {30, 60, 90, 120}) {
    const pid_t child = fork();
    if (child == 0) {
      const int in = open(".input", O_RDONLY);
      const int out = open("/dev/null", O_WRONLY);
      dup2(in, 0);
      dup2(out, 1);
      const std::string program = std::string(PELLORY_BIN_DIR) + "/Pellory";
      execl(program.c_str(), "Pellory", static_cast<char*>(nullptr));
      _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms));
    kill(child, SIGTERM);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_FALSE(DebrisLeft()) << delay_ms;
    const std::string now = ReadFile("t");
    EXPECT_TRUE(now == kOld || now == big) << delay_ms;
  }
}

}  // namespace
}  // namespace pellory
