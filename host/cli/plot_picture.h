// A picture of a signal in columns: each column covers its share of the
// samples and is drawn from their minimum to their maximum (the envelope),
// so that no peak is lost however many samples a column covers; and the
// envelope drawn on the terminal in character cells.
#ifndef PELLORY_HOST_CLI_PLOT_PICTURE_H_
#define PELLORY_HOST_CLI_PLOT_PICTURE_H_

#include <cstdint>
#include <string>
#include <vector>

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

// The lowest and highest of all spans.
Span Extent(const std::vector<Span>& spans);

// The signal drawn in `rows` rows of `width` characters, after one line of
// labels within `width` columns (`name`, the sample range, the values of
// the top and bottom rows; where they do not fit, the name is cut first,
// then the fields least needed go): in braille dots (two columns and four
// rows of dots a character) where `unicode`, else in '#'. Lines end in
// "\n". `label` adds the channel, and the sample range in seconds.
struct PlotLabel {
  // "channel 2", or "".
  std::string channel;
  // Samples a second, where the signal has a rate; else 0.
  int rate = 0;
};
std::string TerminalPlot(const std::string& name, const int32_t* samples,
                         int64_t count, int width, int rows, bool unicode,
                         const PlotLabel& label = {});

// How long `count` samples at `rate` last, in seconds: "1.500".
std::string SecondsText(int64_t count, int rate);

}  // namespace pellory

#endif  // PELLORY_HOST_CLI_PLOT_PICTURE_H_
