// Mirrowen.dll: replaces each sample but the last by the mean of the `size`
// samples from it onwards.
//
// The mean is defined by a single-precision accumulator: each sample is
// added in double precision and the sum stored back in single precision,
// the total divided by `size` in double precision and stored in single
// precision, then truncated toward zero. A window that would run past the
// last sample adds sample i itself `size` times instead.
//
// Doing exactly that costs `size` steps per sample. Two facts make the cost
// independent of the window with the same bits:
//  - While every partial sum of a window stays within +-2^24, every value
//    the accumulator takes is an integer a float holds exactly, so the
//    accumulator equals the plain integer sum, which a running sum gives in
//    one step. Groups of windows are checked for that bound; a group that
//    fails it takes the step-by-step loop.
//  - Adding one value again and again advances the accumulator by a
//    constant amount within each binade (see RepeatedSum), so the tail's
//    repeated sums jump from binade to binade.
#include "plugins/smooth/smooth.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "cpu/parallel.h"
#include "plugin_api/filter_plugin.h"
#include "plugin_api/sample_math.h"
#include "plugins/smooth/window_means.h"

namespace {

using pellory::Accumulate;
using pellory::StoredMean;

// Every integer of at most this magnitude is exactly a float.
constexpr int64_t kExactFloatIntegers = int64_t{1} << 24;

// The plain window kernel: the means of kLanes consecutive windows, step by
// step, the definition itself. One window's steps form a chain of dependent
// additions; interleaving independent windows lets the processor overlap
// their chains, with the same roundings in the same order.
constexpr int kLanes = 8;
void WindowMeansStepByStep(const int32_t* window, int32_t size,
                           int32_t* means) {
  float accumulators[kLanes] = {};
  for (int32_t j = 0; j < size; ++j) {
    for (int lane = 0; lane < kLanes; ++lane) {
      accumulators[lane] =
          Accumulate(accumulators[lane], static_cast<double>(window[lane + j]));
    }
  }
  for (int lane = 0; lane < kLanes; ++lane) {
    means[lane] = StoredMean(accumulators[lane], size);
  }
}

// The same for one window.
int32_t WindowMeanStepByStep(const int32_t* window, int32_t size) {
  float accumulator = 0.0f;
  for (int32_t j = 0; j < size; ++j) {
    accumulator = Accumulate(accumulator, static_cast<double>(window[j]));
  }
  return StoredMean(accumulator, size);
}

// The accumulator after adding `sample` (an integer, 0 <= sample <= 2^31)
// to 0 `times` times, step by step as Accumulate does, without taking every
// step. Why steps can be taken many at once:
//
//  1. Let the accumulator a lie in the binade [2^e, 2^(e+1)), where floats
//     are spaced u = 2^(e-23) apart and doubles 2^(e-52). Then a = k*u is a
//     multiple of 2^(52-23) = 2^29 double spacings.
//  2. While a + sample stays in that binade, rounding it to double rounds
//     the sample's part alone, since a is a whole number of double
//     spacings: the double sum is a + d, where d depends on the sample only.
//  3. Rounding a + d to a multiple of u then adds to a either the same q or
//     q+1 spacings every time: d's distance to the multiples of u does not
//     depend on a. Only when d lies exactly halfway does a's own parity
//     decide (ties go to even), and then the first such step leaves a even,
//     so every later step adds the same even amount.
//  4. So once two steps inside one binade add the same amount `step`, every
//     further step adds `step`, as long as the whole step stays inside the
//     binade. A step from a stays inside when a + sample <= top - u, with
//     top = 2^(e+1): top - u is itself a double and a float, so neither
//     rounding can carry the sum past it (both are monotonic).
//  5. After the step just taken, the accumulator is a; the k-th step from
//     here starts at a + k*step and stays inside while
//     a + k*step + sample <= top - u, that is for
//     k <= room / step, room = top - u - sample - a.
//     Those floor(room / step) + 1 steps are taken at once.
//  6. A step that adds nothing is a fixed point: the accumulator never
//     changes again.
//
// Example: sample 5, from a = 2^24 = 16777216 (u = 2, top = 2^25). 16777221
// is a tie and rounds to the even 16777220 (a step of 4); 16777225 rounds to
// 16777224 (4 again). room = 33554432 - 2 - 5 - 16777224 = 16777201, so
// floor(16777201 / 4) + 1 = 4194301 steps of 4 are taken at once, ending at
// 33554428; the next step, 33554433, leaves the binade and is taken
// singly.
float RepeatedSum(double sample, int64_t times) {
  float accumulator = 0.0f;
  double last_step = -1.0;
  double last_binade_top = 0.0;
  while (times > 0) {
    const double before = accumulator;
    accumulator = Accumulate(accumulator, sample);
    --times;
    const double step = static_cast<double>(accumulator) - before;
    if (step == 0.0) break;
    int exponent;
    std::frexp(before, &exponent);
    const double binade_top = std::ldexp(1.0, exponent);
    const bool same_binade = before > 0.0 && binade_top == last_binade_top &&
                             static_cast<double>(accumulator) < binade_top;
    if (same_binade && step == last_step) {
      const double spacing = std::ldexp(1.0, exponent - 24);
      // Step 5 above.
      const double room =
          binade_top - spacing - sample - static_cast<double>(accumulator);
      if (room >= 0.0) {
        const int64_t jump =
            std::min(times, static_cast<int64_t>(std::floor(room / step)) + 1);
        accumulator = static_cast<float>(static_cast<double>(accumulator) +
                                         static_cast<double>(jump) * step);
        times -= jump;
      }
    }
    last_step = step;
    last_binade_top = binade_top;
  }
  return accumulator;
}

// The mean of a window past the end: sample i added `size` times.
int32_t RepeatedMean(int32_t sample, int32_t size) {
  const int64_t magnitude = std::abs(static_cast<int64_t>(sample));
  if (magnitude * size <= kExactFloatIntegers) {
    return StoredMean(
        static_cast<float>(magnitude * size * (sample < 0 ? -1 : 1)), size);
  }
  // Round to nearest even is symmetric, so a negative sample's sums are the
  // positive sample's, negated.
  const float sum = RepeatedSum(static_cast<double>(magnitude), size);
  return StoredMean(sample < 0 ? -sum : sum, size);
}

// The prefix sums over one block of samples, relative to the block's start
// (the empty prefix 0 included): their highest and lowest values and the
// block's total. A sample beyond +-2^24 alone puts two neighbouring prefix
// sums further apart than that, failing every check the block takes part
// in: a block that starts with one (on full-range data, almost every block)
// is not scanned. `has_inexact_step` also marks a block whose own prefix
// sums span more than 2^24, which fails every check just as well.
struct PrefixRange {
  int64_t highest = 0;
  int64_t lowest = 0;
  int64_t total = 0;
  bool has_inexact_step = false;
};

PrefixRange RangeOfPrefixSums(const int32_t* samples, int64_t first,
                              int64_t last) {
  PrefixRange range;
  if (first <= last &&
      std::abs(static_cast<int64_t>(samples[first])) > kExactFloatIntegers) {
    range.has_inexact_step = true;
    return range;
  }
  // A stretch of 64 samples at a time, its prefix sums in 32 bits (which
  // 32-bit code adds and compares in one instruction each), wrapping modulo
  // 2^32. Without a sample beyond 2^24 they cannot wrap (64 * 2^24 < 2^31);
  // with one, the two neighbouring sums, wrapped or not, lie more than 2^24
  // apart: either way a stretch whose sums span more than 2^24 fails every
  // check the block takes part in.
  constexpr int64_t kStretch = 64;
  int64_t prefix = 0;
  for (int64_t stretch = first; stretch <= last; stretch += kStretch) {
    const auto length =
        static_cast<int32_t>(std::min(kStretch, last - stretch + 1));
    uint32_t local = 0;
    int32_t highest = 0;
    int32_t lowest = 0;
    for (int32_t k = 0; k < length; ++k) {
      local += static_cast<uint32_t>(samples[stretch + k]);
      highest = std::max(highest, static_cast<int32_t>(local));
      lowest = std::min(lowest, static_cast<int32_t>(local));
    }
    if (int64_t{highest} - lowest > kExactFloatIntegers) {
      range.has_inexact_step = true;
      return range;
    }
    range.highest = std::max(range.highest, prefix + highest);
    range.lowest = std::min(range.lowest, prefix + lowest);
    prefix += static_cast<int32_t>(local);
  }
  range.total = prefix;
  return range;
}

// Whether every partial sum of every window starting in one block stays
// within the exact range. Those windows lie within the block and the next
// (a block is at least a window long), and each partial sum is a difference
// of two prefix sums over both, so a span of the prefix sums of at most 2^24
// is enough.
bool PartialSumsExact(const PrefixRange& block, const PrefixRange& next) {
  if (block.has_inexact_step || next.has_inexact_step) return false;
  const int64_t highest = std::max(block.highest, block.total + next.highest);
  const int64_t lowest = std::min(block.lowest, block.total + next.lowest);
  return highest - lowest <= kExactFloatIntegers;
}

// Positions first..last, all of whose windows fit and have exact partial
// sums.
//
// The running sum wraps modulo 2^32: every exact window's sum lies within
// +-2^24, so it comes out right whatever the samples added and removed on
// the way (and a 32-bit sum stays in a register in 32-bit code, where a
// 64-bit one went through memory at every step).
void MeansFromRunningSum(int32_t* samples, int64_t count, int64_t first,
                         int64_t last, int32_t size) {
  uint32_t sum = 0;
  for (int64_t m = first; m < first + size; ++m) {
    sum += static_cast<uint32_t>(samples[m]);
  }
  constexpr int32_t kBatch = 1024;
  int32_t sums[kBatch];
  for (int64_t start = first; start <= last; start += kBatch) {
    const auto batch =
        static_cast<int32_t>(std::min<int64_t>(kBatch, last - start + 1));
    // Up to the last window that fits: a sum beyond it is never used.
    const auto steps = static_cast<int32_t>(
        std::clamp<int64_t>(count - size - start + 1, 0, batch));
    const int32_t* const leaving = samples + start;
    const int32_t* const entering = samples + start + size;
    for (int32_t k = 0; k < steps; ++k) {
      sums[k] = static_cast<int32_t>(sum);
      sum += static_cast<uint32_t>(entering[k]) -
             static_cast<uint32_t>(leaving[k]);
    }
    for (int32_t k = steps; k < batch; ++k) sums[k] = static_cast<int32_t>(sum);
    // Apart from the sums so the divisions, the slow part, vectorise. An
    // exact window's mean lies within +-2^24: no saturation is needed.
    int32_t* const means = samples + start;
    for (int32_t k = 0; k < batch; ++k) {
      const double exact_sum = static_cast<double>(sums[k]);
      const float mean =
          static_cast<float>(exact_sum / static_cast<double>(size));
      means[k] = static_cast<int32_t>(mean);
    }
  }
}

// Positions first..last, all of whose windows fit, the slow way, a group of
// windows at a time: as many groups as fit on `path`, the rest on the
// narrower paths the processor has, down to one window. A group's means
// replace samples that only its own windows and earlier ones read.
void MeansStepByStep(int32_t* samples, int64_t first, int64_t last,
                     int32_t size, const pellory::WindowPath& path) {
  int64_t i = first;
  for (const pellory::WindowPath* narrower : pellory::WindowPaths()) {
    if (narrower->windows > path.windows ||
        !pellory::ProcessorHas(narrower->needs)) {
      continue;
    }
    for (; i + narrower->windows - 1 <= last; i += narrower->windows) {
      narrower->means(samples + i, size, samples + i);
    }
  }
  for (; i <= last; ++i) samples[i] = WindowMeanStepByStep(samples + i, size);
}

// Positions 1..last_position of `samples`, of a signal whose last sample is
// `count`, in place. Samples past the last one its windows read are not
// read: another part of the work may be replacing them.
void Smooth(int32_t* samples, int64_t count, int32_t size,
            const pellory::WindowPath& path, int64_t last_position) {
  const int64_t readable =
      std::min(count, last_position + static_cast<int64_t>(size) - 1);
  // Windows starting up to last_fit lie within the signal; the last sample
  // is never replaced.
  const int64_t last_fit = std::min(last_position, count - size + 1);
  // Blocks at least a window long: each sample is read once for the check.
  // A block is classified before any of its samples is replaced, since the
  // check of the one before it reads them.
  const int64_t block = std::max<int64_t>(size, 64);
  int64_t unclassified = 1;  // the first sample of the next block to classify
  PrefixRange next = RangeOfPrefixSums(samples, 1, std::min(block, readable));
  auto next_block_exact = [&] {
    const PrefixRange current = next;
    unclassified += block;
    next = RangeOfPrefixSums(samples, unclassified,
                             std::min(unclassified + block - 1, readable));
    return PartialSumsExact(current, next);
  };
  // Runs of blocks of one kind are taken whole: the widest vector path
  // needs more windows than a block may hold.
  bool exact = next_block_exact();
  for (int64_t first = 1; first <= last_fit;) {
    int64_t last = std::min(unclassified - 1, last_fit);
    bool following_exact = exact;
    while (last < last_fit) {
      following_exact = next_block_exact();
      if (following_exact != exact) break;
      last = std::min(unclassified - 1, last_fit);
    }
    if (exact) {
      MeansFromRunningSum(samples, readable, first, last, size);
    } else {
      MeansStepByStep(samples, first, last, size, path);
    }
    first = last + 1;
    exact = following_exact;
  }
  for (int64_t i = std::max<int64_t>(1, last_fit + 1); i <= last_position;
       ++i) {
    samples[i] = RepeatedMean(samples[i], size);
  }
}

// Fewer positions than this take longer to hand to a thread than to smooth.
constexpr int64_t kSmallestPart = 1 << 15;

// The whole signal, its positions split across the cores. A part's windows
// read past its end into the next part's first size - 1 samples, which must
// stay as they were until every part is done: each part but the first
// computes the means of those first positions from a copy of its start,
// aside, and writes them once all parts are done.
void SmoothAcrossCores(int32_t* samples, int32_t size,
                       const pellory::WindowPath& path) {
  const int64_t count = samples[0];
  const int64_t positions = count - 1;
  const int64_t held = size - 1;  // the positions of a part computed aside
  // A part at least four windows long: its copy lies within the part.
  const int parts = static_cast<int>(std::min<int64_t>(
      pellory::PartsFor(positions, kSmallestPart),
      std::max<int64_t>(positions / (4 * static_cast<int64_t>(size)), 1)));
  std::vector<std::vector<int32_t>> aside(static_cast<size_t>(parts));
  pellory::RunParts(parts, [&](int part) {
    const int64_t first = pellory::PartStart(1, positions, part, parts);
    const int64_t last = pellory::PartStart(1, positions, part + 1, parts) - 1;
    int64_t in_place = first;
    if (part > 0) {
      // The first `held` positions, from a copy of the samples their
      // windows read (1-based, as a signal's).
      // Element 0 is not read: the part before this one is replacing the
      // sample there.
      std::vector<int32_t>& copy = aside[static_cast<size_t>(part)];
      const int64_t copied = std::min(count - first + 1, held + size - 1);
      copy.assign(static_cast<size_t>(copied) + 1, 0);
      std::memcpy(copy.data() + 1, samples + first,
                  static_cast<size_t>(copied) * sizeof(int32_t));
      Smooth(copy.data(), count - first + 1, size, path, held);
      in_place = first + held;
    }
    // Positions in_place..last, as the signal seen from in_place - 1.
    Smooth(samples + in_place - 1, count - in_place + 1, size, path,
           last - in_place + 1);
  });
  for (int part = 1; part < parts; ++part) {
    const std::vector<int32_t>& copy = aside[static_cast<size_t>(part)];
    const int64_t first = pellory::PartStart(1, positions, part, parts);
    std::memcpy(samples + first, copy.data() + 1,
                static_cast<size_t>(held) * sizeof(int32_t));
  }
}

}  // namespace

