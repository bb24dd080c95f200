// The filter menu: lists the plug-in folder "DLL", loads the library the
// user picks, asks for its parameters and applies it to the current signal.
#ifndef PELLORY_HOST_FILTER_MENU_H_
#define PELLORY_HOST_FILTER_MENU_H_

#include "host/editor.h"

namespace pellory {

// Runs the filter menu until the user returns to the main menu or a filter
// has been applied, and ends with a screen clear. Needs a current signal.
// Returns false when the input ends.
bool FilterMenu(Editor& editor);

}  // namespace pellory

#endif  // PELLORY_HOST_FILTER_MENU_H_
