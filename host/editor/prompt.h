// Reading the user's answers. Every reader returns false at the end of
// input, which ends the run: a menu never loops on a dead input. Input is
// read in bounded memory however long a typed word is.
#ifndef PELLORY_HOST_EDITOR_PROMPT_H_
#define PELLORY_HOST_EDITOR_PROMPT_H_

#include <cstddef>
#include <cstdint>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>

namespace pellory {

// The longest path the system takes; a longer word is kept only to one byte
// past it, so it still names no file.
inline constexpr size_t kMaxWordLength = 4096;
// A number typed longer than this is not taken as a number.
inline constexpr size_t kMaxNumberLength = 512;

// Reads one non-blank character; what follows it stays in the input.
bool ReadSelection(std::istream& in, char* selection);

// Reads one blank-delimited word, cut to kMaxWordLength + 1 bytes.
bool ReadWord(std::istream& in, std::string* word);

// Reads a number: the whole blank-delimited word must be one, as formatted
// extraction reads it ("2,5", "0x10", "1.5" for an integer, or a number out
// of the type's range are not). Otherwise the rest of that line is
// discarded, `retry_prompt` is printed and the number is read again.
bool ReadNumber(std::istream& in, std::ostream& out,
                std::string_view retry_prompt, float* value);
bool ReadNumber(std::istream& in, std::ostream& out,
                std::string_view retry_prompt, int32_t* value);

}  // namespace pellory

#endif  // PELLORY_HOST_EDITOR_PROMPT_H_
