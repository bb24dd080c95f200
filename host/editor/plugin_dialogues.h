// Everything the host knows of the filter plug-ins: the three it knows by
// library file name, the dialogue that asks each one's parameters, and the
// typed lookup of their two exports.
#ifndef PELLORY_HOST_EDITOR_PLUGIN_DIALOGUES_H_
#define PELLORY_HOST_EDITOR_PLUGIN_DIALOGUES_H_

#include <string>

#include "host/editor/editor.h"
#include "plugin_api/filter_plugin.h"

namespace pellory {

// One value of a step, as its dialogue asks for it: its name in a command
// line's usage, what the dialogue takes, and whether a typed value is that.
struct StepValue {
  const char* name;
  const char* takes;
  bool (*accepts)(const std::string& typed);
};

struct KnownPlugin {
  // The file name listed in the folder "DLL" and loaded from beside the
  // program.
  const char* library;
  const char* parameters_export;
  const char* filter_export;
  // Asks the user for the filter's parameters and builds its parameter
  // text. False when the input ends.
  bool (*ask_parameters)(Editor& editor, std::string* parameter_text);
  // What the status line says while the filter runs.
  const char* doing;
  // The filter's name in a command line's steps ("smooth=3"), which also
  // take the library's name without its extension ("mirrowen=3").
  const char* step;
  // How many values its dialogue asks for, in order.
  int values;
  const StepValue* step_values;
};

extern const KnownPlugin kAmplifyPlugin;
extern const KnownPlugin kEchoPlugin;
extern const KnownPlugin kSmoothPlugin;

// The known plug-in whose library file name is exactly `entry` (compared
// with Amplify, Echo, Smooth in that order), or null.
const KnownPlugin* FindKnownPlugin(const std::string& entry);

// The known plug-in a command line's step names, by filter or library
// name, in any case ("Smooth", "MIRROWEN"), or null.
const KnownPlugin* FindPluginForStep(const std::string& name);

// The parameter text `plugin`'s dialogue builds when `values` are typed at
// its prompts, one after the other (a step's comma-separated values). False
// when the dialogue would ask again or for more: a value that is not a
// number, has characters after it or lies out of range, one missing or one
// too many; `reason` then says which value and what the dialogue takes
// ("FACTOR must be a number from 0 to 1, not '1.5'").
bool ParameterTextFor(const KnownPlugin& plugin, const std::string& values,
                      std::string* parameter_text, std::string* reason);

// A step's usage: "echo=FACTOR,DELAY".
std::string StepUsage(const KnownPlugin& plugin);

// A plug-in's two exports, typed as the contract declares them.
struct PluginExports {
  ParametersFunction describe = nullptr;
  FilterFunction filter = nullptr;
};

// Loads `plugin`'s library and looks up both exports. False, with the
// reason in `err`, when the library cannot be loaded or lacks either.
bool LoadPlugin(const KnownPlugin& plugin, PluginExports* exports,
                std::string* err);

}  // namespace pellory

#endif  // PELLORY_HOST_EDITOR_PLUGIN_DIALOGUES_H_
