// Line kernels: the loader's hot loop, which parses the whole lines of a
// chunk of signal text into samples, in one path per instruction set. The
// plain path is the plain line parse (line_value.h), the reference every
// other path must equal bit for bit; a faster one is chosen once per
// process from the table of paths, the fastest the processor has.
#ifndef PELLORY_HOST_LINE_KERNELS_H_
#define PELLORY_HOST_LINE_KERNELS_H_

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <span>

#include "host/line_value.h"
#include "cpu/processor.h"

namespace pellory {

// Parses the lines from `line` on, into data[*position..count], advancing
// *position, and returns the start of the first line it left: it may leave
// any lines to the plain path, which parses the rest. Every line it takes
// ends in a '\n' at or before `last`, the chunk's last one, and it reads no
// byte before `chunk` or past `last`, whatever the bytes hold: in a mapped
// file they may change while they are read.
using LineKernel = const char* (*)(const char* line, const char* last,
                                   const char* chunk, int32_t* data,
                                   int64_t* position, int64_t count);

struct LinePath {
  const char* name;
  InstructionSet needs;
  LineKernel parse;  // null for the plain path, which parses every line
};

// Every path of this build, the fastest first, the plain one last.
std::span<const LinePath* const> LinePaths();

// The path loads take: the fastest the processor has, or the one a test
// chose with UseLinePath.
const LinePath& ChosenLinePath();
void UseLinePath(const LinePath& path);

// For the kernels: the lines from `*line` that start fewer than
// `look_back` bytes into the chunk (a vector path reads that far back from
// a line's end), parsed plainly into the samples from `*value` up to `end`.
inline void ParseLinesNearChunkStart(const char** line, const char* last,
                                     const char* chunk, ptrdiff_t look_back,
                                     int32_t** value, const int32_t* end) {
  while (*line - chunk < look_back && *line <= last && *value <= end) {
    *(*value)++ = ParseLinePlainly(line, last + 1);
  }
}

// The paths (line_kernels_<set>.cc).
extern const LinePath kLinesSse41;
extern const LinePath kLinesAvx2;
extern const LinePath kLinesAvx512;

}  // namespace pellory

#endif  // PELLORY_HOST_LINE_KERNELS_H_
