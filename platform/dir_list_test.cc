#include "platform/dir_list.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/test_util.h"

namespace pellory {
namespace {

TEST(DirListTest, CaseInsensitiveOrderWithoutDotEntries) {
  ScopedTempDir dir;
  std::filesystem::create_directory("d");
  for (const char* name : {"b", "a.txt", "_x", "Zed", "readme.txt",
                           "Tarrock.dll", ".hidden", "[", "`"}) {
    WriteFile(std::string("d/") + name, "");
  }
  std::filesystem::create_directory("d/Sub");
  std::vector<std::string> names;
  ASSERT_TRUE(ListDirectory("d", &names));
  // Letters compare as upper case, so '[', '_' and '`' (after 'Z' in ASCII
  // upper case) come after every letter.
  EXPECT_EQ(names, (std::vector<std::string>{".hidden", "a.txt", "b",
                                             "readme.txt", "Sub", "Tarrock.dll",
                                             "Zed", "[", "_x", "`"}));
  // Names equal but for case (only a case-sensitive folder holds both) keep
  // their byte order.
  std::vector<std::string> tied = {"b", "B", "a"};
  SortListing(&tied);
  EXPECT_EQ(tied, (std::vector<std::string>{"a", "B", "b"}));
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
