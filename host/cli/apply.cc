#include "host/cli/apply.h"

#include <string>
#include <string_view>
#include <vector>

#include "host/cli/form.h"
#include "host/editor/file_actions.h"
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

// The highest rate --rate takes: past any audio file's, within a format's
// field.
constexpr int kHighestRate = 1000000;

// What apply is asked: INPUT, OUTPUT and the steps, and the output's width
// and rate where given (0 where not).
struct ApplyArguments {
  std::vector<std::string> names;
  int bits = 0;
  int rate = 0;
};

// A whole number within [low, high], or 0.
int WholeNumber(const std::string& text, int low, int high) {
  if (text.empty() || text.size() > 9) return 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return 0;
  }
  const int value = std::stoi(text);
  return value >= low && value <= high ? value : 0;
}

// Takes --bits and --rate out of `arguments`, wherever they stand (as GNU
// tools take options; "--" ends them). False, with `problem`, where one
// is wrong.
bool ReadApplyArguments(const std::vector<std::string>& arguments,
                        ApplyArguments* read, std::string* problem) {
  bool names_only = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const size_t equals = argument.find('=');
    const std::string option = argument.substr(0, equals);
    if (names_only || (option != "--bits" && option != "--rate")) {
      if (!names_only && argument == "--") {
        names_only = true;
      } else {
        read->names.push_back(argument);
      }
      continue;
    }
    std::string value;
    if (equals != std::string::npos) {
      value = argument.substr(equals + 1);
    } else if (i + 1 < arguments.size()) {
      value = arguments[++i];
    } else {
      *problem = option + " needs a value";
      return false;
    }
    if (option == "--bits") {
      read->bits = WholeNumber(value, 8, 32);
      if (read->bits % 8 != 0) read->bits = 0;
      if (read->bits == 0) {
        *problem = "--bits takes 8, 16, 24 or 32, not '" + value + "'";
        return false;
      }
    } else {
      read->rate = WholeNumber(value, 1, kHighestRate);
      if (read->rate == 0) {
        *problem = "--rate takes a whole number of hertz from 1 to " +
                   Grouped(kHighestRate) + ", not '" + value + "'";
        return false;
      }
    }
  }
  return true;
}

}  // namespace

int ApplyForm(const Console& console,
              const std::vector<std::string>& arguments) {
  ApplyArguments read;
  std::string problem;
  if (!ReadApplyArguments(arguments, &read, &problem)) {
    return UsageError(console, "apply: " + problem);
  }
  const std::vector<std::string>& names = read.names;
  if (names.size() < 2) {
    return UsageError(console, names.empty() ? "apply: missing INPUT and OUTPUT"
                                             : "apply: missing OUTPUT");
  }
  std::vector<Step> steps;
  for (size_t i = 2; i < names.size(); ++i) {
    const std::string& text = names[i];
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
  const Console work = ErrorsConsole(console);
  std::vector<PluginExports> exports(steps.size());
  for (size_t i = 0; i < steps.size(); ++i) {
    std::string err;
    if (!LoadPlugin(*steps[i].plugin, &exports[i], &err)) {
      console.err << "Pellory: cannot load the plug-in "
                  << steps[i].plugin->library << ": " << err << "\n";
      return kExitFailed;
    }
  }
  std::vector<Signal> channels;
  SignalFormat input_format;
  if (!LoadForForm(console, StreamOrFile(names[0], kStandardInputName),
                   &channels, &input_format)) {
    return kExitFailed;
  }
  const std::string output = StreamOrFile(names[1], kStandardOutputName);
  const SignalFormat format =
      FormatForName(output, input_format, read.bits, read.rate);
  if (!format.is_audio() && channels.size() > 1) {
    console.err << "Pellory: cannot save " << NameInMessage(console, output)
                << " as text, which holds one channel: the input has "
                << channels.size()
                << " (name an audio file: .wav, .flac, ...)\n";
    return kExitFailed;
  }
  // Each channel through the same steps, as if it were loaded alone; the
  // plug-in is called as the dialogue calls it: its description first
  // (not shown here), then the filter.
  for (size_t i = 0; i < steps.size(); ++i) {
    exports[i].describe();
    StatusLine status(work, std::string(steps[i].plugin->doing) + " " +
                                Grouped(channels[0].SampleCount()) +
                                " samples (" + steps[i].parameter_text + ")");
    for (Signal& channel : channels) {
      exports[i].filter(channel.data(), steps[i].parameter_text);
    }
  }
  std::vector<const Signal*> saved;
  for (const Signal& channel : channels) saved.push_back(&channel);
  std::string err;
  const Notice notice = SaveChannelsFile(work, saved, format, output, &err);
  if (!notice.reason.empty()) {
    console.err << "Pellory: " << notice.reason << "\n";
  }
  return err.empty() ? kExitDone : kExitFailed;
}

}  // namespace pellory
