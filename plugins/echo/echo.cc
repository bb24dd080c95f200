// Quillet.dll: adds to each sample the sample `delay` positions earlier,
// scaled by `factor`, front to back, so that echoes are echoed again.
#include "plugins/echo/echo.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>

#include "cpu/parallel.h"
#include "plugin_api/filter_plugin.h"
#include "plugin_api/sample_math.h"
#include "plugins/echo/echo_kernels.h"

namespace {

// The echo of `source`: the product in double precision, stored in single.
float EchoOf(int32_t source, float factor) {
  return static_cast<float>(static_cast<double>(source) *
                            static_cast<double>(factor));
}

// Columns [column, column_end) of the blocks of `delay` samples: the
// `delay` sources before a block of destinations are final before the
// block starts, and no destination of the block is a source of it, so each
// block is a plain loop the compiler vectorises. Positions that differ by a
// multiple of `delay` form one chain, one column: columns are independent.
void EchoInBlocks(int32_t* samples, int64_t count, float factor, int32_t delay,
                  int64_t column, int64_t column_end) {
  for (int64_t first = 1; first + delay <= count; first += delay) {
    const int64_t length =
        std::min<int64_t>(column_end, count - delay - first + 1);
    const int32_t* __restrict sources = samples + first;
    int32_t* __restrict destinations = samples + first + delay;
    for (int64_t j = column; j < length; ++j) {
      const double sum = static_cast<double>(destinations[j]) +
                         static_cast<double>(EchoOf(sources[j], factor));
      destinations[j] = pellory::TruncateToSample(sum);
    }
  }
}

// The plain echo kernel: EchoInBlocks at delay 1.
void EchoChainPlainly(int32_t* samples, int64_t count, float factor) {
  EchoInBlocks(samples, count, factor, 1, 0, 1);
}

// Fewer chains, or samples, than this take longer to hand to a thread than
// to echo.
constexpr int64_t kSmallestPart = 256;
constexpr int64_t kSmallestSignal = 1 << 16;

}  // namespace

namespace pellory {
namespace {

const EchoPath kEchoPlain = {"plain", InstructionSet::kPlain, EchoChainPlainly};

const EchoPath* const kEchoPaths[] = {
    PELLORY_SSE41_ROW(&kEchoSse41)  //
        & kEchoPlain,
};

}  // namespace

std::span<const EchoPath* const> EchoPaths() { return kEchoPaths; }

const EchoPath& ChosenEchoPath() {
  static const EchoPath& chosen = FastestPath(EchoPaths());
  return chosen;
}

bool ReadEchoParameters(const std::string& parameter_text, float* factor,
                        int32_t* delay) {
  std::istringstream inputvalues(parameter_text);
  char token;  // the separator; whatever it is, it is not examined
  if (!(inputvalues >> *factor >> token >> *delay)) return false;
  // A delay of 0 would make each sample its own echo, a negative one would
  // reach before the first sample: neither is an echo, so nothing changes.
  return std::isfinite(*factor) && *delay >= 1;
}

void EchoWith(int32_t* samples, float factor, int32_t delay,
              const EchoPath& path) {
  // The first source is sample 1; echoes whose destination lies beyond the
  // last sample are dropped, so with fewer than two samples there is none
  // (and sample 1 may not even exist).
  const int64_t count = samples[0];
  if (count - delay < 1) return;
  if (delay == 1) {
    path.echo_chain(samples, count, factor);
    return;
  }
  // The `delay` chains split across the cores.
  const int parts = PartsFor(count, kSmallestSignal) == 1
                        ? 1
                        : PartsFor(delay, kSmallestPart);
  RunParts(parts, [&](int part) {
    EchoInBlocks(samples, count, factor, delay,
                 PartStart(0, delay, part, parts),
                 PartStart(0, delay, part + 1, parts));
  });
}

}  // namespace pellory

std::string Parameters_Echo() {
  return "Parameters: factor - a float, delay - an integer";
}

void Filter_Echo(int32_t* samples, std::string parameter_text) {
  float factor;
  int32_t delay;
  if (!pellory::ReadEchoParameters(parameter_text, &factor, &delay)) return;
  pellory::EchoWith(samples, factor, delay, pellory::ChosenEchoPath());
}
