// Quillet.dll's own reading of its parameter text, and the filter on a path
// of its choosing, shared with the tests.
#ifndef PELLORY_PLUGINS_ECHO_ECHO_H_
#define PELLORY_PLUGINS_ECHO_ECHO_H_

#include <cstdint>
#include <string>

#include "plugins/echo/echo_kernels.h"

namespace pellory {

// Reads "factor<separator>delay". False when the text does not parse, the
// factor is not finite or the delay is below 1: the filter then leaves the
// samples unchanged.
bool ReadEchoParameters(const std::string& parameter_text, float* factor,
                        int32_t* delay);

// Echoes samples[1..samples[0]] with `factor` and `delay` (at least 1), a
// delay of 1 on `path`.
void EchoWith(int32_t* samples, float factor, int32_t delay,
              const EchoPath& path);

}  // namespace pellory

#endif  // PELLORY_PLUGINS_ECHO_ECHO_H_
