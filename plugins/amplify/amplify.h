// Tarrock.dll's own reading of its parameter text, shared with the tests.
#ifndef PELLORY_PLUGINS_AMPLIFY_AMPLIFY_H_
#define PELLORY_PLUGINS_AMPLIFY_AMPLIFY_H_

#include <string>

namespace pellory {

// The gain: the text converted as atof does (0 when nothing converts),
// stored in single precision.
float ReadGain(const std::string& parameter_text);

}  // namespace pellory

#endif  // PELLORY_PLUGINS_AMPLIFY_AMPLIFY_H_
