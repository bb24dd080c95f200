// Running the real program on POSIX systems: through the shell, with a time
// limit and its peak memory measured.
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "tests/test_util.h"

namespace pellory {

RunResult RunPellory(const std::string& input,
                     const std::vector<std::string>& arguments) {
  WriteFile(".pellory-input", input);
  std::string quoted;
  for (const std::string& argument : arguments) {
    quoted += " '";
    for (const char c : argument)
      quoted += c == '\'' ? "'\\''" : std::string(1, c);
    quoted += "'";
  }
  const std::string bin = PELLORY_BIN_DIR;
  // A program built for another processor runs in its emulator, without
  // the peak memory measured.
  const std::string emulator = PELLORY_EMULATOR;
  const std::string program = emulator.empty()
                                  ? bin + "/peak_memory " + bin + "/Pellory"
                                  : emulator + " " + bin + "/Pellory";
  const std::string command = "timeout 60 " + program + quoted +
                              " < .pellory-input > .pellory-output"
                              " 2> .pellory-errors";
  const int status = std::system(command.c_str());
  RunResult result;
  result.output = ReadFile(".pellory-output");
  result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  // timeout's own status for a program it had to kill.
  if (result.exit_status == 124) result.exit_status = -1;
  const std::string errors = ReadFile(".pellory-errors");
  const size_t peak = errors.rfind("peak_kb ");
  result.peak_memory_kb =
      peak == std::string::npos ? 0 : std::atol(errors.c_str() + peak + 8);
  result.errors =
      errors.substr(0, peak == std::string::npos ? errors.size() : peak);
  for (const char* file :
       {".pellory-input", ".pellory-output", ".pellory-errors"}) {
    std::filesystem::remove(file);
  }
  return result;
}

std::string TextLines(const std::string& text) { return text; }

}  // namespace pellory
