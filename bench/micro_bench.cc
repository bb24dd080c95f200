// Micro-benchmarks at 10^7 samples (PELLORY_BENCH_SAMPLES overrides): load,
// save and display through the signal store, and each filter through its
// real plug-in library. Counters: "s/sample" (time per sample) and bytes/s
// of signal text where text is involved.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>

#include "bench/filter_cases.h"
#include "bench/signal_gen.h"
#include "host/editor/plugin_dialogues.h"
#include "host/signal/signal.h"

namespace pellory::bench {
namespace {

int64_t SampleCount() {
  const char* text = std::getenv("PELLORY_BENCH_SAMPLES");
  return text != nullptr ? std::atoll(text) : 10000000;
}

// Files live in a RAM-backed folder when there is one: the benchmark
// measures the code, not the disk.
std::string ScratchFolder() {
  static const std::string folder = [] {
    const char* candidates[] = {"/dev/shm", "/tmp"};
    for (const char* candidate : candidates) {
      if (access(candidate, W_OK) == 0) return std::string(candidate);
    }
    return std::string(".");
  }();
  return folder;
}

const std::vector<int32_t>& Samples(const std::string& kind) {
  static std::map<std::string, std::vector<int32_t>> cache;
  auto found = cache.find(kind);
  if (found == cache.end()) {
    found = cache
                .emplace(kind, kind == "a16" ? AudioLike16(SampleCount())
                                             : Uniform32(SampleCount()))
                .first;
  }
  return found->second;
}

// The signal file of `kind`, written once per run.
const std::string& SignalFile(const std::string& kind) {
  static std::map<std::string, std::string> files;
  auto found = files.find(kind);
  if (found == files.end()) {
    const std::string path = ScratchFolder() + "/pellory-bench-" +
                             std::to_string(getpid()) + "-" + kind + ".txt";
    std::ofstream(path, std::ios::binary) << SignalFileText(Samples(kind));
    found = files.emplace(kind, path).first;
  }
  return found->second;
}

void SetPerSample(benchmark::State& state, int64_t samples, int64_t bytes) {
  state.counters["s/sample"] =
      benchmark::Counter(static_cast<double>(samples),
                         benchmark::Counter::kIsIterationInvariantRate |
                             benchmark::Counter::kInvert);
  if (bytes > 0) state.SetBytesProcessed(state.iterations() * bytes);
}

int64_t FileSize(const std::string& path) {
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  return static_cast<int64_t>(file.tellg());
}

void BM_Load(benchmark::State& state, const std::string& kind) {
  const std::string& path = SignalFile(kind);
  for (auto _ : state) {
    Signal signal;
    if (!signal.Load(path)) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(signal.data());
  }
  SetPerSample(state, SampleCount(), FileSize(path));
}

void BM_Save(benchmark::State& state, const std::string& kind) {
  Signal signal;
  signal.Load(SignalFile(kind));
  const std::string out = SignalFile(kind) + ".saved";
  for (auto _ : state) {
    if (!signal.Save(out)) state.SkipWithError("save failed");
  }
  SetPerSample(state, SampleCount(), FileSize(out));
  std::remove(out.c_str());
}

void BM_Display(benchmark::State& state, const std::string& kind) {
  Signal signal;
  signal.Load(SignalFile(kind));
  std::ofstream sink("/dev/null");
  for (auto _ : state) signal.Display(sink);
  SetPerSample(state, SampleCount(), FileSize(SignalFile(kind)));
}

void BM_Filter(benchmark::State& state, const KnownPlugin& plugin,
               const std::string& kind, const std::string& parameters) {
  PluginExports exports;
  std::string err;
  if (!LoadPlugin(plugin, &exports, &err)) {
    state.SkipWithError(err.c_str());
    return;
  }
  const FilterFunction filter = exports.filter;
  const std::vector<int32_t>& input = Samples(kind);
  std::vector<int32_t> buffer = input;
  for (auto _ : state) {
    state.PauseTiming();
    std::copy(input.begin(), input.end(), buffer.begin());
    state.ResumeTiming();
    filter(buffer.data(), parameters);
    benchmark::DoNotOptimize(buffer.data());
  }
  SetPerSample(state, SampleCount(), 0);
}

void RegisterAll() {
  for (const std::string kind : {"a16", "u32"}) {
    benchmark::RegisterBenchmark(("Load/" + kind).c_str(), BM_Load, kind)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("Save/" + kind).c_str(), BM_Save, kind)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("Display/" + kind).c_str(), BM_Display, kind)
        ->Unit(benchmark::kMillisecond);
    for (const FilterCase& f : kFilterCases) {
      if (!TimedOn(f, kind)) continue;
      benchmark::RegisterBenchmark((std::string(f.name) + "/" + kind).c_str(),
                                   BM_Filter, *f.plugin, kind, f.parameters)
          ->Unit(benchmark::kMillisecond);
    }
  }
}

}  // namespace
}  // namespace pellory::bench

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  pellory::bench::RegisterAll();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  // Remove the signal files this run wrote.
  const std::string pattern = "pellory-bench-" + std::to_string(getpid());
  for (const std::string kind : {"a16", "u32"}) {
    const std::string path =
        pellory::bench::ScratchFolder() + "/" + pattern + "-" + kind + ".txt";
    std::remove(path.c_str());
  }
  return 0;
}
