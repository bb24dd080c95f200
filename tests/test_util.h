// Helpers shared by the tests: a scratch working folder, file contents, the
// real program run as a process, and the real plug-ins applied to buffers.
#ifndef PELLORY_TESTS_TEST_UTIL_H_
#define PELLORY_TESTS_TEST_UTIL_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "cpu/parallel.h"
#include "cpu/processor.h"
#include "host/signal/line_kernels.h"
#include "host/editor/plugin_dialogues.h"

namespace pellory {

// A fresh folder that is the working directory while the object lives;
// removed with everything in it afterwards.
class ScopedTempDir {
 public:
  ScopedTempDir();
  ~ScopedTempDir();
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string previous_;
};

// Runs `check()` with one thread, then with more threads than this
// machine has cores and work of any size split, so that splits fall
// everywhere; each failure names the count.
template <typename Check>
void ForEachThreadCount(Check check) {
  const int threads = ThreadCount();
  for (const int count : {1, 5}) {
    UseThreadCount(count, count > 1);
    SCOPED_TRACE("with " + std::to_string(count) + " threads");
    check();
  }
  UseThreadCount(threads);
}

// Runs `check(path)` for every path of a table that the processor has,
// with each thread count, each failure naming the path: every path is
// compared with the plain one in one process.
template <typename Path, typename Check>
void ForEachPath(std::span<const Path* const> paths, Check check) {
  for (const Path* path : paths) {
    if (!ProcessorHas(path->needs)) continue;
    SCOPED_TRACE(std::string("on the ") + path->name + " path");
    ForEachThreadCount([&] { check(*path); });
  }
}

// The same for the loader's line paths: each is the one loads take while
// `check` runs.
template <typename Check>
void ForEachLinePath(Check check) {
  const LinePath& chosen = ChosenLinePath();
  ForEachPath(LinePaths(), [&](const LinePath& path) {
    UseLinePath(path);
    check();
  });
  UseLinePath(chosen);
}

void WriteFile(const std::string& path, const std::string& content);
// The whole content, or "<missing>" when the file cannot be read.
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);

// Makes the folder DLL in the working directory holding copies of the three
// built plug-ins.
void InstallPluginFolder();

struct RunResult {
  std::string output;   // everything written to standard output
  std::string errors;   // everything written to standard error
  int exit_status;      // -1 when the process did not exit normally
  long peak_memory_kb;  // the process's peak resident memory
};

// Runs the built Pellory in the working directory with `input` as its
// standard input (a file, so not a terminal) and `arguments` on its command
// line, killing it after 60 seconds (exit status -1). The peak memory is
// measured on POSIX systems only.
RunResult RunPellory(const std::string& input,
                     const std::vector<std::string>& arguments = {});

// `text` as the platform writes text: each "\n" as "\r\n" on Windows.
std::string TextLines(const std::string& text);

// Loads `plugin` as the host does and applies it to
// `samples` (the samples alone; element 0 is prepended). Guard values after
// the last sample are checked to be untouched.
std::vector<int32_t> ApplyFilter(const KnownPlugin& plugin,
                                 const std::vector<int32_t>& samples,
                                 const std::string& parameters);

// One application of a filter: parameter text, samples, expected samples.
struct FilterCase {
  const char* parameter_text;
  std::vector<int32_t> samples;
  std::vector<int32_t> expected;
};

// Applies `plugin` to every case (as ApplyFilter) and checks the result.
void ExpectFilterCases(const KnownPlugin& plugin,
                       const std::vector<FilterCase>& cases);

// The description a plug-in returns.
std::string DescribePlugin(const KnownPlugin& plugin);

// The main menu as printed with `current` as the current file ("None"
// before any load), with entry 5 when `with_filter`.
std::string MainMenuText(const std::string& current, bool with_filter);

// The filter menu listing the three plug-ins, up to its selection prompt.
inline constexpr char kPluginMenuText[] =
    "1 - Mirrowen.dll\n2 - Quillet.dll\n3 - Tarrock.dll\n"
    "4 - Return To Main Menu\n\nEnter Selection... ";

}  // namespace pellory

#endif  // PELLORY_TESTS_TEST_UTIL_H_
