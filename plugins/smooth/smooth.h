// Mirrowen.dll's own reading of its parameter text, and the filter on a
// path of its choosing, shared with the tests.
#ifndef PELLORY_PLUGINS_SMOOTH_SMOOTH_H_
#define PELLORY_PLUGINS_SMOOTH_SMOOTH_H_

#include <cstdint>
#include <string>

#include "plugins/smooth/window_means.h"

namespace pellory {

// Reads the window size. False when the text holds no integer or the size
// is below 1: the filter then leaves the samples unchanged.
bool ReadSmoothSize(const std::string& parameter_text, int32_t* size);

// Smooths samples[1..samples[0]] with windows of `size` (at least 1), the
// step-by-step windows on `path` (and narrower paths the processor has).
void SmoothWith(int32_t* samples, int32_t size, const WindowPath& path);

}  // namespace pellory

#endif  // PELLORY_PLUGINS_SMOOTH_SMOOTH_H_
