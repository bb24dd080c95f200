// The envelope of a signal as an SVG 1.1 picture.
#ifndef PELLORY_HOST_CLI_PLOT_SVG_H_
#define PELLORY_HOST_CLI_PLOT_SVG_H_

#include <cstdint>
#include <string>

namespace pellory {

// The smallest picture that holds the margins for the title and the
// labels, and a drawing of one pixel.
constexpr int kSmallestSvgWidth = 111;
constexpr int kSmallestSvgHeight = 91;

// The envelope of `count` samples as an SVG 1.1 picture `width` x `height`
// pixels (at least the smallest above): the title `name` (any bytes: what
// XML cannot hold is shown as '?'), labelled axes, the zero line.
std::string SvgPlot(const std::string& name, const int32_t* samples,
                    int64_t count, int width, int height);

}  // namespace pellory

#endif  // PELLORY_HOST_CLI_PLOT_SVG_H_
