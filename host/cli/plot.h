// `Pellory plot FILE`: a picture of a signal, on the terminal or as SVG.
// Each column of the picture covers its share of the samples and is drawn
// from their minimum to their maximum (the envelope), so that no peak is
// lost however many samples a column covers.
#ifndef PELLORY_HOST_CLI_PLOT_H_
#define PELLORY_HOST_CLI_PLOT_H_

#include <string>
#include <vector>

#include "platform/console.h"

namespace pellory {

// Reads `arguments` (FILE, --svg OUT, --width N, --height N, in any order),
// loads FILE as the menu's Load does and draws it. Returns the exit status.
int PlotForm(const Console& console, const std::vector<std::string>& arguments);

}  // namespace pellory

#endif  // PELLORY_HOST_CLI_PLOT_H_
