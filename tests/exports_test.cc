// Each plug-in exports exactly its two functions, and the program depends on
// none of them at link time.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>

#include "host/editor/plugin_dialogues.h"

namespace pellory {
namespace {

std::string Command(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return output;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof(buffer), pipe)) > 0) {
    output.append(buffer, got);
  }
  pclose(pipe);
  return output;
}

std::set<std::string> Words(const std::string& text) {
  std::istringstream in(text);
  std::set<std::string> words;
  std::string word;
  while (in >> word) words.insert(word);
  return words;
}

std::string Binary(const char* name) {
  return std::string(PELLORY_BIN_DIR) + "/" + name;
}

TEST(ExportsTest, EachPluginExportsExactlyItsTwoFunctions) {
  for (const KnownPlugin* plugin :
       {&kAmplifyPlugin, &kEchoPlugin, &kSmoothPlugin}) {
    const std::string defined =
        Command("nm -D --defined-only --format=just-symbols " +
                Binary(plugin->library));
    EXPECT_EQ(Words(defined), (std::set<std::string>{plugin->parameters_export,
                                                     plugin->filter_export}))
        << plugin->library;
  }
}

TEST(ExportsTest, ProgramLinksAgainstNoPlugin) {
  const std::string symbols = Command("nm -D " + Binary("Pellory"));
  EXPECT_EQ(symbols.find("Filter_"), std::string::npos);
  EXPECT_EQ(symbols.find("Parameters_"), std::string::npos);
  const std::string dynamic = Command("readelf -d " + Binary("Pellory"));
  EXPECT_EQ(dynamic.find(".dll"), std::string::npos);
  EXPECT_NE(dynamic.find("[$ORIGIN]"), std::string::npos) << dynamic;
}

}  // namespace
}  // namespace pellory
