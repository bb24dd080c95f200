// Reading the user's answers. Every reader returns false at the end of
// input, which ends the run: a menu never loops on a dead input.
#ifndef PELLORY_HOST_PROMPT_H_
#define PELLORY_HOST_PROMPT_H_

#include <cstdint>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>

namespace pellory {

// Reads one non-blank character; what follows it stays in the input.
bool ReadSelection(std::istream& in, char* selection);

// Reads one blank-delimited word.
bool ReadWord(std::istream& in, std::string* word);

// Reads a number by formatted extraction. When the input holds no number
// there (or one out of the type's range), the rest of that line is
// discarded, `retry_prompt` is printed and the number is read again.
bool ReadNumber(std::istream& in, std::ostream& out,
                std::string_view retry_prompt, float* value);
bool ReadNumber(std::istream& in, std::ostream& out,
                std::string_view retry_prompt, int32_t* value);

}  // namespace pellory

#endif  // PELLORY_HOST_PROMPT_H_
