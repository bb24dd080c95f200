#include "host/plugin_catalog.h"

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

const KnownPlugin kAmplifyPlugin = {"Tarrock.dll", kParametersAmplifyExport,
                                    kFilterAmplifyExport, AskAmplify,
                                    "Amplifying"};
const KnownPlugin kEchoPlugin = {"Quillet.dll", kParametersEchoExport,
                                 kFilterEchoExport, AskEcho, "Echoing"};
const KnownPlugin kSmoothPlugin = {"Mirrowen.dll", kParametersSmoothExport,
                                   kFilterSmoothExport, AskSmooth, "Smoothing"};

const KnownPlugin* FindKnownPlugin(const std::string& entry) {
  for (const KnownPlugin* plugin :
       {&kAmplifyPlugin, &kEchoPlugin, &kSmoothPlugin}) {
    if (entry == plugin->library) return plugin;
  }
  return nullptr;
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
