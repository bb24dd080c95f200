#include "fuzz/fuzz_util.h"

#include <stdlib.h>

#include <fstream>
#include <sstream>

#include "bench/straightforward_io.h"
#include "tests/reference_filters.h"

namespace pellory::fuzz {
namespace {

// A plain decimal 32-bit integer: optional '-', no leading zeros, no "-0".
bool IsPlainInteger(const std::string& line) {
  size_t start = line.size() > 0 && line[0] == '-' ? 1 : 0;
  if (start == line.size()) return false;
  if (line[start] == '0' && (line.size() > start + 1 || start == 1)) {
    return false;
  }
  for (size_t i = start; i < line.size(); ++i) {
    if (line[i] < '0' || line[i] > '9') return false;
  }
  if (line.size() - start > 10) return false;
  const long long value = std::stoll(line);
  return value >= INT32_MIN && value <= INT32_MAX;
}

}  // namespace

std::string ScratchFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr ? base : "/tmp") + "/pellory-fuzz-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) Fail("mkdtemp");
  return pattern;
}

std::string ReadWhole(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

void WriteWhole(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

bool IsWellFormedSignalFile(const std::string& text) {
  if (text.empty() || text.back() != '\n') return false;
  std::istringstream lines(text);
  std::string line;
  long long expected_lines = -1;
  long long seen = 0;
  while (std::getline(lines, line)) {
    if (!IsPlainInteger(line)) return false;
    if (expected_lines < 0) {
      expected_lines = std::stoll(line);
      if (expected_lines < 0) return false;
    } else {
      ++seen;
    }
  }
  return seen == expected_lines;
}

std::optional<std::vector<int32_t>> LoadStraightforwardly(
    std::string_view text) {
  std::istringstream stream{std::string(text)};
  return reference::LoadFrom(stream);
}

void SmoothStraightforwardly(std::vector<int32_t>* buffer, int32_t size) {
  reference::Smooth(*buffer, size);
}

void EchoStraightforwardly(std::vector<int32_t>* buffer, float factor,
                           int32_t delay) {
  reference::Echo(*buffer, factor, delay);
}

void AmplifyStraightforwardly(std::vector<int32_t>* buffer, float gain) {
  reference::Amplify(*buffer, gain);
}

}  // namespace pellory::fuzz
