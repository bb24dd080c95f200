// Pellory: an interactive console editor for integer signals whose filters
// are plug-in libraries. Command-line arguments are ignored.
#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>

#include "cpu/parallel.h"
#include "host/editor.h"
#include "host/main_menu.h"
#include "platform/console.h"

int main() {
  // Decided once: whether the streams are terminals does not change in a
  // run.
  const pellory::Console console = {std::cin, std::cout, std::cerr,
                                    pellory::StandardInputIsTerminal(),
                                    pellory::StandardOutputIsTerminal()};
  pellory::BufferRedirectedOutput(console);
  const std::string threads_problem = pellory::ThreadCountProblem();
  if (!threads_problem.empty()) {
    std::cerr << "Pellory: " << threads_problem << "\n";
  }
  pellory::Editor editor(console);
  pellory::MainMenu(editor);
  // The menus stop at the first failed write; its errno is still here.
  const int error = errno;
  const bool reader_gone = pellory::OutputReaderGone();
  std::cout.flush();
  if (!std::cout && reader_gone) return 0;
  if (!std::cout) {
    std::cerr << "Pellory: write error: "
              << std::strerror(error != 0 ? error : EIO) << "\n";
    return 1;
  }
  return 0;
}
