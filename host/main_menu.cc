#include "host/main_menu.h"

#include <memory>

#include "host/filter_menu.h"
#include "host/prompt.h"
#include "platform/console.h"

namespace pellory {
namespace {

// What the menu does once an entry has run.
enum class Next {
  kClearScreen,  // clear, then show the menu again
  kShowMenu,     // the entry cleared the screen itself
  kQuit,         // the input has ended
};

Next LoadEntry(Editor& editor) {
  editor.out << "Enter File To Load...\n";
  std::string file_name;
  if (!ReadWord(editor.in, &file_name)) return Next::kQuit;
  editor.currentFileName = file_name;
  // Release the old signal before the new one allocates its buffer.
  editor.currentSignal.reset();
  editor.currentSignal = std::make_unique<Signal>();
  LoadSignalFile(editor, file_name);
  return Next::kClearScreen;
}

Next SaveEntry(Editor& editor) {
  SaveSignalFile(editor);
  return Next::kClearScreen;
}

Next SaveAsEntry(Editor& editor) {
  editor.out << "Enter file name to save as...";
  std::string file_name;
  if (!ReadWord(editor.in, &file_name)) return Next::kQuit;
  editor.currentFileName = file_name;
  SaveSignalFileAs(editor, file_name);
  return Next::kClearScreen;
}

Next DisplayEntry(Editor& editor) {
  DisplaySignal(editor);
  WaitForKey(editor.in, editor.out);
  return Next::kClearScreen;
}

Next FilterEntry(Editor& editor) {
  ClearScreen(editor.out);
  return FilterMenu(editor) ? Next::kShowMenu : Next::kQuit;
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

void ShowMenu(Editor& editor) {
  editor.out << "Current file loaded = ";
  if (editor.currentSignal == nullptr) {
    editor.out << "None\n\n";
  } else {
    editor.out << editor.currentFileName << "\n\n";
  }
  editor.out << "Enter Selection\n\n";
  for (const MenuEntry& entry : kMenu) {
    if (!entry.needs_signal || editor.currentSignal != nullptr) {
      editor.out << entry.text;
    }
  }
}

Next PerformSelection(Editor& editor, char selection) {
  for (const MenuEntry& entry : kMenu) {
    if (entry.key != selection) continue;
    if (entry.needs_signal && editor.currentSignal == nullptr) break;
    return entry.action(editor);
  }
  return Next::kClearScreen;
}

}  // namespace

void MainMenu(Editor& editor) {
  for (;;) {
    ShowMenu(editor);
    char selection;
    if (!ReadSelection(editor.in, &selection)) return;
    const Next next = PerformSelection(editor, selection);
    if (next == Next::kQuit) return;
    if (next == Next::kClearScreen) ClearScreen(editor.out);
  }
}

void LoadSignalFile(Editor& editor, const std::string& file_name) {
  Signal& signal = *editor.currentSignal;
  if (signal.Load(file_name)) {
    editor.out << "File loaded\n";
  } else if (!signal.Load(file_name)) {
    editor.out << "File could not be loaded\n";
  }
}

void SaveSignalFile(Editor& editor) {
  if (editor.currentSignal != nullptr) {
    editor.currentSignal->Save(editor.currentFileName);
  }
}

void SaveSignalFileAs(Editor& editor, const std::string& file_name) {
  if (editor.currentSignal != nullptr) editor.currentSignal->Save(file_name);
}

void DisplaySignal(Editor& editor) {
  if (editor.currentSignal != nullptr) {
    editor.currentSignal->Display(editor.out);
  }
}

}  // namespace pellory
