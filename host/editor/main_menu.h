// The main menu: the loop in which the user loads, saves, displays and
// filters the current signal (the file actions behind its entries are in
// file_actions.h).
#ifndef PELLORY_HOST_EDITOR_MAIN_MENU_H_
#define PELLORY_HOST_EDITOR_MAIN_MENU_H_

#include <string>

#include "host/editor/editor.h"

namespace pellory {

// Shows the menu, performs one selection, moves to the next screen, and
// again, until the input ends or the output fails; then returns.
void MainMenu(Editor& editor);

}  // namespace pellory

#endif  // PELLORY_HOST_EDITOR_MAIN_MENU_H_
