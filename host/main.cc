// Pellory: an interactive console editor for integer signals whose filters
// are plug-in libraries. With arguments, one of the command-line forms
// around it (host/command_line.h).
#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "cpu/parallel.h"
#include "host/cli/command_line.h"
#include "host/editor/editor.h"
#include "host/editor/main_menu.h"
#include "platform/console.h"

int main(int argc, char** argv) {
  // Decided once: whether the streams are terminals does not change in a
  // run.
  const pellory::Console console = {std::cin,
                                    std::cout,
                                    std::cerr,
                                    pellory::StandardInputIsTerminal(),
                                    pellory::StandardOutputIsTerminal(),
                                    pellory::StandardErrorIsTerminal()};
  pellory::BufferRedirectedOutput(console);
  const std::string threads_problem = pellory::ThreadCountProblem();
  if (!threads_problem.empty()) {
    std::cerr << "Pellory: " << threads_problem << "\n";
  }
  const std::vector<std::string> arguments =
      pellory::CommandLineArguments(argc, argv);
  int status = 0;
  if (arguments.empty()) {
    pellory::Editor editor(console);
    pellory::MainMenu(editor);
  } else {
    status = pellory::RunCommandLine(console, arguments);
  }
  // The menus stop at the first failed write; its errno is still here.
  const int error = errno;
  const bool reader_gone = pellory::OutputReaderGone();
  std::cout.flush();
  if (!std::cout && reader_gone) return status;
  if (!std::cout) {
    std::cerr << "Pellory: write error: "
              << std::strerror(error != 0 ? error : EIO) << "\n";
    return 1;
  }
  return status;
}
