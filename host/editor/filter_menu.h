// The filter menu: lists the plug-in folder "DLL", loads the library the
// user picks, asks for its parameters and applies it to the current signal.
#ifndef PELLORY_HOST_EDITOR_FILTER_MENU_H_
#define PELLORY_HOST_EDITOR_FILTER_MENU_H_

#include "host/editor/editor.h"

namespace pellory {

// Clears the screen and runs the filter menu until the user returns to the
// main menu or a filter has been applied; `notice` then holds what the main
// menu's next screen shows. Needs a current signal. Returns false when the
// input ends.
bool FilterMenu(Editor& editor, Notice* notice);

}  // namespace pellory

#endif  // PELLORY_HOST_EDITOR_FILTER_MENU_H_
