// The line that says what a long action is doing, on a terminal: shown once
// the action has run about a second, updated a few times a second, and
// erased when the action ends, before anything else is written. On a pipe
// or a file nothing is written at all.
#ifndef PELLORY_HOST_EDITOR_STATUS_LINE_H_
#define PELLORY_HOST_EDITOR_STATUS_LINE_H_

#include <cstdint>
#include <memory>
#include <string>

#include "host/signal/progress.h"
#include "platform/console.h"

namespace pellory {

// Shows "`doing`... 45%" (or "... 12 s" where no progress is known) while
// it lives. The action runs on the calling thread, which writes nothing to
// the console until the status line is gone.
class StatusLine {
 public:
  StatusLine(const Console& console, std::string doing,
             const Progress* progress = nullptr);
  StatusLine(const StatusLine&) = delete;
  StatusLine& operator=(const StatusLine&) = delete;
  ~StatusLine();

  struct Shared;

 private:
  std::shared_ptr<Shared> shared_;
};

// `value` with its thousands grouped by commas: 2,000,000.
std::string Grouped(int64_t value);

}  // namespace pellory

#endif  // PELLORY_HOST_EDITOR_STATUS_LINE_H_
