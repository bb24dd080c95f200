#include "host/cli/apply.h"

#include <string>
#include <string_view>
#include <vector>

#include "host/cli/form.h"
#include "host/editor/plugin_dialogues.h"
#include "host/editor/shown_names.h"
#include "host/editor/status_line.h"
#include "platform/file.h"

namespace pellory {
namespace {

struct Step {
  const KnownPlugin* plugin;
  std::string parameter_text;
};

}  // namespace

int ApplyForm(const Console& console,
              const std::vector<std::string>& arguments) {
  if (arguments.size() < 2) {
    return UsageError(console, arguments.empty()
                                   ? "apply: missing INPUT and OUTPUT"
                                   : "apply: missing OUTPUT");
  }
  std::vector<Step> steps;
  for (size_t i = 2; i < arguments.size(); ++i) {
    const std::string& text = arguments[i];
    const size_t equals = text.find('=');
    Step step{FindPluginForStep(text.substr(0, equals)), ""};
    if (step.plugin == nullptr) {
      return UsageError(console, "apply: unknown filter in step '" + text +
                                     "' (smooth, echo, amplify)");
    }
    std::string reason = "its form is " + StepUsage(*step.plugin);
    if (equals == std::string::npos ||
        !ParameterTextFor(*step.plugin, text.substr(equals + 1),
                          &step.parameter_text, &reason)) {
      return UsageError(console, "apply: step '" + text + "': " + reason);
    }
    steps.push_back(step);
  }
  const Console work = WorkConsole(console);
  std::vector<PluginExports> exports(steps.size());
  for (size_t i = 0; i < steps.size(); ++i) {
    std::string err;
    if (!LoadPlugin(*steps[i].plugin, &exports[i], &err)) {
      console.err << "Pellory: cannot load the plug-in "
                  << steps[i].plugin->library << ": " << err << "\n";
      return kExitFailed;
    }
  }
  Signal signal;
  if (!LoadForForm(console, StreamOrFile(arguments[0], kStandardInputName),
                   &signal)) {
    return kExitFailed;
  }
  for (size_t i = 0; i < steps.size(); ++i) {
    // The plug-in is called as the dialogue calls it: its description
    // first (not shown here), then the filter.
    exports[i].describe();
    StatusLine status(work, std::string(steps[i].plugin->doing) + " " +
                                Grouped(signal.SampleCount()) + " samples (" +
                                steps[i].parameter_text + ")");
    exports[i].filter(signal.data(), steps[i].parameter_text);
  }
  const std::string output = StreamOrFile(arguments[1], kStandardOutputName);
  std::string err;
  bool saved;
  {
    Progress progress;
    StatusLine status(work, "Saving " + NameInOutput(work, output), &progress);
    saved = signal.Save(output, &err, &progress);
  }
  if (!saved) {
    console.err << "Pellory: cannot save " << NameInMessage(console, output)
                << ": " << err << "\n";
    return kExitFailed;
  }
  return kExitDone;
}

}  // namespace pellory
