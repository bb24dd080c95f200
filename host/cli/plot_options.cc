#include "host/cli/plot_options.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "host/cli/plot_svg.h"

namespace pellory {
namespace {

// A whole number from an option's value (one past kLargestPlotSize for
// any larger one), or -1.
int ReadSize(const std::string& text) {
  if (text.empty()) return -1;
  int64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return -1;
    value = std::min<int64_t>(value * 10 + (c - '0'), kLargestPlotSize + 1);
  }
  return static_cast<int>(value);
}

// Checks the sizes given as text against their range, which an SVG's
// margins narrow, into `options`.
bool ReadSizes(const std::string& width, const std::string& height,
               PlotOptions* options, std::string* problem) {
  const struct {
    const char* option;
    const std::string& text;
    int smallest;
    int* value;
  } sizes[] = {
      {"--width", width, options->has_svg ? kSmallestSvgWidth : 1,
       &options->width},
      {"--height", height, options->has_svg ? kSmallestSvgHeight : 1,
       &options->height},
  };
  for (const auto& size : sizes) {
    if (size.text.empty()) continue;
    *size.value = ReadSize(size.text);
    if (*size.value < size.smallest || *size.value > kLargestPlotSize) {
      *problem = std::string(size.option) + " takes a whole number from " +
                 std::to_string(size.smallest) + " to " +
                 std::to_string(kLargestPlotSize) +
                 (options->has_svg ? " for an SVG" : "") + ", not '" +
                 size.text + "'";
      return false;
    }
  }
  return true;
}

}  // namespace

bool ReadPlotOptions(const std::vector<std::string>& arguments,
                     PlotOptions* options, std::string* problem) {
  bool has_file = false;
  bool names_only = false;
  // The sizes as given, checked once --svg is known wherever it stands.
  std::string width;
  std::string height;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    std::string option = argument;
    std::string value;
    bool has_value = false;
    const size_t equals = argument.find('=');
    if (argument.rfind("--", 0) == 0 && equals != std::string::npos) {
      option = argument.substr(0, equals);
      value = argument.substr(equals + 1);
      has_value = true;
    }
    if (names_only) {
      option = "";
    } else if (argument == "--") {
      names_only = true;
      continue;
    }
    if (option == "--svg" || option == "--width" || option == "--height") {
      if (!has_value) {
        if (i + 1 == arguments.size()) {
          *problem = option + " needs a value";
          return false;
        }
        value = arguments[++i];
      }
      if (option == "--svg") {
        options->svg = value;
        options->has_svg = true;
      } else {
        (option == "--width" ? width : height) = value;
      }
    } else if (!names_only && argument.size() > 1 && argument[0] == '-') {
      *problem = "unknown option '" + argument + "'";
      return false;
    } else if (has_file) {
      *problem = "one FILE only, not also '" + argument + "'";
      return false;
    } else {
      options->file = argument;
      has_file = true;
    }
  }
  if (!has_file) {
    *problem = "missing FILE";
    return false;
  }
  return ReadSizes(width, height, options, problem);
}

}  // namespace pellory
