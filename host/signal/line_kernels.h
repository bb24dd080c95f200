// Line kernels: the loader's hot loop, which parses the whole lines of a
// chunk of signal text into samples, in one path per instruction set. The
// plain path is the plain line parse (line_value.h), the reference every
// other path must equal bit for bit; a faster one is chosen once per
// process from the table of paths, the fastest the processor has.
//
// How the paths find and convert lines: the line breaks of 64 bytes take
// one compare with AVX-512 (two with AVX2). Where the processor has
// AVX-512 with the byte instructions VBMI and VBMI2, a block whose lines
// are all short (up to 8 bytes, as audio samples are, or up to 16) has
// their ends compressed into one vector and each line gathered into a slot
// of 8 or 16 bytes by one byte permute, so 8 or 4 lines convert together.
// With AVX2 alone, a block of eight or more lines has its line breaks
// listed from their mask, a machine word at a time, and converts four lines
// per 256-bit vector, each read as the 8 bytes that end at its last digit
// (one 64-bit lane per line, signs and all; the block's last one to three
// lines as one masked group); other blocks convert two lines per 256-bit
// multiply-add sequence, saturated and signed in the vector. With SSE4.1
// alone (older and low-power x86), the line breaks of 64 bytes take four
// compares and each line one 128-bit multiply-add sequence.
#ifndef PELLORY_HOST_SIGNAL_LINE_KERNELS_H_
#define PELLORY_HOST_SIGNAL_LINE_KERNELS_H_

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <span>

#include "cpu/processor.h"
#include "host/signal/line_value.h"

namespace pellory {

// Parses the lines from `line` on, into data[*position..count], advancing
// *position, and returns the start of the first line it left: it may leave
// any lines to the plain path, which parses the rest. Every line it takes
// ends in a '\n' at or before `last`, the chunk's last one, and it reads no
// byte before `chunk` or past `last`, whatever the bytes hold.
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

#endif  // PELLORY_HOST_SIGNAL_LINE_KERNELS_H_
