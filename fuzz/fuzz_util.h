// Helpers the fuzz targets share.
#ifndef PELLORY_FUZZ_FUZZ_UTIL_H_
#define PELLORY_FUZZ_FUZZ_UTIL_H_

#include <cstdio>
#include <cstdlib>
#include <string>

namespace pellory::fuzz {

// Reports a broken invariant the way libFuzzer notices: an abort.
[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

inline void Check(bool holds, const char* what) {
  if (!holds) Fail(what);
}

// A fresh scratch folder for this fuzzing process.
std::string ScratchFolder();

// The content of `path`, or "" when unreadable.
std::string ReadWhole(const std::string& path);
void WriteWhole(const std::string& path, const std::string& content);

// Whether `text` is a signal file as the saver writes it: the count N >= 0
// and N sample lines, every value in plain decimal, every line ending in
// '\n'.
bool IsWellFormedSignalFile(const std::string& text);

}  // namespace pellory::fuzz

#endif  // PELLORY_FUZZ_FUZZ_UTIL_H_
