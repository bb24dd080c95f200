// The envelope of a signal as an SVG 1.1 picture.
#ifndef PELLORY_HOST_CLI_PLOT_SVG_H_
#define PELLORY_HOST_CLI_PLOT_SVG_H_

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace pellory {

// The smallest picture that holds the margins for the title and the
// labels, and a drawing of one pixel.
constexpr int kSmallestSvgWidth = 111;
constexpr int kSmallestSvgHeight = 91;

// The envelope of each channel's samples as an SVG 1.1 picture, one
// drawing `width` x `height` pixels (at least the smallest above) a
// channel, stacked: the title `name` (any bytes: what XML cannot hold is
// shown as '?'), labelled axes (in seconds too where `rate` is given), the
// zero line.
std::string SvgPlot(const std::string& name,
                    const std::vector<std::span<const int32_t>>& channels,
                    int width, int height, int rate = 0);

}  // namespace pellory

#endif  // PELLORY_HOST_CLI_PLOT_SVG_H_
