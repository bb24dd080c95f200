// The editor's state for one run: the console streams, the current signal
// and the current file name.
#ifndef PELLORY_HOST_EDITOR_H_
#define PELLORY_HOST_EDITOR_H_

#include <istream>
#include <memory>
#include <ostream>
#include <string>

#include "host/signal.h"

namespace pellory {

struct Editor {
  Editor(std::istream& input, std::ostream& output) : in(input), out(output) {}

  std::istream& in;
  std::ostream& out;
  // None until the first Load; from then on present, even when that load
  // failed and left it without a buffer.
  std::unique_ptr<Signal> currentSignal;
  // The last name the user typed for Load or Save as; the target of Save.
  std::string currentFileName;
};

}  // namespace pellory

#endif  // PELLORY_HOST_EDITOR_H_
