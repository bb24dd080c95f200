// The filter runs the benchmarks time, on Linux (micro_bench.cc) and on
// Windows (io_bench.cc) alike.
#ifndef PELLORY_BENCH_FILTER_CASES_H_
#define PELLORY_BENCH_FILTER_CASES_H_

#include <string>

#include "host/editor/plugin_dialogues.h"

namespace pellory::bench {

struct FilterCase {
  const KnownPlugin* plugin;
  const char* name;
  const char* parameters;
};

inline const FilterCase kFilterCases[] = {
    {&kAmplifyPlugin, "Amplify/2.5", "2.5"},
    {&kEchoPlugin, "Echo/0.5,1", "0.5,1"},
    {&kEchoPlugin, "Echo/0.5,8", "0.5,8"},
    {&kEchoPlugin, "Echo/0.5,64", "0.5,64"},
    {&kEchoPlugin, "Echo/0.5,4096", "0.5,4096"},
    {&kSmoothPlugin, "Smooth/1", "1"},
    {&kSmoothPlugin, "Smooth/32", "32"},
    {&kSmoothPlugin, "Smooth/1024", "1024"},
    {&kSmoothPlugin, "Smooth/4096", "4096"},
};

// Whether `filter` is timed on the signal `kind` (a16 or u32). Full-range
// noise takes every window step by step: 4096 steps a sample would take
// minutes, so 1024 is the figure for it, and audio has 1, 32 and 4096.
inline bool TimedOn(const FilterCase& filter, const std::string& kind) {
  const std::string name = filter.name;
  return !(kind == "u32" && name == "Smooth/4096") &&
         !(kind == "a16" && name == "Smooth/1024");
}

}  // namespace pellory::bench

#endif  // PELLORY_BENCH_FILTER_CASES_H_
