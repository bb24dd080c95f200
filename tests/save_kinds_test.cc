// Save through the real program onto every kind of name: links, devices,
// FIFOs, files of other owners, folders the user may not write.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <chrono>
#include <climits>
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
// (the folder is opened up for it), after the shell text `launch` (the
// program's path follows it). Returns its standard error.
std::string Save(const std::string& input, bool as_nobody = false,
                 const std::string& launch = "") {
  WriteFile(".input", input);
  chmod(".", 0777);
  chmod(".input", 0644);
  const std::string command =
      launch +
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

// The files a save could have left behind: temporaries and backups.
bool DebrisLeft() {
  for (const auto& entry : std::filesystem::recursive_directory_iterator(".")) {
    if (entry.path().filename().string().find(".pellory-") !=
        std::string::npos) {
      return true;
    }
  }
  return false;
}

// A folder whose path is `length` bytes long, made of as many levels as
// that takes.
std::string MakeFolderOfLength(size_t length) {
  std::string path = std::filesystem::current_path().string();
  while (path.size() + 1 + 200 < length) path += "/" + std::string(200, 'd');
  path += "/" + std::string(length - path.size() - 1, 'e');
  std::filesystem::create_directories(path);
  return path;
}

// A default ACL on `folder` that grants `uid` read and write, in the
// kernel's own form of it.
void GrantByDefaultAcl(const char* folder, uid_t uid) {
  struct Entry {
    uint16_t tag, permissions;
    uint32_t id;
  };
  const uint32_t version = 2;
  const Entry entries[] = {{0x01, 6, ~0u},
                           {0x02, 6, uid},
                           {0x04, 4, ~0u},
                           {0x10, 6, ~0u},
                           {0x20, 4, ~0u}};
  std::string value(reinterpret_cast<const char*>(&version), sizeof(version));
  value.append(reinterpret_cast<const char*>(entries), sizeof(entries));
  ASSERT_EQ(setxattr(folder, "system.posix_acl_default", value.data(),
                     value.size(), 0),
            0);
}

bool HasAccessAcl(const char* path) {
  return getxattr(path, "system.posix_acl_access", nullptr, 0) >= 0;
}

// File capabilities cap_net_raw+ep, in the kernel's own form.
constexpr char kCapability[] = "security.capability";
const std::string kNetRaw(
    "\x01\x00\x00\x02\x00\x20\x00\x00"
    "\x00\x00\x00\x00\x00\x00\x00\x00"
    "\x00\x00\x00\x00",
    20);

std::string Capability(const char* path) {
  std::string value(64, '\0');
  const ssize_t length =
      getxattr(path, kCapability, value.data(), value.size());
  value.resize(length < 0 ? 0 : static_cast<size_t>(length));
  return value;
}

// The inode flags of `path` (chattr's), 0 where the file system has none.
unsigned Flags(const char* path) {
  const int fd = open(path, O_RDONLY);
  int flags = 0;
  if (ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) flags = 0;
  close(fd);
  return static_cast<unsigned>(flags);
}

// Sets `added` on `path`; returns what it set, 0 where it could not.
unsigned AddFlags(const char* path, unsigned added) {
  const int fd = open(path, O_RDONLY);
  int flags = static_cast<int>(Flags(path) | added);
  const bool set = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  close(fd);
  return set ? added : 0;
}

constexpr unsigned kKeptFlags = FS_NODUMP_FL | FS_NOATIME_FL | FS_SYNC_FL;
unsigned flags_given = 0;

// A signal file of `count` samples of seven digits.
std::string SignalOf(int count) {
  std::string text = std::to_string(count) + "\n";
  for (int i = 0; i < count; ++i) text += "1234567\n";
  return text;
}

struct SaveCase {
  const char* name;
  bool needs_root;
  std::function<void()> prepare;  // makes the target "t" (and more)
  bool as_nobody;
  std::function<void()> check;
  // Shell text before the program, and what standard error must hold.
  std::string launch = "";
  std::string error = "";
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
      {"40 links, as many as the system follows", false,
       [] {
         WriteFile("data.txt", kOld);
         symlink("data.txt", "l39");
         for (int i = 38; i >= 1; --i) {
           symlink(("l" + std::to_string(i + 1)).c_str(),
                   ("l" + std::to_string(i)).c_str());
         }
         symlink("l1", "t");
       },
       false, [] { EXPECT_EQ(ReadFile("data.txt"), kSignal); }},
      {"extended attributes kept", false,
       [] {
         WriteFile("t", kOld);
         setxattr("t", "user.origin", "recorder", 8, 0);
       },
       false,
       [] {
         EXPECT_EQ(ReadFile("t"), kSignal);
         char value[16] = {};
         EXPECT_EQ(getxattr("t", "user.origin", value, sizeof(value)), 8);
         EXPECT_STREQ(value, "recorder");
       }},
      {"a path as long as the system allows", false,
       [] {
         const std::string folder = MakeFolderOfLength(PATH_MAX - 11);
         WriteFile(folder + "/f", kOld);
         symlink((folder + "/f").c_str(), "t");
       },
       false,
       [] {
         EXPECT_EQ(ReadFile(MakeFolderOfLength(PATH_MAX - 11) + "/f"), kSignal);
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
      {"a folder's default ACL gives a replaced file nothing", false,
       [] {
         WriteFile("t", kOld);
         chmod("t", 0640);
         GrantByDefaultAcl(".", kNobody);
       },
       false,
       [] {
         EXPECT_EQ(ReadFile("t"), kSignal);
         EXPECT_FALSE(HasAccessAcl("t"));
         EXPECT_EQ(Stat("t").st_mode & 07777, 0640u);
       }},
      {"a new file gets the access the folder gives any program's", false,
       [] { GrantByDefaultAcl(".", kNobody); }, false,
       [] {
         EXPECT_TRUE(HasAccessAcl("t"));
         EXPECT_EQ(Stat("t").st_mode & 0070, 0060u);  // the ACL's mask
       }},
      {"content past the file-size limit is refused before a write", false,
       [] {
         WriteFile("sig.txt", SignalOf(100));
         WriteFile("t", SignalOf(80));
         link("t", "b.txt");
       },
       false, [] { EXPECT_EQ(ReadFile("t"), SignalOf(80)); }, "ulimit -f 1; ",
       "cannot save t: File too large"},
      {"a link on a mount that follows none is refused", true,
       [] {
         WriteFile("data.txt", kOld);
         std::filesystem::create_directory("m");
         symlink("m/l", "t");
       },
       false, [] { EXPECT_EQ(ReadFile("data.txt"), kOld); },
       "unshare -m sh -c 'mount -t tmpfs -o nosymfollow none m && "
       "ln -s ../data.txt m/l && exec \"$0\"' ",
       "cannot save t: Too many levels of symbolic links"},
      {"a file mounted over its name is rewritten in place", true,
       [] {
         WriteFile("host.txt", kOld);
         WriteFile("t", "");
       },
       false, [] { EXPECT_EQ(ReadFile("host.txt"), kSignal); },
       "unshare -m sh -c 'mount --bind host.txt t && exec \"$0\"' "},
      {"file capabilities kept, replaced and in place", true,
       [] {
         WriteFile("t", kOld);
         setxattr("t", kCapability, kNetRaw.data(), kNetRaw.size(), 0);
         WriteFile("u", kOld);
         link("u", "u2");
         setxattr("u", kCapability, kNetRaw.data(), kNetRaw.size(), 0);
         WriteFile(".more", "3 u\n");
       },
       false,
       [] {
         EXPECT_EQ(ReadFile("t"), kSignal);
         EXPECT_EQ(Capability("t"), kNetRaw);
         EXPECT_EQ(Capability("u"), kNetRaw);
       },
       "cat .more >> .input; "},
      {"inode flags kept (no dump, no atime, synchronous)", false,
       [] {
         WriteFile("t", kOld);
         flags_given = AddFlags("t", kKeptFlags);
       },
       false,
       [] {
         EXPECT_EQ(ReadFile("t"), kSignal);
         EXPECT_EQ(Flags("t") & kKeptFlags, flags_given);
       }},
      {"a backup an interrupted save left is named at Load", false,
       [] { WriteFile(".sig.txt.pellory-backup-Ab12Cd", kOld); }, false,
       [] { std::filesystem::remove(".sig.txt.pellory-backup-Ab12Cd"); }, "",
       "Pellory: sig.txt has a backup from an interrupted save: "
       ".sig.txt.pellory-backup-Ab12Cd\n"},
  };
  for (const SaveCase& c : cases) {
    if (c.needs_root && !root) continue;
    ScopedTempDir dir;
    WriteFile("sig.txt", kSignal);
    chmod("sig.txt", 0644);
    c.prepare();
    const std::string errors = Save("1 sig.txt 3 t\n", c.as_nobody, c.launch);
    SCOPED_TRACE(c.name);
    EXPECT_NE(errors.find(c.error), std::string::npos) << errors;
    c.check();
    EXPECT_FALSE(DebrisLeft());
  }
}

// On a file system that reserves no space ahead (ext2), a file rewritten in
// place on a disk too full for its new content and for a backup is refused
// before its first byte.
TEST(SaveKindsTest, FullDiskWithoutReservationsKeepsTheOldContent) {
  ScopedTempDir dir;
  std::filesystem::create_directory("m");
  if (geteuid() != 0 ||
      std::system("truncate -s 4M ext2.img && mkfs.ext2 -q -m 0 ext2.img && "
                  "mount -o loop ext2.img m 2>/dev/null") != 0) {
    GTEST_SKIP() << "no ext2 file system can be mounted here";
  }
  struct Unmount {
    ~Unmount() { std::system("umount -l m"); }
  } unmount;
  WriteFile("sig.txt", SignalOf(112500));  // 900 kB
  WriteFile("m/f", SignalOf(93750));       // 750 kB
  link("m/f", "m/f2");
  // Fill the disk, then leave 100 kB free.
  std::system("dd if=/dev/zero of=m/fill bs=64k 2>/dev/null; sync");
  std::filesystem::resize_file(
      "m/fill", std::filesystem::file_size("m/fill") - (100 << 10));
  symlink("m/f", "t");
  const std::string errors = Save("1 sig.txt 3 t\n");
  EXPECT_NE(errors.find("cannot save t: No space left on device; the file "
                        "keeps its old content; the signal is still loaded"),
            std::string::npos)
      << errors;
  EXPECT_TRUE(ReadFile("m/f2") == SignalOf(93750));
  EXPECT_FALSE(DebrisLeft());
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
  // A reader that leaves early fails that save; the session goes on.
  WriteFile("big.txt", SignalOf(100000));
  std::thread leaver([] {
    const int fd = open("t", O_RDONLY);
    char some[16];
    EXPECT_EQ(read(fd, some, sizeof(some)), 16);
    close(fd);
  });
  const std::string errors = Save("1 big.txt 3 t 3 after.txt\n");
  leaver.join();
  EXPECT_EQ(
      errors,
      "Pellory: cannot save t: Broken pipe; the signal is still loaded\n");
  EXPECT_TRUE(ReadFile("after.txt") == SignalOf(100000));
}

// A terminating signal at any moment of a long series of saves, of two
// signals in turn, leaves the old file whole or one of the new ones, and
// nothing beside it: for a file that is replaced and for one rewritten in
// place (it has a second link).
TEST(SaveKindsTest, TerminationDuringALargeSaveLeavesNothing) {
  ScopedTempDir dir;
  std::string big = "2000000\n";
  std::string other = big;
  for (int i = 0; i < 2000000; ++i) {
    big += "-1234567\n";
    other += "765432\n";
  }
  WriteFile("big.txt", big);
  WriteFile("other.txt", other);
  std::string input;
  for (int i = 0; i < 25; ++i) input += "1 big.txt\n3 t\n1 other.txt\n3 t\n";
  WriteFile(".input", input);
  for (const bool in_place : {false, true}) {
    for (int delay_ms : {30, 60, 90, 120, 150}) {
      WriteFile("t", kOld);
      if (in_place) link("t", "second-link");
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
      SCOPED_TRACE(in_place ? "in place" : "replaced");
      EXPECT_FALSE(DebrisLeft()) << delay_ms;
      const std::string now = ReadFile("t");
      EXPECT_TRUE(now == kOld || now == big || now == other) << delay_ms;
      std::filesystem::remove("t");
      std::filesystem::remove("second-link");
    }
  }
}

// A name through a process's descriptor link is written into: a pipe
// carries the text, a file (appended to by the shell) keeps its inode,
// and what the program writes after the save still reaches it.
TEST(SaveKindsTest, ProcessLinksAreWrittenIntoNotReplaced) {
  ScopedTempDir dir;
  WriteFile("sig.txt", kSignal);
  WriteFile(".input", "1 sig.txt 3 /dev/stdout\n");
  const std::string program = std::string(PELLORY_BIN_DIR) + "/Pellory";
  std::system((program + " < .input 2>/dev/null | cat > piped").c_str());
  EXPECT_NE(ReadFile("piped").find(std::string("save as...") + kSignal),
            std::string::npos);
  WriteFile("session.log", "earlier runs\n");
  const ino_t before = Stat("session.log").st_ino;
  std::system((program + " < .input >> session.log 2>/dev/null").c_str());
  EXPECT_EQ(Stat("session.log").st_ino, before);
  const std::string log = ReadFile("session.log");
  EXPECT_EQ(log.rfind(kSignal, 0), 0u);
  EXPECT_NE(log.find("Current file loaded = /dev/stdout"), std::string::npos);
  EXPECT_FALSE(DebrisLeft());
}

}  // namespace
}  // namespace pellory
