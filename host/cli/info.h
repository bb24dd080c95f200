// `Pellory info FILE...`: what a signal's numbers add up to. The sums are
// kept whole (the squares in 128 bits), so that the mean and the root mean
// square are printed correctly rounded to every digit shown.
#ifndef PELLORY_HOST_CLI_INFO_H_
#define PELLORY_HOST_CLI_INFO_H_

#include <cstdint>
#include <string>
#include <vector>

#include "host/signal/signal.h"
#include "host/signal/signal_format.h"
#include "platform/console.h"

namespace pellory {

struct SignalSummary {
  int64_t samples = 0;
  int32_t min = 0;
  int32_t max = 0;
  int64_t sum = 0;
  // The sum of the squares, as its high and low 64 bits.
  uint64_t squares_high = 0;
  uint64_t squares_low = 0;
  // Samples at the limits of the width (32 bits, or an audio file's),
  // where a filter or a recording clipped them.
  int64_t at_limits = 0;
};

// The summary of `count` samples of `bits` bits, on every core.
SignalSummary Summarize(const int32_t* samples, int64_t count, int bits = 32);

// The block `info` prints for the file `name`: "file: ", "samples: ",
// "min: ", "max: ", "mean: ", "rms: ", "at limits: " lines and a blank
// line. Mean and rms have six decimals, or seven significant digits below
// 1, correctly rounded (halves away from zero); "-" where there are no
// samples.
std::string SummaryText(const std::string& name, const SignalSummary& summary);

// The block for an audio file: "file: ", "format: ", "channels: ",
// "duration: " and "limits: " (of its width) lines, then each channel's
// figures as above ("channel 2:" before each where there are more than
// one), and a blank line.
std::string AudioSummaryText(const std::string& name,
                             const SignalFormat& format,
                             const std::vector<Signal>& channels);

// Loads each of `files` as the menu's Load does and prints its block; a
// file that cannot be loaded gets its reason on standard error in its
// place. Returns the exit status: 1 when any could not be loaded.
int InfoForm(const Console& console, const std::vector<std::string>& arguments);

}  // namespace pellory

#endif  // PELLORY_HOST_CLI_INFO_H_
