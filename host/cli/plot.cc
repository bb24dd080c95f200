#include "host/cli/plot.h"

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "host/cli/form.h"
#include "host/cli/plot_options.h"
#include "host/cli/plot_picture.h"
#include "host/cli/plot_svg.h"
#include "host/editor/shown_names.h"
#include "platform/file.h"

namespace pellory {
namespace {

// Off a terminal, and where it does not say its size.
constexpr int kDefaultColumns = 80;
constexpr int kDefaultRows = 20;
constexpr int kDefaultSvgWidth = 1200;
constexpr int kDefaultSvgHeight = 400;

// Writes the SVG picture of `signal` to `output` with the editor's saver.
int SaveSvg(const Console& console, const PlotOptions& options,
            const std::string& output, const Signal& signal) {
  const std::string picture =
      SvgPlot(options.file == "-" ? "standard input" : options.file,
              signal.data() + 1, signal.SampleCount(),
              options.width != 0 ? options.width : kDefaultSvgWidth,
              options.height != 0 ? options.height : kDefaultSvgHeight);
  FileSaver saver;
  std::string err;
  if (!saver.Open(output, picture.size(), &err) ||
      !saver.Write(picture.data(), picture.size(), &err) ||
      !saver.Commit(&err)) {
    console.err << "Pellory: cannot save " << NameInMessage(console, output)
                << ": " << err << "\n";
    return kExitFailed;
  }
  return kExitDone;
}

// Draws `signal` on standard output: on a terminal, its size less the line
// of labels and the shell's prompt.
int DrawOnTerminal(const Console& console, const PlotOptions& options,
                   const std::string& input, const Signal& signal) {
  const bool terminal = console.output_is_terminal;
  const int columns = TerminalColumns(console);
  const int rows = TerminalRows(console);
  int width = options.width;
  int height = options.height;
  if (width == 0) {
    width = terminal && columns > 0 ? std::min(columns, kLargestPlotSize)
                                    : kDefaultColumns;
  }
  if (height == 0) {
    height = terminal && rows > 2 ? std::min(rows - 2, kLargestPlotSize)
                                  : kDefaultRows;
  }
  const int32_t* samples = signal.data() + 1;
  if (TakesUnicode(console)) {
    WriteUnicode(console,
                 TerminalPlot(NameInUnicodeOutput(console, input), samples,
                              signal.SampleCount(), width, height, true));
  } else {
    console.out << TerminalPlot(NameInOutput(console, input), samples,
                                signal.SampleCount(), width, height, false);
  }
  return console.out.flush() ? kExitDone : kExitFailed;
}

}  // namespace

int PlotForm(const Console& console,
             const std::vector<std::string>& arguments) {
  PlotOptions options;
  std::string problem;
  if (!ReadPlotOptions(arguments, &options, &problem)) {
    return UsageError(console, "plot: " + problem);
  }
  const std::string input = StreamOrFile(options.file, kStandardInputName);
  const std::string output = StreamOrFile(options.svg, kStandardOutputName);
  // A slip of the keyboard must not cost the signal its file.
  if (options.has_svg && IsSameFile(input, output)) {
    console.err << "Pellory: cannot save " << NameInMessage(console, output)
                << ": it is the signal being drawn"
                << (options.svg == options.file
                        ? ""
                        : " (" + NameInMessage(console, input) + ")")
                << "; name another file for the picture\n";
    return kExitFailed;
  }
  Signal signal;
  if (!LoadForForm(console, input, &signal)) return kExitFailed;
  if (options.has_svg) return SaveSvg(console, options, output, signal);
  return DrawOnTerminal(console, options, input, signal);
}

}  // namespace pellory
