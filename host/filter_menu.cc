#include "host/filter_menu.h"

#include <sstream>
#include <string>
#include <vector>

#include "host/prompt.h"
#include "platform/console.h"
#include "platform/dir_list.h"
#include "platform/library.h"
#include "plugin_api/filter_plugin.h"

namespace pellory {
namespace {

constexpr char kPluginFolder[] = "DLL";
constexpr char kReturnEntry[] = "Return";
// Only one digit is read, so entries past 4 cannot be chosen.
constexpr int kHighestSelection = 4;

constexpr char kAmplifyPrompt[] = "\nEnter amount to amplify by...";
constexpr char kFactorPrompt[] = "\nEnter factor... ";
constexpr char kFactorRange[] = "Enter a value between 0 and 1... \n";
constexpr char kDelayPrompt[] = "\nEnter delay... ";
constexpr char kSizePrompt[] = "\nEnter size... ";

// Parameter dialogs. Each asks for its filter's parameters and builds the
// parameter text with a string stream, so floats travel in the stream's
// default format (six significant digits): the filter receives the value
// as the text shows it. False when the input ends.
bool AskAmplify(Editor& editor, std::string* parameters) {
  editor.out << kAmplifyPrompt;
  float AmpAmount;
  if (!ReadNumber(editor.in, editor.out, kAmplifyPrompt, &AmpAmount)) {
    return false;
  }
  std::ostringstream sstr;
  sstr << AmpAmount;
  *parameters = sstr.str();
  return true;
}

bool AskEcho(Editor& editor, std::string* parameters) {
  editor.out << kFactorPrompt;
  float factor;
  if (!ReadNumber(editor.in, editor.out, kFactorRange, &factor)) return false;
  while (factor < 0.0f || factor > 1.0f) {
    editor.out << kFactorRange;
    if (!ReadNumber(editor.in, editor.out, kFactorRange, &factor)) {
      return false;
    }
  }
  editor.out << kDelayPrompt;
  int32_t delay;
  if (!ReadNumber(editor.in, editor.out, kDelayPrompt, &delay)) return false;
  std::ostringstream sstr;
  sstr << factor << ',' << delay;
  *parameters = sstr.str();
  return true;
}

bool AskSmooth(Editor& editor, std::string* parameters) {
  editor.out << kSizePrompt;
  int32_t size;
  if (!ReadNumber(editor.in, editor.out, kSizePrompt, &size)) return false;
  std::ostringstream sstr;
  sstr << size;
  *parameters = sstr.str();
  return true;
}

struct KnownPlugin {
  const PluginNames* names;
  bool (*ask_parameters)(Editor&, std::string*);
};

// In the order entries are compared with them.
constexpr KnownPlugin kKnownPlugins[] = {
    {&kAmplifyPlugin, AskAmplify},
    {&kEchoPlugin, AskEcho},
    {&kSmoothPlugin, AskSmooth},
};

const KnownPlugin* FindKnownPlugin(const std::string& entry) {
  for (const KnownPlugin& plugin : kKnownPlugins) {
    if (entry == plugin.names->library) return &plugin;
  }
  return nullptr;
}

enum class Outcome { kShowMenuAgain, kBackToMainMenu, kQuit };

// Prints the numbered entries of the plug-in folder and the Return line, and
// returns the entry table: slot 0 empty, the entries, then "Return".
std::vector<std::string> ShowEntries(Editor& editor) {
  std::vector<std::string> names;
  if (ListDirectory(kPluginFolder, &names)) {
    for (size_t i = 0; i < names.size(); ++i) {
      editor.out << i + 1 << " - " << names[i] << "\n";
    }
    editor.out << names.size() + 1 << " - Return To Main Menu\n";
  } else {
    editor.out << "No DLLs found";
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
    ClearScreen(editor.out);
    editor.out << "No signal loaded\n";
    return Outcome::kBackToMainMenu;
  }

  Library library;
  std::string err;
  FilterFunction filter = nullptr;
  ParametersFunction parameters = nullptr;
  if (library.Load(plugin.names->library, &err)) {
    filter = library.FindFilterFunction(plugin.names->filter_export, &err);
    parameters =
        library.FindParametersFunction(plugin.names->parameters_export, &err);
  }
  if (filter == nullptr || parameters == nullptr) {
    ClearScreen(editor.out);
    editor.out << plugin.names->library << " could not be loaded\n";
    return Outcome::kShowMenuAgain;
  }

  editor.out << parameters();
  std::string parameter_text;
  if (!plugin.ask_parameters(editor, &parameter_text)) return Outcome::kQuit;
  filter(samples, parameter_text);
  ClearScreen(editor.out);
  return Outcome::kBackToMainMenu;
}

Outcome RunOnce(Editor& editor) {
  const std::vector<std::string> table = ShowEntries(editor);
  editor.out << "\nEnter Selection... ";
  char Inpt;
  if (!ReadSelection(editor.in, &Inpt)) return Outcome::kQuit;
  const int value = Inpt >= '0' && Inpt <= '9' ? Inpt - '0' : 0;
  // Selections past the table's last slot name nothing, like an unknown
  // file.
  if (value > kHighestSelection || static_cast<size_t>(value) >= table.size()) {
    ClearScreen(editor.out);
    return Outcome::kShowMenuAgain;
  }
  const std::string& entry = table[static_cast<size_t>(value)];
  if (const KnownPlugin* plugin = FindKnownPlugin(entry)) {
    return ApplyPlugin(editor, *plugin);
  }
  ClearScreen(editor.out);
  return entry == kReturnEntry ? Outcome::kBackToMainMenu
                               : Outcome::kShowMenuAgain;
}

}  // namespace

bool FilterMenu(Editor& editor) {
  for (;;) {
    switch (RunOnce(editor)) {
      case Outcome::kShowMenuAgain:
        continue;
      case Outcome::kBackToMainMenu:
        return true;
      case Outcome::kQuit:
        return false;
    }
  }
}

}  // namespace pellory
