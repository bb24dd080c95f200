#include "host/cli/form.h"

#include <ostream>
#include <string>

#include "host/editor/file_actions.h"

namespace pellory {

int UsageError(const Console& console, const std::string& problem) {
  console.err << "Pellory: " << problem << "\nTry 'Pellory --help'.\n";
  return kExitUsage;
}

std::string StreamOrFile(const std::string& argument,
                         std::string_view standard) {
  return argument == "-" ? std::string(standard) : argument;
}

bool LoadForForm(const Console& console, const std::string& name,
                 std::vector<Signal>* channels, SignalFormat* format) {
  const Notice loaded =
      LoadChannelsFile(ErrorsConsole(console), channels, format, name);
  console.out.flush();
  if (!loaded.reason.empty()) {
    console.err << "Pellory: " << loaded.reason << "\n" << std::flush;
  }
  return !channels->empty();
}

}  // namespace pellory
