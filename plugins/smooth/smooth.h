// Mirrowen.dll's own reading of its parameter text, shared with the tests.
#ifndef PELLORY_PLUGINS_SMOOTH_SMOOTH_H_
#define PELLORY_PLUGINS_SMOOTH_SMOOTH_H_

#include <cstdint>
#include <string>

namespace pellory {

// Reads the window size. False when the text holds no integer or the size
// is below 1: the filter then leaves the samples unchanged.
bool ReadSmoothSize(const std::string& parameter_text, int32_t* size);

}  // namespace pellory

#endif  // PELLORY_PLUGINS_SMOOTH_SMOOTH_H_
