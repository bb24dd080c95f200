#include "platform/library.h"

#include <gtest/gtest.h>

namespace pellory {
namespace {

TEST(LibraryTest, FindsBothExportsOfAPluginBesideTheProgram) {
  Library library;
  std::string err;
  ASSERT_TRUE(library.Load("Quillet.dll", &err)) << err;
  EXPECT_NE(library.FindSymbol("Filter_Echo", &err), nullptr) << err;
  EXPECT_NE(library.FindSymbol("Parameters_Echo", &err), nullptr);
}

TEST(LibraryTest, ReportsWhatIsMissing) {
  Library library;
  std::string err;
  EXPECT_FALSE(library.Load("Nowhere.dll", &err));
  EXPECT_NE(err.find("Nowhere.dll"), std::string::npos) << err;
  EXPECT_EQ(library.FindSymbol("Filter_Echo", &err), nullptr);

  err.clear();
  EXPECT_FALSE(library.Load("../bin/Quillet.dll", &err));
  EXPECT_FALSE(err.empty());

  ASSERT_TRUE(library.Load("Tarrock.dll", &err)) << err;
  err.clear();
  EXPECT_EQ(library.FindSymbol("Filter_Echo", &err), nullptr);
  EXPECT_NE(err.find("Filter_Echo"), std::string::npos) << err;
}

}  // namespace
}  // namespace pellory
