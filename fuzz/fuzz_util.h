// Helpers the fuzz targets share. They are the targets' checks, not code
// under test, so they are built without coverage feedback and sanitizers.
#ifndef PELLORY_FUZZ_FUZZ_UTIL_H_
#define PELLORY_FUZZ_FUZZ_UTIL_H_

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// The straightforward loader's sample buffer for the file text `text`, or
// nothing when it fails.
// The bytes the loader reads a text as: without a UTF-8 byte-order mark;
// a UTF-16 text (after its mark) one byte a code unit, any unit beyond
// ASCII as 0x80, an odd last byte dropped.
std::string DecodeStraightforwardly(std::string_view text);
std::optional<std::vector<int32_t>> LoadStraightforwardly(
    std::string_view text);

// The straightforward filter loops (tests/reference_filters.h) on a sample
// buffer, element 0 first.
void SmoothStraightforwardly(std::vector<int32_t>* buffer, int32_t size);
void EchoStraightforwardly(std::vector<int32_t>* buffer, float factor,
                           int32_t delay);
void AmplifyStraightforwardly(std::vector<int32_t>* buffer, float gain);

}  // namespace pellory::fuzz

#endif  // PELLORY_FUZZ_FUZZ_UTIL_H_
