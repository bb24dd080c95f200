#include "fuzz/fuzz_util.h"

#include <stdlib.h>

#include <algorithm>
#include <climits>
#include <cstring>
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

std::string DecodeStraightforwardly(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF")) return std::string(text.substr(3));
  using namespace std::literals;
  size_t width = 2;
  bool little = true;
  if (text.starts_with("\xFF\xFE\0\0"sv)) {
    width = 4;
  } else if (text.starts_with("\0\0\xFE\xFF"sv)) {
    width = 4;
    little = false;
  } else if (text.starts_with("\xFE\xFF")) {
    little = false;
  } else if (!text.starts_with("\xFF\xFE")) {
    return std::string(text);
  }
  std::string decoded;
  for (size_t i = width; i + width <= text.size(); i += width) {
    uint32_t unit = 0;
    for (size_t k = 0; k < width; ++k) {
      const uint32_t byte = static_cast<unsigned char>(text[i + k]);
      unit |= byte << 8 * (little ? k : width - 1 - k);
    }
    decoded += unit < 0x80 ? static_cast<char>(unit) : '\x80';
  }
  return decoded;
}

// What reference::LoadFrom reads from a stream of `text`, without the
// stream: getline's pieces are the text split at each '\n' (an empty last
// piece after a final '\n' is read too, as 0), and each piece is read by
// strtoll up to its first NUL byte, as Atoi reads c_str(). The stream's
// string appends came from instantiations built with coverage feedback,
// which made them most of the loader target's time.
std::optional<std::vector<int32_t>> LoadStraightforwardly(
    std::string_view text) {
  // The pieces as C strings: each '\n' ends one.
  std::vector<char> pieces(text.begin(), text.end());
  pieces.push_back('\0');
  for (char& c : pieces) {
    if (c == '\n') c = '\0';
  }
  const auto atoi = [&](size_t start) {
    const long long value = std::strtoll(pieces.data() + start, nullptr, 10);
    return static_cast<int32_t>(
        std::clamp<long long>(value, INT32_MIN, INT32_MAX));
  };
  // The '\n' after `start`, or null.
  const auto line_break = [&](size_t start) {
    return static_cast<const char*>(
        std::memchr(text.data() + start, '\n', text.size() - start));
  };
  // A NUL byte in the count line: a text in an encoding not read (UTF-16
  // or UTF-32 without a byte-order mark).
  const char* const first_break = line_break(0);
  const size_t count_line = first_break != nullptr
                                ? static_cast<size_t>(first_break - text.data())
                                : text.size();
  if (std::memchr(text.data(), '\0', count_line) != nullptr) {
    return std::nullopt;
  }
  const int32_t count = atoi(0);
  if (count < 0) return std::nullopt;
  std::vector<int32_t> data(static_cast<size_t>(count) + 1, 0);
  data[0] = count;
  int64_t position = 1;
  for (const char* end = line_break(0); end != nullptr; ++position) {
    const auto start = static_cast<size_t>(end - text.data()) + 1;
    if (position <= count) data[static_cast<size_t>(position)] = atoi(start);
    end = line_break(start);
  }
  return data;
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
