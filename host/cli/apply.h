// `Pellory apply INPUT OUTPUT STEP...`: a file through filters without the
// menus, bit for bit as the dialogue filters it with the same values.
#ifndef PELLORY_HOST_CLI_APPLY_H_
#define PELLORY_HOST_CLI_APPLY_H_

#include <string>
#include <vector>

#include "platform/console.h"

namespace pellory {

// Loads `arguments`[0] as the menu's Load does, applies each step of
// arguments[2..] in order ("smooth=SIZE", "echo=FACTOR,DELAY",
// "amplify=GAIN"), calling the plug-in as the dialogue does after the same
// values are typed, and saves the result as arguments[1] with the editor's
// saver ("-": standard input or output). Returns the exit status: usage
// errors (a malformed step) before anything is loaded.
int ApplyForm(const Console& console,
              const std::vector<std::string>& arguments);

}  // namespace pellory

#endif  // PELLORY_HOST_CLI_APPLY_H_
