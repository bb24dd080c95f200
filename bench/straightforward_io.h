// The straightforward signal loader and saver, kept as the reference the
// chunked ones in host/signal/signal_files.cc are compared with: ifstream,
// getline and a saturating atoi per line; ofstream and operator<< per
// element.
#ifndef PELLORY_BENCH_STRAIGHTFORWARD_IO_H_
#define PELLORY_BENCH_STRAIGHTFORWARD_IO_H_

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace pellory::reference {

// atoi with saturation instead of glibc's wrap-around.
inline int32_t Atoi(const std::string& line) {
  const long long value = std::strtoll(line.c_str(), nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

// The sample buffer (element 0 = count) read from `InputFile`, or nothing
// when the load fails.
inline std::optional<std::vector<int32_t>> LoadFrom(std::istream& InputFile) {
  std::string line;
  std::getline(InputFile, line);
  const int32_t count = Atoi(line);
  if (count < 0) return std::nullopt;
  std::vector<int32_t> data(static_cast<size_t>(count) + 1, 0);
  data[0] = count;
  int64_t position = 1;
  while (!InputFile.eof()) {
    std::getline(InputFile, line);
    if (InputFile.bad()) return std::nullopt;
    if (position <= count) data[static_cast<size_t>(position)] = Atoi(line);
    ++position;
  }
  return data;
}

// The same from the file `path`.
inline std::optional<std::vector<int32_t>> Load(const std::string& path) {
  std::ifstream InputFile(path);
  if (!InputFile) return std::nullopt;
  return LoadFrom(InputFile);
}

inline bool Save(const std::vector<int32_t>& data, const std::string& path) {
  std::ofstream OutputFile(path, std::ios::trunc);
  if (!OutputFile) return false;
  for (int32_t value : data) OutputFile << value << "\n";
  return static_cast<bool>(OutputFile);
}

}  // namespace pellory::reference

#endif  // PELLORY_BENCH_STRAIGHTFORWARD_IO_H_
