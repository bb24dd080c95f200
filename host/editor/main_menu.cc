#include "host/editor/main_menu.h"

#include <memory>
#include <string>
#include <utility>

#include "host/editor/filter_menu.h"
#include "host/editor/prompt.h"
#include "host/shown_names.h"
#include "host/editor/status_line.h"
#include "platform/console.h"
#include "platform/file.h"

namespace pellory {
namespace {

// What the menu does once an entry has run: show the next screen with what
// the entry has to say, or end the run because the input has ended.
struct Next {
  bool quit = false;
  Notice notice;
};

const Next kQuit = {true, {}};

Next LoadEntry(Editor& editor) {
  editor.out << "Enter File To Load...\n";
  std::string typed;
  if (!ReadWord(editor.in, &typed)) return kQuit;
  const std::string file_name = NameFromInput(editor.console, typed);
  editor.currentFileName = file_name;
  // Release the old signal before the new one allocates its buffer.
  editor.currentSignal.reset();
  editor.currentSignal = std::make_unique<Signal>();
  return {false, LoadSignalFile(editor, file_name)};
}

Next SaveEntry(Editor& editor) { return {false, SaveSignalFile(editor)}; }

Next SaveAsEntry(Editor& editor) {
  editor.out << "Enter file name to save as...";
  std::string typed;
  if (!ReadWord(editor.in, &typed)) return kQuit;
  const std::string file_name = NameFromInput(editor.console, typed);
  editor.currentFileName = file_name;
  return {false, SaveSignalFileAs(editor, file_name)};
}

Next DisplayEntry(Editor& editor) {
  DisplaySignal(editor);
  WaitForKey(editor.console);
  return {};
}

Next FilterEntry(Editor& editor) {
  Next next;
  next.quit = !FilterMenu(editor, &next.notice);
  return next;
}

struct MenuEntry {
  char key;
  const char* text;
  bool needs_signal;
  Next (*action)(Editor&);
};

// One table for printing the menu and for dispatching the selection.
constexpr MenuEntry kMenu[] = {
    {'1', "1 - Load Signal File\n", false, LoadEntry},
    {'2', "2 - Save Signal File\n", false, SaveEntry},
    {'3', "3 - Save Signal File as\n", false, SaveAsEntry},
    {'4', "4 - Display Current Signal File\n", false, DisplayEntry},
    {'5', "5 - Apply Filter To Current Signal File\n", true, FilterEntry},
};

std::string MenuText(const Editor& editor) {
  std::string text = "Current file loaded = ";
  if (editor.currentSignal == nullptr) {
    text += "None\n\n";
  } else {
    text += NameInOutput(editor.console, editor.currentFileName) + "\n\n";
  }
  text += "Enter Selection\n\n";
  for (const MenuEntry& entry : kMenu) {
    if (!entry.needs_signal || editor.currentSignal != nullptr) {
      text += entry.text;
    }
  }
  return text;
}

Next PerformSelection(Editor& editor, char selection) {
  for (const MenuEntry& entry : kMenu) {
    if (entry.key != selection) continue;
    if (entry.needs_signal && editor.currentSignal == nullptr) break;
    return entry.action(editor);
  }
  return {};
}

}  // namespace

void MainMenu(Editor& editor) {
  // A console that can no longer be written to ends the run: the user
  // would be answering menus nobody sees.
  while (editor.out) {
    std::string menu = MenuText(editor);
    editor.out << menu;
    char selection;
    {
      // A stop here (Ctrl-Z, then fg) brings the menu back.
      ScreenShownAfterStop shown_again(editor.console, std::move(menu));
      if (!ReadSelection(editor.in, &selection)) return;
    }
    // The read flushed the menu: a failure there ends the run with errno
    // still telling why.
    if (!editor.out) return;
    const Next next = PerformSelection(editor, selection);
    if (next.quit) return;
    NextScreen(editor, next.notice);
  }
}

namespace {

// A save of this file that was killed outright left its old content beside
// it: the user hears of it, whatever the load makes of the file itself.
Notice WithBackupNamed(Editor& editor, const std::string& file_name,
                       Notice notice) {
  const std::string backup = InterruptedSaveBackup(file_name);
  if (backup.empty()) return notice;
  if (!notice.reason.empty()) notice.reason += "\nPellory: ";
  notice.reason += NameInMessage(editor.console, file_name) +
                   " has a backup from an interrupted save: " +
                   NameInMessage(editor.console, backup);
  return notice;
}

// A name as the status line shows it: on the terminal `console.out` is.
std::string ShownName(const Editor& editor, const std::string& file_name) {
  return NameInOutput(editor.console, file_name);
}

Notice LoadAndTell(Editor& editor, const std::string& file_name) {
  Signal& signal = *editor.currentSignal;
  std::string err;
  Progress progress;
  StatusLine status(editor.console, "Loading " + ShownName(editor, file_name),
                    &progress);
  if (signal.Load(file_name, &err, &progress)) return {"File loaded\n", ""};
  // A failed load of a regular file is tried once more: a file that was
  // being replaced at that moment (a save from another program renames a
  // new version over it) reads whole now. A FIFO or a device is read once:
  // a second open would wait for another writer, or read other bytes.
  // Success on the second try prints nothing, as it always has; the menu
  // shows the file as the current one.
  progress.done = 0;
  if (file_name != kStandardInputName && IsRegularFile(file_name) &&
      signal.Load(file_name, &err, &progress)) {
    return {};
  }
  return {
      "File could not be loaded\n",
      "cannot load " + NameInMessage(editor.console, file_name) + ": " + err};
}

}  // namespace

Notice LoadSignalFile(Editor& editor, const std::string& file_name) {
  if (file_name == kStandardInputName) return LoadAndTell(editor, file_name);
  return WithBackupNamed(editor, file_name, LoadAndTell(editor, file_name));
}

namespace {

// Saves the current signal, if any, to `file_name`; a failure is said, with
// its reason, on the next screen.
Notice SaveCurrentSignal(Editor& editor, const std::string& file_name) {
  if (editor.currentSignal == nullptr) return {};
  const std::string shown = NameInMessage(editor.console, file_name);
  if (editor.currentSignal->data() == nullptr) {
    return {"", "cannot save " + shown + ": no signal is loaded"};
  }
  std::string err;
  Progress progress;
  StatusLine status(editor.console, "Saving " + ShownName(editor, file_name),
                    &progress);
  if (editor.currentSignal->Save(file_name, &err, &progress)) return {};
  return {"",
          "cannot save " + shown + ": " + err + "; the signal is still loaded"};
}

}  // namespace

Notice SaveSignalFile(Editor& editor) {
  return SaveCurrentSignal(editor, editor.currentFileName);
}

Notice SaveSignalFileAs(Editor& editor, const std::string& file_name) {
  return SaveCurrentSignal(editor, file_name);
}

void DisplaySignal(Editor& editor) {
  if (editor.currentSignal != nullptr) {
    editor.currentSignal->Display(editor.out);
  }
}

}  // namespace pellory
