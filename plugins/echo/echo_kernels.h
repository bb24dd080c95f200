// Echo kernels: Quillet's path for a delay of 1, which is one chain of
// dependent steps (each sample's echo source is the sample the step before
// wrote), in one path per instruction set. The plain path (echo.cc) is the
// reference every other path must equal bit for bit; the fastest the
// processor has is chosen once per process.
#ifndef PELLORY_PLUGINS_ECHO_ECHO_KERNELS_H_
#define PELLORY_PLUGINS_ECHO_ECHO_KERNELS_H_

#include <cstdint>
#include <span>

#include "cpu/processor.h"

namespace pellory {

// Adds to each of samples[2..count] the sample before it, as already
// echoed, times `factor`: the product in double precision stored in single,
// the sum in double precision, stored saturated and truncated toward zero.
using EchoChainKernel = void (*)(int32_t* samples, int64_t count, float factor);

struct EchoPath {
  const char* name;
  InstructionSet needs;
  EchoChainKernel echo_chain;
};

// Every path of this build, the fastest first, the plain one last.
std::span<const EchoPath* const> EchoPaths();

// The fastest path the processor has.
const EchoPath& ChosenEchoPath();

// The paths (echo_<set>.cc).
extern const EchoPath kEchoSse41;

}  // namespace pellory

#endif  // PELLORY_PLUGINS_ECHO_ECHO_KERNELS_H_
