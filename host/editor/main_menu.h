// The main menu: the loop in which the user loads, saves, displays and
// filters the current signal, and the file actions behind its entries.
#ifndef PELLORY_HOST_MAIN_MENU_H_
#define PELLORY_HOST_MAIN_MENU_H_

#include <string>

#include "host/editor/editor.h"

namespace pellory {

// Shows the menu, performs one selection, moves to the next screen, and
// again, until the input ends or the output fails; then returns.
void MainMenu(Editor& editor);

// The actions behind entries 1 to 4. Each returns what it has to tell the
// user on the next screen.
//
// Loads `file_name` into the current signal: "File loaded\n", or "File
// could not be loaded\n" and the reason.
Notice LoadSignalFile(Editor& editor, const std::string& file_name);
// Saves the current signal, if any, to the current file name.
Notice SaveSignalFile(Editor& editor);
// Saves the current signal, if any, to `file_name`.
Notice SaveSignalFileAs(Editor& editor, const std::string& file_name);
// Prints the current signal, if any.
void DisplaySignal(Editor& editor);

}  // namespace pellory

#endif  // PELLORY_HOST_MAIN_MENU_H_
