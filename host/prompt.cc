#include "host/prompt.h"

#include <limits>

namespace pellory {
namespace {

template <typename Number>
bool ReadNumberOf(std::istream& in, std::ostream& out,
                  std::string_view retry_prompt, Number* value) {
  for (;;) {
    if (in >> *value) return true;
    if (in.eof()) return false;
    in.clear();
    in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    if (in.eof()) return false;
    out << retry_prompt;
  }
}

}  // namespace

bool ReadSelection(std::istream& in, char* selection) {
  return static_cast<bool>(in >> *selection);
}

bool ReadWord(std::istream& in, std::string* word) {
  return static_cast<bool>(in >> *word);
}

bool ReadNumber(std::istream& in, std::ostream& out,
                std::string_view retry_prompt, float* value) {
  return ReadNumberOf(in, out, retry_prompt, value);
}

bool ReadNumber(std::istream& in, std::ostream& out,
                std::string_view retry_prompt, int32_t* value) {
  return ReadNumberOf(in, out, retry_prompt, value);
}

}  // namespace pellory
