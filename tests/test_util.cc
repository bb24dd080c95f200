#include "tests/test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <random>
#include <sstream>

namespace pellory {

ScopedTempDir::ScopedTempDir() {
  static std::mt19937_64 random(std::random_device{}());
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  std::filesystem::path made;
  do {
    made = base / ("pellory-test-" + std::to_string(random() % 1000000000));
  } while (!std::filesystem::create_directory(made));
  path_ = made.string();
  previous_ = std::filesystem::current_path().string();
  std::filesystem::current_path(path_);
}

ScopedTempDir::~ScopedTempDir() {
  std::filesystem::current_path(previous_);
  std::error_code ignored;
  // Tests may leave folders without permissions behind; give them back.
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << content;
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return "<missing>";
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

bool FileExists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(
      std::filesystem::symlink_status(path, ignored));
}

void InstallPluginFolder() {
  std::filesystem::create_directory("DLL");
  for (const char* name : {"Mirrowen.dll", "Quillet.dll", "Tarrock.dll"}) {
    std::filesystem::copy_file(std::string(PELLORY_BIN_DIR) + "/" + name,
                               std::string("DLL/") + name);
  }
}

namespace {

constexpr int32_t kGuard = 0x5EA1ED;
constexpr size_t kGuardCount = 8;

}  // namespace

std::vector<int32_t> ApplyFilter(const KnownPlugin& plugin,
                                 const std::vector<int32_t>& samples,
                                 const std::string& parameters) {
  PluginExports exports;
  std::string err;
  EXPECT_TRUE(LoadPlugin(plugin, &exports, &err)) << err;
  const FilterFunction filter = exports.filter;
  if (filter == nullptr) return {};

  // Once on a buffer of exactly N+1 elements, where the sanitizers see any
  // access past element N, and once with guard values after it, which any
  // build can check.
  const size_t count = samples.size();
  std::unique_ptr<int32_t[]> exact(new int32_t[count + 1]);
  exact[0] = static_cast<int32_t>(count);
  std::copy(samples.begin(), samples.end(), exact.get() + 1);
  filter(exact.get(), parameters);

  std::vector<int32_t> buffer;
  buffer.push_back(static_cast<int32_t>(count));
  buffer.insert(buffer.end(), samples.begin(), samples.end());
  buffer.insert(buffer.end(), kGuardCount, kGuard);
  filter(buffer.data(), parameters);

  EXPECT_EQ(buffer[0], static_cast<int32_t>(count)) << "element 0 changed";
  EXPECT_EQ(exact[0], static_cast<int32_t>(count)) << "element 0 changed";
  for (size_t i = count + 1; i < buffer.size(); ++i) {
    EXPECT_EQ(buffer[i], kGuard) << "wrote past the last sample";
  }
  std::vector<int32_t> result(
      buffer.begin() + 1,
      buffer.begin() + 1 + static_cast<std::ptrdiff_t>(count));
  EXPECT_TRUE(std::equal(result.begin(), result.end(), exact.get() + 1))
      << "results differ between runs";
  return result;
}

void ExpectFilterCases(const KnownPlugin& plugin,
                       const std::vector<FilterCase>& cases) {
  for (const FilterCase& c : cases) {
    EXPECT_EQ(ApplyFilter(plugin, c.samples, c.parameter_text), c.expected)
        << plugin.library << " '" << c.parameter_text << "'";
  }
}

std::string DescribePlugin(const KnownPlugin& plugin) {
  PluginExports exports;
  std::string err;
  EXPECT_TRUE(LoadPlugin(plugin, &exports, &err)) << err;
  return exports.describe != nullptr ? exports.describe() : std::string();
}

}  // namespace pellory

namespace pellory {

std::string MainMenuText(const std::string& current, bool with_filter) {
  return "Current file loaded = " + current +
         "\n\nEnter Selection\n\n1 - Load Signal File\n2 - Save Signal "
         "File\n3 - Save Signal File as\n4 - Display Current Signal File\n" +
         (with_filter ? "5 - Apply Filter To Current Signal File\n" : "");
}

}  // namespace pellory
