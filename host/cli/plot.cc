#include "host/cli/plot.h"

#include <algorithm>
#include <ostream>
#include <span>
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

// Writes the SVG picture of `channels` to `output` with the editor's saver.
int SaveSvg(const Console& console, const PlotOptions& options,
            const std::string& output, const std::vector<Signal>& channels,
            const SignalFormat& format) {
  std::vector<std::span<const int32_t>> samples;
  for (const Signal& channel : channels) {
    samples.emplace_back(channel.data() + 1,
                         static_cast<size_t>(channel.SampleCount()));
  }
  const std::string picture =
      SvgPlot(options.file == "-" ? "standard input" : options.file, samples,
              options.width != 0 ? options.width : kDefaultSvgWidth,
              options.height != 0 ? options.height : kDefaultSvgHeight,
              format.is_audio() ? format.rate : 0);
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

// Draws `channels` on standard output, one under another: on a terminal,
// its size less the line of labels and the shell's prompt.
int DrawOnTerminal(const Console& console, const PlotOptions& options,
                   const std::string& input,
                   const std::vector<Signal>& channels,
                   const SignalFormat& format) {
  const bool terminal = console.output_is_terminal;
  const int columns = TerminalColumns(console);
  const int rows = TerminalRows(console);
  const int count = static_cast<int>(channels.size());
  int width = options.width;
  int height = options.height;
  if (width == 0) {
    width = terminal && columns > 0 ? std::min(columns, kLargestPlotSize)
                                    : kDefaultColumns;
  }
  if (height == 0) {
    // Each channel has a line of labels of its own.
    height = terminal && rows > count + 1
                 ? std::min(rows - count - 1, kLargestPlotSize)
                 : kDefaultRows;
  }
  const bool unicode = TakesUnicode(console);
  const std::string name = unicode ? NameInUnicodeOutput(console, input)
                                   : NameInOutput(console, input);
  std::string picture;
  for (int c = 0; c < count; ++c) {
    const Signal& channel = channels[static_cast<size_t>(c)];
    const PlotLabel label = {
        count > 1 ? "channel " + std::to_string(c + 1) : "",
        format.is_audio() ? format.rate : 0};
    picture += TerminalPlot(name, channel.data() + 1, channel.SampleCount(),
                            width, std::max(1, height / count), unicode, label);
  }
  if (unicode) {
    WriteUnicode(console, picture);
  } else {
    console.out << picture;
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
  std::vector<Signal> channels;
  SignalFormat format;
  if (!LoadForForm(console, input, &channels, &format)) return kExitFailed;
  if (options.has_svg) {
    return SaveSvg(console, options, output, channels, format);
  }
  return DrawOnTerminal(console, options, input, channels, format);
}

}  // namespace pellory