namespace pellory {
namespace {

const WindowPath kWindowsPlain = {"plain", InstructionSet::kPlain, kLanes,
                                  WindowMeansStepByStep};

const WindowPath* const kWindowPaths[] = {
    PELLORY_AVX512_ROW(&kWindowsAvx512)  //
        PELLORY_AVX2_ROW(&kWindowsAvx2)  //
        & kWindowsPlain,
};

}  // namespace

std::span<const WindowPath* const> WindowPaths() { return kWindowPaths; }

const WindowPath& ChosenWindowPath() {
  static const WindowPath& chosen = FastestPath(WindowPaths());
  return chosen;
}

bool ReadSmoothSize(const std::string& parameter_text, int32_t* size) {
  std::istringstream inputvalues(parameter_text);
  // Size 0 has no mean and a negative size would zero the signal: both,
  // like a text without an integer, leave the samples unchanged.
  return (inputvalues >> *size) && *size >= 1;
}

void SmoothWith(int32_t* samples, int32_t size, const WindowPath& path) {
  if (samples[0] < 2) return;
  SmoothAcrossCores(samples, size, path);
}

}  // namespace pellory

std::string Parameters_Smooth() { return "Parameters; size - an integer"; }

void Filter_Smooth(int32_t* samples, std::string parameter_text) {
  int32_t size;
  if (!pellory::ReadSmoothSize(parameter_text, &size)) return;
  pellory::SmoothWith(samples, size, pellory::ChosenWindowPath());
}
