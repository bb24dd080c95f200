// Quillet.dll's own reading of its parameter text, shared with the tests.
#ifndef PELLORY_PLUGINS_ECHO_ECHO_H_
#define PELLORY_PLUGINS_ECHO_ECHO_H_

#include <cstdint>
#include <string>

namespace pellory {

// Reads "factor<separator>delay". False when the text does not parse, the
// factor is not finite or the delay is below 1: the filter then leaves the
// samples unchanged.
bool ReadEchoParameters(const std::string& parameter_text, float* factor,
                        int32_t* delay);

}  // namespace pellory

#endif  // PELLORY_PLUGINS_ECHO_ECHO_H_
