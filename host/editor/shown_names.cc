#include "host/editor/shown_names.h"

#include <string>

#include "platform/file.h"

namespace pellory {
namespace {

// `coded` is the name as the stream takes it.
std::string Shown(const std::string& name, const std::string& coded,
                  bool terminal) {
  if (name == kStandardInputName) return "standard input";
  if (name == kStandardOutputName) return "standard output";
  return terminal ? ShownOnTerminal(coded) : coded;
}

}  // namespace

std::string NameInOutput(const Console& console, const std::string& name) {
  return Shown(name, NameForOutput(console, name), console.output_is_terminal);
}

std::string NameInUnicodeOutput(const Console& console,
                                const std::string& name) {
  return Shown(name, name, console.output_is_terminal);
}

std::string NameInMessage(const Console& console, const std::string& name) {
  // The code page is the one of the stream the message goes to.
  const Console errors = ErrorsConsole(console);
  return Shown(name, NameForOutput(errors, name), console.error_is_terminal);
}

}  // namespace pellory
