// Times, in one process, the signal store against the straightforward
// loader and saver and against writing the same bytes in one write, and the
// filters per sample; generates the benchmark signal files. Used by
// bench/run.sh and, built for Windows, by bench/run-windows.sh (Google
// Benchmark has no Windows build here).
//
//   pellory_io_bench generate a16|u32 COUNT FILE
//   pellory_io_bench compare FILE      prints "name milliseconds" lines
//   pellory_io_bench filters FILE      prints "name nanoseconds/sample" lines
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "bench/filter_cases.h"
#include "bench/signal_gen.h"
#include "bench/straightforward_io.h"
#include "host/signal/signal.h"

namespace pellory::bench {
namespace {

// The best of three runs, in milliseconds.
double BestMilliseconds(const std::function<void()>& run) {
  double best = 1e300;
  for (int i = 0; i < 3; ++i) {
    const auto start = std::chrono::steady_clock::now();
    run();
    const std::chrono::duration<double, std::milli> elapsed =
        std::chrono::steady_clock::now() - start;
    best = std::min(best, elapsed.count());
  }
  return best;
}

int Generate(const std::string& kind, int64_t count, const std::string& path) {
  const std::vector<int32_t> buffer =
      kind == "a16" ? AudioLike16(count) : Uniform32(count);
  std::ofstream(path, std::ios::binary) << SignalFileText(buffer);
  return 0;
}

int Compare(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  const std::string bytes = content.str();
  const std::string out = path + ".out";

  const double straightforward_load = BestMilliseconds([&] {
    if (!reference::Load(path)) std::abort();
  });
  const double load = BestMilliseconds([&] {
    Signal signal;
    if (!signal.Load(path)) std::abort();
  });
  Signal signal;
  signal.Load(path);
  const std::vector<int32_t> buffer(signal.data(),
                                    signal.data() + signal.SampleCount() + 1);
  const double straightforward_save = BestMilliseconds([&] {
    if (!reference::Save(buffer, out)) std::abort();
  });
  const double save = BestMilliseconds([&] {
    if (!signal.Save(out)) std::abort();
  });
  const double single_write = BestMilliseconds([&] {
    std::FILE* written = std::fopen(out.c_str(), "wb");
    if (written == nullptr ||
        std::fwrite(bytes.data(), 1, bytes.size(), written) != bytes.size() ||
        std::fclose(written) != 0) {
      std::abort();
    }
  });
  std::remove(out.c_str());
  std::printf("straightforward_load %.1f\nload %.1f\n", straightforward_load,
              load);
  std::printf("straightforward_save %.1f\nsave %.1f\nsingle_write %.1f\n",
              straightforward_save, save, single_write);
  return 0;
}

// Each filter as the menus apply it, through its plug-in, on the signal in
// `path`: the median of five runs on a fresh copy.
int Filters(const std::string& path) {
  Signal signal;
  if (!signal.Load(path)) return 1;
  const std::vector<int32_t> input(signal.data(),
                                   signal.data() + signal.SampleCount() + 1);
  const std::string kind =
      path.find("u32") != std::string::npos ? "u32" : "a16";
  std::vector<int32_t> buffer;
  for (const FilterCase& f : kFilterCases) {
    if (!TimedOn(f, kind)) continue;
    PluginExports exports;
    std::string err;
    if (!LoadPlugin(*f.plugin, &exports, &err)) return 1;
    std::vector<double> runs;
    for (int i = 0; i < 5; ++i) {
      buffer = input;
      const auto start = std::chrono::steady_clock::now();
      exports.filter(buffer.data(), f.parameters);
      const std::chrono::duration<double, std::nano> elapsed =
          std::chrono::steady_clock::now() - start;
      runs.push_back(
          elapsed.count() /
          static_cast<double>(std::max<size_t>(input.size(), 2) - 1));
    }
    std::sort(runs.begin(), runs.end());
    std::printf("%s %.3f\n", f.name, runs[2]);
  }
  return 0;
}

}  // namespace
}  // namespace pellory::bench

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "generate" && argc == 5) {
    return pellory::bench::Generate(argv[2], std::atoll(argv[3]), argv[4]);
  }
  if (command == "compare" && argc == 3) {
    return pellory::bench::Compare(argv[2]);
  }
  if (command == "filters" && argc == 3) {
    return pellory::bench::Filters(argv[2]);
  }
  std::fprintf(stderr,
               "usage: %s generate a16|u32 COUNT FILE | compare FILE | "
               "filters FILE\n",
               argv[0]);
  return 2;
}
