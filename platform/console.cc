// The terminal services every platform shares.
#include "platform/console.h"

#include <atomic>
#include <ostream>
#include <string>
#include <string_view>

namespace pellory {

Console ErrorsConsole(const Console& console) {
  return Console{console.in,
                 console.err,
                 console.err,
                 console.input_is_terminal,
                 console.error_is_terminal,
                 console.error_is_terminal,
                 true};
}

std::atomic<int> LineInPlace::shown_columns_{0};

void LineInPlace::Draw(std::string_view text) {
  // Over the line drawn before: "\r", the text, blanks up to the old
  // length; an erased line leaves the cursor at its start. A column is a
  // character: every byte but UTF-8's continuation bytes.
  int columns = 0;
  for (const char c : text) {
    columns += (static_cast<unsigned char>(c) & 0xc0) != 0x80;
  }
  const int shown = shown_columns_.load();
  if (text.empty() && shown == 0) return;
  std::string line = "\r";
  line += text;
  if (columns < shown) line.append(static_cast<size_t>(shown - columns), ' ');
  if (text.empty()) line += '\r';
  out_.write(line.data(), static_cast<std::streamsize>(line.size()));
  out_.flush();
  shown_columns_ = columns;
}

}  // namespace pellory
