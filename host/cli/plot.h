// `Pellory plot FILE`: a picture of a signal, on the terminal or as SVG.
// Each column of the picture covers its share of the samples and is drawn
// from their minimum to their maximum (the envelope), so that no peak is
// lost however many samples a column covers.
#ifndef PELLORY_HOST_SIGNAL_PLOT_H_
#define PELLORY_HOST_SIGNAL_PLOT_H_

#include <cstdint>
#include <string>
#include <vector>

#include "platform/console.h"

namespace pellory {

// The lowest and highest sample of one column.
struct Span {
  int32_t low;
  int32_t high;
};

// The envelope of `count` samples over `columns` columns (at most one a
// sample), on every core: column c covers samples [c count / columns,
// (c + 1) count / columns).
std::vector<Span> Envelope(const int32_t* samples, int64_t count, int columns);

// The signal drawn in `rows` rows of `width` characters, after one line of
// labels (`name`, the sample range, the values of the top and bottom
// rows): in braille dots (two columns and four rows of dots a character)
// where `unicode`, else in '#'. Lines end in "\n".
std::string TerminalPlot(const std::string& name, const int32_t* samples,
                         int64_t count, int width, int rows, bool unicode);

// The same envelope as an SVG 1.1 picture `width` x `height` pixels: the
// title `name`, labelled axes, the zero line.
std::string SvgPlot(const std::string& name, const int32_t* samples,
                    int64_t count, int width, int height);

// Reads `arguments` (FILE, --svg OUT, --width N, --height N, in any order),
// loads FILE as the menu's Load does and draws it. Returns the exit status.
int PlotForm(const Console& console, const std::vector<std::string>& arguments);

}  // namespace pellory

#endif  // PELLORY_HOST_SIGNAL_PLOT_H_
