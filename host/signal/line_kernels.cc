#include "host/signal/line_kernels.h"

namespace pellory {
namespace {

const LinePath kLinesPlain = {"plain", InstructionSet::kPlain, nullptr};

const LinePath* const kLinePaths[] = {
    PELLORY_AVX512_ROW(&kLinesAvx512)    //
        PELLORY_AVX2_ROW(&kLinesAvx2)    //
        PELLORY_SSE41_ROW(&kLinesSse41)  //
        & kLinesPlain,
};

const LinePath* chosen = nullptr;

}  // namespace

std::span<const LinePath* const> LinePaths() { return kLinePaths; }

const LinePath& ChosenLinePath() {
  if (chosen == nullptr) chosen = &FastestPath(LinePaths());
  return *chosen;
}

void UseLinePath(const LinePath& path) { chosen = &path; }

}  // namespace pellory
