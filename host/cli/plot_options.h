// What `Pellory plot` is asked: FILE, --svg OUT, --width N and --height N,
// in any order (--name=value too; after "--" every word is FILE).
#ifndef PELLORY_HOST_CLI_PLOT_OPTIONS_H_
#define PELLORY_HOST_CLI_PLOT_OPTIONS_H_

#include <string>
#include <vector>

namespace pellory {

// The largest --width and --height: a picture of that size is already far
// larger than any screen, and its text stays within memory's reach.
constexpr int kLargestPlotSize = 4000;

struct PlotOptions {
  std::string file;
  // The SVG's name, where the picture is one.
  std::string svg;
  bool has_svg = false;
  // 0 where not given.
  int width = 0;
  int height = 0;
};

// Reads `arguments` into `options`. False, with what is wrong in `problem`
// ("--width takes a whole number from 1 to 4000, not '0'"), when they are
// not a plot's.
bool ReadPlotOptions(const std::vector<std::string>& arguments,
                     PlotOptions* options, std::string* problem);

}  // namespace pellory

#endif  // PELLORY_HOST_CLI_PLOT_OPTIONS_H_
