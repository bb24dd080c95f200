#include "host/editor/filter_menu.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "host/editor/plugin_dialogues.h"
#include "host/editor/prompt.h"
#include "host/editor/shown_names.h"
#include "host/editor/status_line.h"
#include "platform/console.h"
#include "platform/dir_list.h"

namespace pellory {
namespace {

constexpr char kPluginFolder[] = "DLL";
constexpr char kReturnEntry[] = "Return";

// How one pass of the menu ends, and what the next screen shows.
struct Outcome {
  enum Kind { kShowMenuAgain, kBackToMainMenu, kQuit } kind;
  Notice notice;
};

// Adds the numbered entries of the plug-in folder and the Return line to
// `screen`, and returns the entry table: slot 0 empty, the entries, then
// "Return".
std::vector<std::string> ListEntries(const Editor& editor,
                                     std::string* screen) {
  std::vector<std::string> names;
  if (ListDirectory(kPluginFolder, &names)) {
    for (size_t i = 0; i < names.size(); ++i) {
      *screen += std::to_string(i + 1) + " - " +
                 NameInOutput(editor.console, names[i]) + "\n";
    }
    *screen += std::to_string(names.size() + 1) + " - Return To Main Menu\n";
  } else {
    *screen += "No DLLs found";
  }
  std::vector<std::string> table;
  table.reserve(names.size() + 2);
  table.emplace_back();
  for (std::string& name : names) table.push_back(std::move(name));
  table.emplace_back(kReturnEntry);
  return table;
}

Outcome ApplyPlugin(Editor& editor, const KnownPlugin& plugin) {
  int32_t* samples = editor.currentSignal->data();
  if (samples == nullptr) {
    return {Outcome::kBackToMainMenu, {"No signal loaded\n", ""}};
  }
  PluginExports exports;
  std::string err;
  if (!LoadPlugin(plugin, &exports, &err)) {
    return {Outcome::kShowMenuAgain,
            {std::string(plugin.library) + " could not be loaded\n", ""}};
  }
  editor.out << exports.describe();
  std::string parameter_text;
  if (!plugin.ask_parameters(editor, &parameter_text)) {
    return {Outcome::kQuit, {}};
  }
  {
    StatusLine status(editor.console, std::string(plugin.doing) + " " +
                                          Grouped(samples[0]) + " samples (" +
                                          parameter_text + ")");
    exports.filter(samples, parameter_text);
  }
  return {Outcome::kBackToMainMenu, {}};
}

Outcome RunOnce(Editor& editor) {
  std::string screen;
  const std::vector<std::string> table = ListEntries(editor, &screen);
  screen += "\nEnter Selection... ";
  editor.out << screen;
  char Inpt;
  {
    // A stop here (Ctrl-Z, then fg) brings the menu back.
    ScreenShownAfterStop shown_again(editor.console, std::move(screen));
    if (!ReadSelection(editor.in, &Inpt)) return {Outcome::kQuit, {}};
  }
  size_t value =
      Inpt >= '0' && Inpt <= '9' ? static_cast<size_t>(Inpt - '0') : 0;
  // The selection is one digit, and where the menu lists ten entries or
  // more, the digits typed with it: a number that names no entry shows the
  // menu again, and leaves none of its digits to answer a prompt.
  const size_t highest = table.size() - 1;
  while (value > 0 && highest >= 10) {
    const int next = editor.in.peek();
    if (next < '0' || next > '9') break;
    editor.in.get();
    value = std::min(value * 10 + static_cast<size_t>(next - '0'), highest + 1);
  }
  if (value > highest) return {Outcome::kShowMenuAgain, {}};
  const std::string& entry = table[value];
  if (const KnownPlugin* plugin = FindKnownPlugin(entry)) {
    return ApplyPlugin(editor, *plugin);
  }
  return {entry == kReturnEntry ? Outcome::kBackToMainMenu
                                : Outcome::kShowMenuAgain,
          {}};
}

}  // namespace

bool FilterMenu(Editor& editor, Notice* notice) {
  Notice shown;
  for (;;) {
    NextScreen(editor, shown);
    Outcome outcome = RunOnce(editor);
    switch (outcome.kind) {
      case Outcome::kShowMenuAgain:
        shown = std::move(outcome.notice);
        continue;
      case Outcome::kBackToMainMenu:
        *notice = std::move(outcome.notice);
        return true;
      case Outcome::kQuit:
        return false;
    }
  }
}

}  // namespace pellory
