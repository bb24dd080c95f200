#include "host/editor/plugin_dialogues.h"

#include <cctype>
#include <sstream>
#include <string>
#include <vector>

#include "host/editor/prompt.h"
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

// Whether `typed` is a value the dialogue takes at a prompt for a `Number`:
// one it refuses leaves the prompt asking again at the end of the input.
template <typename Number>
bool IsNumber(const std::string& typed, Number* value) {
  std::istringstream in(typed + "\n");
  std::ostringstream prompts;
  return ReadNumber(in, prompts, "", value);
}

bool IsGain(const std::string& typed) {
  float gain;
  return IsNumber(typed, &gain);
}

bool IsFactor(const std::string& typed) {
  float factor;
  return IsNumber(typed, &factor) && !(factor < 0.0f || factor > 1.0f);
}

bool IsWholeNumber(const std::string& typed) {
  int32_t whole;
  return IsNumber(typed, &whole);
}

constexpr StepValue kAmplifyValues[] = {{"GAIN", "a number", IsGain}};
constexpr StepValue kEchoValues[] = {
    {"FACTOR", "a number from 0 to 1", IsFactor},
    {"DELAY", "a whole number", IsWholeNumber}};
constexpr StepValue kSmoothValues[] = {
    {"SIZE", "a whole number", IsWholeNumber}};

}  // namespace

const KnownPlugin kAmplifyPlugin = {"Tarrock.dll",
                                    kParametersAmplifyExport,
                                    kFilterAmplifyExport,
                                    AskAmplify,
                                    "Amplifying",
                                    "amplify",
                                    1,
                                    kAmplifyValues};
const KnownPlugin kEchoPlugin = {"Quillet.dll",
                                 kParametersEchoExport,
                                 kFilterEchoExport,
                                 AskEcho,
                                 "Echoing",
                                 "echo",
                                 2,
                                 kEchoValues};
const KnownPlugin kSmoothPlugin = {"Mirrowen.dll",
                                   kParametersSmoothExport,
                                   kFilterSmoothExport,
                                   AskSmooth,
                                   "Smoothing",
                                   "smooth",
                                   1,
                                   kSmoothValues};

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

std::string StepUsage(const KnownPlugin& plugin) {
  std::string usage = std::string(plugin.step) + "=";
  for (int i = 0; i < plugin.values; ++i) {
    usage += std::string(i > 0 ? "," : "") + plugin.step_values[i].name;
  }
  return usage;
}

bool ParameterTextFor(const KnownPlugin& plugin, const std::string& values,
                      std::string* parameter_text, std::string* reason) {
  // The values typed one after the other, each followed by Enter: the
  // dialogue itself reads them, so that they are accepted, refused and
  // turned into text exactly as typed ones are. A value it asks again for
  // takes the next line, so that one value a prompt leaves a line over,
  // or one too few.
  std::vector<std::string> typed_values(1);
  std::string typed = values;
  for (char& c : typed) {
    if (c == ',') {
      c = '\n';
      typed_values.emplace_back();
    } else {
      typed_values.back() += c;
    }
  }
  if (static_cast<int>(typed_values.size()) != plugin.values) {
    *reason = "its form is " + StepUsage(plugin);
    return false;
  }
  std::istringstream in(typed + "\n");
  std::ostringstream prompts;
  std::ostringstream errors;
  Editor editor(in, prompts, errors);
  std::string rest;
  if (plugin.ask_parameters(editor, parameter_text) && !(in >> rest)) {
    return true;
  }
  // Why: the first value the dialogue would not take.
  *reason = "its form is " + StepUsage(plugin);
  for (int i = 0; i < plugin.values; ++i) {
    const StepValue& value = plugin.step_values[i];
    if (!value.accepts(typed_values[static_cast<size_t>(i)])) {
      *reason = std::string(value.name) + " must be " + value.takes +
                ", not '" + typed_values[static_cast<size_t>(i)] + "'";
      break;
    }
  }
  return false;
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
