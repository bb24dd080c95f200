// Pellory: an interactive console editor for integer signals whose filters
// are plug-in libraries. Command-line arguments are ignored.
#include <iostream>

#include "host/editor.h"
#include "host/main_menu.h"

int main() {
  pellory::Editor editor(std::cin, std::cout);
  pellory::MainMenu(editor);
  return 0;
}
