// Quillet.dll: adds to each sample the sample `delay` positions earlier,
// scaled by `factor`, front to back, so that echoes are echoed again.
#include <cmath>
#include <sstream>
#include <string>

#include "plugin_api/filter_plugin.h"
#include "plugin_api/sample_math.h"

std::string Parameters_Echo() {
  return "Parameters: factor - a float, delay - an integer";
}

void Filter_Echo(int32_t* samples, std::string parameters) {
  std::istringstream inputvalues(parameters);
  float factor;
  char token;  // the separator; whatever it is, it is not examined
  int32_t delay;
  if (!(inputvalues >> factor >> token >> delay)) return;
  // A delay of 0 would make each sample its own echo, a negative one would
  // reach before the first sample: neither is an echo, so nothing changes.
  if (!std::isfinite(factor) || delay < 1) return;

  const int64_t count = samples[0];
  // Echoes whose destination lies beyond the last sample are dropped.
  for (int64_t source = 1; source + delay <= count; ++source) {
    const int64_t destination = source + delay;
    const float echo = static_cast<float>(static_cast<double>(samples[source]) *
                                          static_cast<double>(factor));
    const double sum =
        static_cast<double>(samples[destination]) + static_cast<double>(echo);
    samples[destination] = pellory::TruncateToSample(sum);
  }
}
