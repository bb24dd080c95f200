// The editor's state for one run: the console, the current signal and the
// current file name; and how the menus pass from one screen to the next.
#ifndef PELLORY_HOST_EDITOR_EDITOR_H_
#define PELLORY_HOST_EDITOR_EDITOR_H_

#include <istream>
#include <memory>
#include <ostream>
#include <string>

#include "host/editor/file_actions.h"
#include "host/signal/signal.h"
#include "platform/console.h"

namespace pellory {

struct Editor {
  explicit Editor(const Console& terminal)
      : console(terminal), in(console.in), out(console.out) {}
  // An editor on plain streams, none of them a terminal.
  Editor(std::istream& input, std::ostream& output, std::ostream& errors)
      : Editor(Console{input, output, errors}) {}

  const Console console;
  std::istream& in;
  std::ostream& out;
  // None until the first Load; from then on present, even when that load
  // failed and left it without a buffer.
  std::unique_ptr<Signal> currentSignal;
  // The last name the user typed for Load or Save as; the target of Save.
  std::string currentFileName;
};

// Clears the screen and shows `notice`: the one way from a screen to the
// next, so an outcome is never wiped before the user sees it.
inline void NextScreen(const Editor& editor, const Notice& notice) {
  ClearScreen(editor.console);
  editor.out << notice.message;
  if (!notice.reason.empty()) {
    editor.out.flush();
    editor.console.err << "Pellory: " << notice.reason << "\n" << std::flush;
  }
}

}  // namespace pellory

#endif  // PELLORY_HOST_EDITOR_EDITOR_H_
