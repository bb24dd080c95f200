#include "host/editor/prompt.h"

#include <cctype>
#include <limits>
#include <sstream>

namespace pellory {
namespace {

bool IsBlank(int c) { return std::isspace(c) != 0; }

// Reads the next blank-delimited word, keeping at most `limit` bytes of it;
// the rest of a longer word is consumed and dropped. The blank after the
// word stays in the input. False when the input ends before a word.
// `*complete` says whether the whole word was kept.
bool ReadBoundedWord(std::istream& in, size_t limit, std::string* word,
                     bool* complete) {
  word->clear();
  *complete = true;
  std::istream::sentry skip_blanks(in);
  if (!skip_blanks) return false;
  std::streambuf* const input = in.rdbuf();
  for (int c = input->sgetc();; c = input->snextc()) {
    if (c == std::char_traits<char>::eof()) {
      in.setstate(std::ios::eofbit);
      break;
    }
    if (IsBlank(c)) break;
    if (word->size() < limit) {
      word->push_back(static_cast<char>(c));
    } else {
      *complete = false;
    }
  }
  return true;
}

template <typename Number>
bool ReadNumberOf(std::istream& in, std::ostream& out,
                  std::string_view retry_prompt, Number* value) {
  for (;;) {
    std::string word;
    bool complete;
    if (!ReadBoundedWord(in, kMaxNumberLength, &word, &complete)) return false;
    std::istringstream number(word);
    if (complete && number >> *value && number.peek() == EOF) return true;
    if (in.eof()) return false;
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
  bool complete;
  return ReadBoundedWord(in, kMaxWordLength + 1, word, &complete);
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
