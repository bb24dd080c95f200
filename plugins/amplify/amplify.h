// Tarrock.dll's own reading of its parameter text, shared with the tests.
#ifndef PELLORY_PLUGINS_AMPLIFY_AMPLIFY_H_
#define PELLORY_PLUGINS_AMPLIFY_AMPLIFY_H_

#include <string>

namespace pellory {

// The gain: the text converted as atof does (leading blanks, sign, digits,
// decimal point, exponent; 0 when nothing converts; no "inf", "nan" or
// hexadecimal), stored in single precision.
float ReadGain(const std::string& parameter_text);

}  // namespace pellory

#endif  // PELLORY_PLUGINS_AMPLIFY_AMPLIFY_H_
