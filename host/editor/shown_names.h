// How a file name reaches the user, in a result on standard output or a
// message on standard error: the standard streams a command line's "-"
// names by their names, any other name in the code page of the stream it
// is written to, and on a terminal with every character the terminal would
// act on shown as '?', so that no name sets the terminal's title or
// colours. On a pipe or a file a name is written as given, so that scripts
// read back what they passed.
#ifndef PELLORY_HOST_EDITOR_SHOWN_NAMES_H_
#define PELLORY_HOST_EDITOR_SHOWN_NAMES_H_

#include <string>

#include "platform/console.h"

namespace pellory {

// `name` as written to `console.out`.
std::string NameInOutput(const Console& console, const std::string& name);

// `name` as WriteUnicode writes it to `console.out`: in UTF-8 whatever the
// code page.
std::string NameInUnicodeOutput(const Console& console,
                                const std::string& name);

// `name` as written to `console.err`.
std::string NameInMessage(const Console& console, const std::string& name);

}  // namespace pellory

#endif  // PELLORY_HOST_EDITOR_SHOWN_NAMES_H_
