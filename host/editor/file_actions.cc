#include "host/editor/file_actions.h"

#include <ostream>
#include <span>
#include <string>
#include <vector>

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

// Loads `file_name` with `load(err, progress)`, a status line showing it.
template <typename Load>
Notice LoadAndTell(const Console& console, const std::string& file_name,
                   Load load) {
  std::string err;
  Progress progress;
  // The status line is on the terminal `console.out` is.
  StatusLine status(console, "Loading " + NameInOutput(console, file_name),
                    &progress);
  if (load(&err, &progress)) return {"File loaded\n", ""};
  // A failed load of a regular file is tried once more: a file that was
  // being replaced at that moment (a save from another program renames a
  // new version over it) reads whole now. A FIFO or a device is read once:
  // a second open would wait for another writer, or read other bytes.
  // Success on the second try prints nothing, as it always has; the menu
  // shows the file as the current one.
  progress.done = 0;
  if (file_name != kStandardInputName && IsRegularFile(file_name) &&
      load(&err, &progress)) {
    return {};
  }
  return {"File could not be loaded\n",
          "cannot load " + NameInMessage(console, file_name) + ": " + err};
}

template <typename Load>
Notice LoadTellingBackups(const Console& console, const std::string& file_name,
                          Load load) {
  if (file_name == kStandardInputName) {
    return LoadAndTell(console, file_name, load);
  }
  return WithBackupNamed(console, file_name,
                         LoadAndTell(console, file_name, load));
}

// Says how many samples a save clipped to the file's width.
Notice Clipped(const Console& console, const std::string& file_name, int bits,
               int64_t clipped) {
  if (clipped == 0) return {};
  return {"", Grouped(clipped) + (clipped == 1 ? " sample" : " samples") +
                  " beyond " + std::to_string(bits) +
                  " bits were clipped to fit " +
                  NameInMessage(console, file_name)};
}

}  // namespace

Notice LoadSignalFile(const Console& console, Signal* signal,
                      const std::string& file_name) {
  return LoadTellingBackups(console, file_name,
                            [&](std::string* err, Progress* progress) {
                              return signal->Load(file_name, err, progress);
                            });
}

Notice LoadChannelsFile(const Console& console, std::vector<Signal>* channels,
                        SignalFormat* format, const std::string& file_name) {
  return LoadTellingBackups(
      console, file_name, [&](std::string* err, Progress* progress) {
        return LoadChannels(file_name, channels, format, err, progress);
      });
}

Notice SaveChannelsFile(const Console& console,
                        std::span<const Signal* const> channels,
                        const SignalFormat& format,
                        const std::string& file_name, std::string* err) {
  Progress progress;
  StatusLine status(console, "Saving " + NameInOutput(console, file_name),
                    &progress);
  int64_t clipped = 0;
  if (!SaveChannels(file_name, channels, format, &clipped, err, &progress)) {
    return {"",
            "cannot save " + NameInMessage(console, file_name) + ": " + *err};
  }
  return Clipped(console, file_name, format.bits, clipped);
}

Notice SaveSignalFile(const Console& console, Signal* signal,
                      const std::string& file_name, bool new_name) {
  if (signal == nullptr) return {};
  const std::string shown = NameInMessage(console, file_name);
  if (signal->data() == nullptr) {
    return {"", "cannot save " + shown + ": no signal is loaded"};
  }
  // Save as: the new name's extension chooses the format, which the file
  // keeps from then on.
  if (new_name) signal->set_format(FormatForName(file_name, signal->format()));
  std::string err;
  const Signal* const channels[] = {signal};
  Notice notice =
      SaveChannelsFile(console, channels, signal->format(), file_name, &err);
  if (!err.empty()) notice.reason += "; the signal is still loaded";
  return notice;
}

void DisplaySignal(std::ostream& out, const Signal* signal) {
  if (signal != nullptr) signal->Display(out);
}

}  // namespace pellory
