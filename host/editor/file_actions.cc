#include "host/editor/file_actions.h"

#include <ostream>
#include <string>

#include "host/editor/shown_names.h"
#include "host/editor/status_line.h"
#include "platform/file.h"

namespace pellory {
namespace {

// A save of this file that was killed outright left its old content beside
// it: the user hears of it, whatever the load makes of the file itself.
Notice WithBackupNamed(const Console& console, const std::string& file_name,
                       Notice notice) {
  const std::string backup = InterruptedSaveBackup(file_name);
  if (backup.empty()) return notice;
  if (!notice.reason.empty()) notice.reason += "\nPellory: ";
  notice.reason += NameInMessage(console, file_name) +
                   " has a backup from an interrupted save: " +
                   NameInMessage(console, backup);
  return notice;
}

Notice LoadAndTell(const Console& console, Signal* signal,
                   const std::string& file_name) {
  std::string err;
  Progress progress;
  // The status line is on the terminal `console.out` is.
  StatusLine status(console, "Loading " + NameInOutput(console, file_name),
                    &progress);
  if (signal->Load(file_name, &err, &progress)) return {"File loaded\n", ""};
  // A failed load of a regular file is tried once more: a file that was
  // being replaced at that moment (a save from another program renames a
  // new version over it) reads whole now. A FIFO or a device is read once:
  // a second open would wait for another writer, or read other bytes.
  // Success on the second try prints nothing, as it always has; the menu
  // shows the file as the current one.
  progress.done = 0;
  if (file_name != kStandardInputName && IsRegularFile(file_name) &&
      signal->Load(file_name, &err, &progress)) {
    return {};
  }
  return {"File could not be loaded\n",
          "cannot load " + NameInMessage(console, file_name) + ": " + err};
}

}  // namespace

Notice LoadSignalFile(const Console& console, Signal* signal,
                      const std::string& file_name) {
  if (file_name == kStandardInputName) {
    return LoadAndTell(console, signal, file_name);
  }
  return WithBackupNamed(console, file_name,
                         LoadAndTell(console, signal, file_name));
}

Notice SaveSignalFile(const Console& console, const Signal* signal,
                      const std::string& file_name) {
  if (signal == nullptr) return {};
  const std::string shown = NameInMessage(console, file_name);
  if (signal->data() == nullptr) {
    return {"", "cannot save " + shown + ": no signal is loaded"};
  }
  std::string err;
  Progress progress;
  StatusLine status(console, "Saving " + NameInOutput(console, file_name),
                    &progress);
  if (signal->Save(file_name, &err, &progress)) return {};
  return {"",
          "cannot save " + shown + ": " + err + "; the signal is still loaded"};
}

void DisplaySignal(std::ostream& out, const Signal* signal) {
  if (signal != nullptr) signal->Display(out);
}

}  // namespace pellory
