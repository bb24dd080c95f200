#include "platform/dir_list.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "tests/test_util.h"

namespace pellory {
namespace {

TEST(DirListTest, CaseInsensitiveOrderWithoutDotEntries) {
  ScopedTempDir dir;
  std::filesystem::create_directory("d");
  for (const char* name : {"b", "B", "a.txt", "_x", "Zed", "readme.txt",
                           "Tarrock.dll", ".hidden", "[", "`"}) {
    WriteFile(std::string("d/") + name, "");
  }
  std::filesystem::create_directory("d/Sub");
  symlink("nowhere", "d/broken");
  mkfifo("d/fifo", 0600);
  std::vector<std::string> names;
  ASSERT_TRUE(ListDirectory("d", &names));
  // Letters compare as upper case, so '[', '_' and '`' (after 'Z' in ASCII
  // upper case) come after every letter; "B" and "b" tie and keep byte order.
  EXPECT_EQ(names,
            (std::vector<std::string>{".hidden", "a.txt", "B", "b", "broken",
                                      "fifo", "readme.txt", "Sub",
                                      "Tarrock.dll", "Zed", "[", "_x", "`"}));
}

TEST(DirListTest, MissingOrUnreadableFolderFails) {
  ScopedTempDir dir;
  std::vector<std::string> names = {"stale"};
  EXPECT_FALSE(ListDirectory("missing", &names));
  EXPECT_TRUE(names.empty());
  WriteFile("file", "");
  EXPECT_FALSE(ListDirectory("file", &names));
  std::filesystem::create_directory("empty");
  EXPECT_TRUE(ListDirectory("empty", &names));
  EXPECT_TRUE(names.empty());
}

}  // namespace
}  // namespace pellory
