#include "host/cli/command_line.h"

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "host/cli/apply.h"
#include "host/cli/form.h"
#include "host/cli/info.h"
#include "host/cli/plot.h"

namespace pellory {
namespace {

int HelpForm(const Console& console, const std::vector<std::string>&);
int VersionForm(const Console& console, const std::vector<std::string>&);

// One row a form: what --help prints and what the arguments dispatch to.
struct Form {
  const char* name;
  const char* usage;
  const char* description;
  int (*run)(const Console& console, const std::vector<std::string>& rest);
};

constexpr Form kForms[] = {
    {"apply", "Pellory apply INPUT OUTPUT STEP... [--bits N] [--rate HZ]",
     "Loads INPUT, applies each STEP in order, and saves the result as\n"
     "OUTPUT ('-': standard input or output), exactly as the menus do with\n"
     "the same values (names in any case; mirrowen, quillet, tarrock too).\n"
     "Every step keeps the length; SIZE and DELAY count samples:\n"
     "smooth=SIZE: the mean of SIZE samples from each on; the last SIZE-1 "
     "kept\n"
     "echo=FACTOR,DELAY: + FACTOR (0-1) x its output DELAY back (1000, "
     "500...)\n"
     "amplify=GAIN: x GAIN, +0.5, cut toward zero (amplify=1 turns -3 into "
     "-2)\n"
     "An audio file's channels are filtered one by one. OUTPUT's extension\n"
     "(.wav .flac .aif .aiff .au .caf .w64 .rf64; else text) picks its\n"
     "format, with INPUT's width, rate and strings if it is audio, else 32\n"
     "bits (FLAC 24) at 48000 Hz; --bits 8|16|24|32 and --rate set them, and\n"
     "samples past the width are clipped to it (their count is said).",
     ApplyForm},
    {"info", "Pellory info FILE...",
     "Prints each FILE's number of samples, minimum, maximum, mean, root\n"
     "mean square and the samples at the limits of its width ('-': standard\n"
     "input); for an audio file its format, rate and duration too, and the\n"
     "figures of each channel.",
     InfoForm},
    {"plot", "Pellory plot FILE [--svg OUT.svg] [--width N] [--height N]",
     "Draws the signal ('-': standard input): on the terminal, fitted to\n"
     "its size (80 x 20 off a terminal), or as an SVG picture (1200 x 400\n"
     "pixels a channel) with --svg ('-': standard output). Each column\n"
     "spans its samples' minimum to maximum; an audio file's channels are\n"
     "drawn one under another, in seconds too.",
     PlotForm},
    {"--help", "Pellory --help",
     "Prints this text (also -h); 'Pellory FORM --help' prints one form's.",
     HelpForm},
    {"-h", nullptr, nullptr, HelpForm},
    {"--version", "Pellory --version", "Prints the version.", VersionForm},
};

// A form's usage line and description, as --help prints them.
void PrintForm(const Console& console, const Form& form) {
  console.out << "\n  " << form.usage << "\n";
  const std::string description = form.description;
  for (size_t start = 0; start < description.size();) {
    const size_t end = description.find('\n', start);
    console.out << "      " << description.substr(start, end - start) << "\n";
    start = end == std::string::npos ? description.size() : end + 1;
  }
}

int HelpForm(const Console& console, const std::vector<std::string>&) {
  console.out << "Usage: Pellory\n"
                 "An editor for integer signals whose filters are plug-ins.\n"
                 "With no arguments: the interactive editor, its menus on "
                 "standard input and\noutput.\n"
                 "A FILE is Pellory's text (a count, then a sample a line) "
                 "or an audio file of\ninteger PCM (WAV, FLAC, AIFF, AU, "
                 "CAF, W64, RF64, ...), known by its content.\n";
  for (const Form& form : kForms) {
    if (form.usage != nullptr) PrintForm(console, form);
  }
  console.out << "\nExit status: 0 done, 1 the work failed, 2 the command "
                 "line was wrong.\n";
  return kExitDone;
}

int VersionForm(const Console& console, const std::vector<std::string>&) {
  console.out << "Pellory " << PELLORY_VERSION << "\n";
  return kExitDone;
}

}  // namespace

int RunCommandLine(const Console& console,
                   const std::vector<std::string>& arguments) {
  for (const Form& form : kForms) {
    if (arguments[0] != form.name) continue;
    const std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
    const bool takes_none = form.run == HelpForm || form.run == VersionForm;
    if (takes_none && !rest.empty()) {
      return UsageError(console, std::string(form.name) +
                                     " takes no arguments, not '" + rest[0] +
                                     "'");
    }
    // `Pellory FORM --help`: that form's usage alone. After "--" every
    // word is a name.
    const auto options_end = std::find(rest.begin(), rest.end(), "--");
    const bool asks_help =
        std::find_if(rest.begin(), options_end, [](const std::string& word) {
          return word == "--help" || word == "-h";
        }) != options_end;
    if (asks_help && !takes_none) {
      console.out << "Usage: " << form.usage << "\n"
                  << form.description << "\n";
      console.out.flush();
      return kExitDone;
    }
    const int status = form.run(console, rest);
    console.out.flush();
    return status;
  }
  return UsageError(console, (arguments[0].size() > 1 && arguments[0][0] == '-'
                                  ? "unknown option '"
                                  : "unknown command '") +
                                 arguments[0] + "'");
}

}  // namespace pellory
