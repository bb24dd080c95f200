#include "host/plugin_catalog.h"

#include <cctype>
#include <sstream>

#include "host/prompt.h"
#include "platform/library.h"

namespace pellory {
namespace {

constexpr char kAmplifyPrompt[] = "\nEnter amount to amplify by...";
constexpr char kFactorPrompt[] = "\nEnter factor... ";
constexpr char kFactorRange[] = "Enter a value between 0 and 1... \n";
constexpr char kDelayPrompt[] = "\nEnter delay... ";
constexpr char kSizePrompt[] = "\nEnter size... ";

// Each dialogue builds its parameter text with a string stream, so floats
// travel in the stream's default format (six significant digits): the
// filter receives the value as the text shows it, not the digits typed.
bool AskAmplify(Editor& editor, std::string* parameter_text) {
  editor.out << kAmplifyPrompt;
  float AmpAmount;
  if (!ReadNumber(editor.in, editor.out, kAmplifyPrompt, &AmpAmount)) {
    return false;
  }
  std::ostringstream sstr;
  sstr << AmpAmount;
  *parameter_text = sstr.str();
  return true;
}

bool AskEcho(Editor& editor, std::string* parameter_text) {
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
  *parameter_text = sstr.str();
  return true;
}

bool AskSmooth(Editor& editor, std::string* parameter_text) {
  editor.out << kSizePrompt;
  int32_t size;
  if (!ReadNumber(editor.in, editor.out, kSizePrompt, &size)) return false;
  std::ostringstream sstr;
  sstr << size;
  *parameter_text = sstr.str();
  return true;
}

}  // namespace

const KnownPlugin kAmplifyPlugin = {"Tarrock.dll",
                                    kParametersAmplifyExport,
                                    kFilterAmplifyExport,
                                    AskAmplify,
                                    "Amplifying",
                                    "amplify",
                                    1};
const KnownPlugin kEchoPlugin = {"Quillet.dll",
                                 kParametersEchoExport,
                                 kFilterEchoExport,
                                 AskEcho,
                                 "Echoing",
                                 "echo",
                                 2};
const KnownPlugin kSmoothPlugin = {"Mirrowen.dll",
                                   kParametersSmoothExport,
                                   kFilterSmoothExport,
                                   AskSmooth,
                                   "Smoothing",
                                   "smooth",
                                   1};

const KnownPlugin* FindKnownPlugin(const std::string& entry) {
  for (const KnownPlugin* plugin :
       {&kAmplifyPlugin, &kEchoPlugin, &kSmoothPlugin}) {
    if (entry == plugin->library) return plugin;
  }
  return nullptr;
}

const KnownPlugin* FindPluginForStep(const std::string& name) {
  std::string lower;
  for (const char c : name) {
    lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  for (const KnownPlugin* plugin :
       {&kAmplifyPlugin, &kEchoPlugin, &kSmoothPlugin}) {
    std::string library = plugin->library;
    library = library.substr(0, library.find('.'));
    for (char& c : library) {
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (lower == plugin->step || lower == library) return plugin;
  }
  return nullptr;
}

bool ParameterTextFor(const KnownPlugin& plugin, const std::string& values,
                      std::string* parameter_text) {
  // The values typed one after the other, each followed by Enter: the
  // dialogue itself reads them, so that they are accepted, refused and
  // turned into text exactly as typed ones are. A value it asks again for
  // takes the next line, so that one value a prompt leaves a line over,
  // or one too few.
  std::string typed = values;
  int lines = 1;
  for (char& c : typed) {
    if (c == ',') {
      c = '\n';
      ++lines;
    }
  }
  if (lines != plugin.values) return false;
  std::istringstream in(typed + "\n");
  std::ostringstream prompts;
  std::ostringstream errors;
  Editor editor(in, prompts, errors);
  if (!plugin.ask_parameters(editor, parameter_text)) return false;
  std::string rest;
  return !(in >> rest);
}

bool LoadPlugin(const KnownPlugin& plugin, PluginExports* exports,
                std::string* err) {
  Library library;
  if (!library.Load(plugin.library, err)) return false;
  // The contract declares both exports with exactly these types, so the
  // casts agree with the plug-ins' definitions.
  exports->describe = reinterpret_cast<ParametersFunction>(
      library.FindSymbol(plugin.parameters_export, err));
  if (exports->describe == nullptr) return false;
  exports->filter = reinterpret_cast<FilterFunction>(
      library.FindSymbol(plugin.filter_export, err));
  return exports->filter != nullptr;
}

}  // namespace pellory
