#include "host/editor/main_menu.h"

#include <memory>
#include <string>
#include <utility>

#include "host/editor/file_actions.h"
#include "host/editor/filter_menu.h"
#include "host/editor/prompt.h"
#include "host/editor/shown_names.h"
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
  return {false, LoadSignalFile(editor.console, editor.currentSignal.get(),
                                file_name)};
}

Next SaveEntry(Editor& editor) {
  return {false, SaveSignalFile(editor.console, editor.currentSignal.get(),
                                editor.currentFileName, false)};
}

Next SaveAsEntry(Editor& editor) {
  editor.out << "Enter file name to save as...";
  std::string typed;
  if (!ReadWord(editor.in, &typed)) return kQuit;
  const std::string file_name = NameFromInput(editor.console, typed);
  editor.currentFileName = file_name;
  return {false, SaveSignalFile(editor.console, editor.currentSignal.get(),
                                file_name, true)};
}

Next DisplayEntry(Editor& editor) {
  DisplaySignal(editor.out, editor.currentSignal.get());
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

}  // namespace pellory
