#include "host/cli/plot.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cpu/parallel.h"
#include "host/cli/command_line.h"
#include "host/editor/editor.h"
#include "host/editor/main_menu.h"
#include "host/shown_names.h"
#include "host/editor/status_line.h"
#include "platform/file.h"
#include "platform/utf8.h"

namespace pellory {
namespace {

// Fewer samples than this are scanned on one thread.
constexpr int64_t kSmallestPart = 1 << 16;

// Off a terminal, and where it does not say its size.
constexpr int kDefaultColumns = 80;
constexpr int kDefaultRows = 20;
constexpr int kDefaultSvgWidth = 1200;
constexpr int kDefaultSvgHeight = 400;
// The SVG's margins around the drawing, for the title and the labels.
constexpr int kSvgLeft = 90;
constexpr int kSvgRight = 20;
constexpr int kSvgTop = 40;
constexpr int kSvgBottom = 50;

// Four samples side by side, in whatever vector registers the processor
// has (the compiler's generic vectors: SSE2, NEON, or plain registers).
typedef int32_t FourSamples __attribute__((vector_size(16)));

// The lowest and highest of the samples [begin, end), not empty: four
// lanes at a time, without branches (a signal's ups and downs would
// mispredict them).
Span SpanOf(const int32_t* begin, const int32_t* end) {
  FourSamples low = {*begin, *begin, *begin, *begin};
  FourSamples high = low;
  const int32_t* p = begin;
  for (; end - p >= 4; p += 4) {
    FourSamples four;
    std::memcpy(&four, p, sizeof(four));
    low = four < low ? four : low;
    high = four > high ? four : high;
  }
  Span span = {
      std::min(std::min(low[0], low[1]), std::min(low[2], low[3])),
      std::max(std::max(high[0], high[1]), std::max(high[2], high[3]))};
  for (; p != end; ++p) {
    span.low = std::min(span.low, *p);
    span.high = std::max(span.high, *p);
  }
  return span;
}

// The lowest and highest of all spans.
Span Extent(const std::vector<Span>& spans) {
  Span extent = {INT32_MAX, INT32_MIN};
  for (const Span& span : spans) {
    extent.low = std::min(extent.low, span.low);
    extent.high = std::max(extent.high, span.high);
  }
  return extent;
}

// `value`'s level among `levels` (0 the lowest) between the extent's low
// and high, rounded to the nearest.
int Level(int32_t value, const Span& extent, int levels) {
  const int64_t range = int64_t{extent.high} - extent.low;
  if (range == 0) return (levels - 1) / 2;
  return static_cast<int>(
      ((int64_t{value} - extent.low) * (levels - 1) + range / 2) / range);
}

void AppendUtf8(std::string* text, uint32_t code_point) {
  if (code_point < 0x80) {
    *text += static_cast<char>(code_point);
  } else if (code_point < 0x800) {
    *text += static_cast<char>(0xc0 | code_point >> 6);
    *text += static_cast<char>(0x80 | (code_point & 0x3f));
  } else {
    *text += static_cast<char>(0xe0 | code_point >> 12);
    *text += static_cast<char>(0x80 | (code_point >> 6 & 0x3f));
    *text += static_cast<char>(0x80 | (code_point & 0x3f));
  }
}

// How many columns `text` takes on the terminal: one a character (a UTF-8
// sequence where `unicode`, else a byte).
int Columns(std::string_view text, bool unicode) {
  int columns = 0;
  for (const char c : text) {
    columns += !unicode || (static_cast<unsigned char>(c) & 0xc0) != 0x80;
  }
  return columns;
}

// `text` cut to `columns` columns, its end shown as `ellipsis` where it
// is cut and there is room for a character before it.
std::string CutToColumns(const std::string& text, int columns, bool unicode,
                         const std::string& ellipsis) {
  if (Columns(text, unicode) <= columns) return text;
  const int ellipsis_columns = Columns(ellipsis, unicode);
  const bool marked = columns > ellipsis_columns;
  int room = marked ? columns - ellipsis_columns : columns;
  size_t end = 0;
  for (; end < text.size(); ++end) {
    const bool starts =
        !unicode || (static_cast<unsigned char>(text[end]) & 0xc0) != 0x80;
    if (starts && room-- == 0) break;
  }
  return text.substr(0, end) + (marked ? ellipsis : "");
}

// The line above the picture, within `width` columns: the name, the sample
// range and the values of the top and bottom rows; where they do not fit,
// the name is cut first, then the fields least needed go.
std::string Labels(const std::string& name, int64_t count, const Span& extent,
                   int width, bool unicode) {
  const std::string high = std::to_string(extent.high);
  const std::string low = std::to_string(extent.low);
  const std::vector<std::string> tails =
      count == 0 ? std::vector<std::string>{": no samples", ""}
                 : std::vector<std::string>{
                       ": samples 1 to " + Grouped(count) + "; top row " +
                           high + ", bottom row " + low,
                       ": top row " + high + ", bottom row " + low,
                       ": " + high + " to " + low, ""};
  const std::string ellipsis = unicode ? "\u2026" : "...";
  const int name_columns = Columns(name, unicode);
  // A name is cut no shorter than one character and the ellipsis while a
  // shorter line can keep more of it.
  const int shortest_name =
      std::min(name_columns, Columns(ellipsis, unicode) + 1);
  for (const std::string& tail : tails) {
    const int room = width - Columns(tail, unicode);
    if (room >= shortest_name || tail.empty()) {
      return CutToColumns(name, std::max(room, 0), unicode, ellipsis) + tail +
             "\n";
    }
  }
  return "\n";
}

// `text` as XML character data: markup characters escaped, and what XML
// 1.0 cannot hold (controls, U+FFFE and U+FFFF, bytes that are not UTF-8)
// shown as '?'.
std::string XmlText(const std::string& text) {
  std::string xml;
  for (size_t i = 0; i < text.size();) {
    uint32_t code_point = 0;
    const size_t length = Utf8Length(text, i, &code_point);
    const bool allowed = length > 0 &&
                         (code_point >= 0x20 || code_point == '\t' ||
                          code_point == '\n' || code_point == '\r') &&
                         code_point != 0xfffe && code_point != 0xffff;
    if (!allowed) {
      xml += '?';
    } else if (code_point == '&') {
      xml += "&amp;";
    } else if (code_point == '<') {
      xml += "&lt;";
    } else if (code_point == '>') {
      xml += "&gt;";
    } else if (code_point == '"') {
      xml += "&quot;";
    } else {
      xml.append(text, i, length);
    }
    i += std::max<size_t>(length, 1);
  }
  return xml;
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof(text), "%.1f", value);
  return text;
}

// The largest --width and --height: a picture of that size is already
// far larger than any screen, and its text stays within memory's reach.
constexpr int kLargestSize = 4000;

// A whole number from an option's value (one past kLargestSize for any
// larger one), or -1.
int ReadSize(const std::string& text) {
  if (text.empty()) return -1;
  int64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return -1;
    value = std::min<int64_t>(value * 10 + (c - '0'), kLargestSize + 1);
  }
  return static_cast<int>(value);
}

}  // namespace

std::vector<Span> Envelope(const int32_t* samples, int64_t count, int columns) {
  if (count == 0 || columns <= 0) return {};
  std::vector<Span> spans(static_cast<size_t>(columns));
  const int parts = std::min(PartsFor(count, kSmallestPart), columns);
  RunParts(parts, [&](int part) {
    const int first = static_cast<int>(PartStart(0, columns, part, parts));
    const int last = static_cast<int>(PartStart(0, columns, part + 1, parts));
    for (int c = first; c < last; ++c) {
      const int64_t begin = c * count / columns;
      const int64_t end = std::max(begin + 1, (c + 1) * count / columns);
      spans[static_cast<size_t>(c)] = SpanOf(samples + begin, samples + end);
    }
  });
  return spans;
}

std::string TerminalPlot(const std::string& name, const int32_t* samples,
                         int64_t count, int width, int rows, bool unicode) {
  // A braille character holds two columns and four rows of dots.
  const int across = unicode ? 2 : 1;
  const int down = unicode ? 4 : 1;
  const std::vector<Span> spans = Envelope(samples, count, width * across);
  const Span extent = Extent(spans);
  std::string text = Labels(name, count, extent, width, unicode);
  if (count == 0) return text;
  // Each cell's dots, as the braille pattern's bits.
  std::vector<uint8_t> cells(static_cast<size_t>(width) * rows, 0);
  // The bit of the dot in column x (0, 1) and row y (0 at the top, to 3).
  static constexpr uint8_t kDot[2][4] = {{0x01, 0x02, 0x04, 0x40},
                                         {0x08, 0x10, 0x20, 0x80}};
  const int levels = rows * down;
  for (size_t c = 0; c < spans.size(); ++c) {
    const int low = Level(spans[c].low, extent, levels);
    const int high = Level(spans[c].high, extent, levels);
    for (int level = low; level <= high; ++level) {
      const int from_top = levels - 1 - level;
      const size_t cell = static_cast<size_t>(from_top / down) * width +
                          c / static_cast<size_t>(across);
      cells[cell] = static_cast<uint8_t>(
          cells[cell] | (unicode ? kDot[c % 2][from_top % 4] : 1));
    }
  }
  for (int row = 0; row < rows; ++row) {
    for (int column = 0; column < width; ++column) {
      const uint8_t dots = cells[static_cast<size_t>(row) * width + column];
      if (unicode) {
        AppendUtf8(&text, 0x2800u + dots);
      } else {
        text += dots != 0 ? '#' : ' ';
      }
    }
    text += '\n';
  }
  return text;
}

std::string SvgPlot(const std::string& name, const int32_t* samples,
                    int64_t count, int width, int height) {
  const int left = kSvgLeft;
  const int right = width - kSvgRight;
  const int top = kSvgTop;
  const int bottom = height - kSvgBottom;
  const std::vector<Span> spans =
      Envelope(samples, count, std::max(right - left, 1));
  const Span extent = Extent(spans);
  const auto range = static_cast<double>(int64_t{extent.high} - extent.low);
  // The y of `value`: its extent from the bottom to the top of the drawing.
  const auto y = [&](double value) {
    if (range == 0) return (top + bottom) / 2.0;
    return bottom - (value - extent.low) * (bottom - top) / range;
  };
  const std::string title = XmlText(name);
  const std::string size =
      std::to_string(width) + "\" height=\"" + std::to_string(height);
  std::string svg =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" +
      size + "\" viewBox=\"0 0 " + std::to_string(width) + " " +
      std::to_string(height) + "\">\n<title>" + title +
      "</title>\n<rect width=\"" + size +
      "\" fill=\"white\"/>\n"
      "<g font-family=\"sans-serif\" font-size=\"12\" fill=\"black\">\n"
      "<text x=\"" +
      std::to_string(width / 2) + "\" y=\"24\" text-anchor=\"middle\" " +
      "font-size=\"16\">" + title + "</text>\n";
  const std::string l = std::to_string(left);
  const std::string r = std::to_string(right);
  const std::string t = std::to_string(top);
  const std::string b = std::to_string(bottom);
  // The axes and their titles.
  svg += "<path d=\"M" + l + " " + t + " V" + b + " H" + r +
         "\" stroke=\"black\" fill=\"none\"/>\n";
  svg += "<text x=\"" + std::to_string((left + right) / 2) + "\" y=\"" +
         std::to_string(height - 12) +
         "\" text-anchor=\"middle\">sample</text>\n";
  svg += "<text transform=\"translate(16 " +
         std::to_string((top + bottom) / 2) +
         ") rotate(-90)\" text-anchor=\"middle\">value</text>\n";
  if (count == 0) {
    svg += "<text x=\"" + std::to_string((left + right) / 2) + "\" y=\"" +
           std::to_string((top + bottom) / 2) +
           "\" text-anchor=\"middle\">no samples</text>\n";
    return svg + "</g>\n</svg>\n";
  }
  // The sample range below the axis, the values at the top and the bottom
  // of the drawing beside it.
  svg += "<text x=\"" + l + "\" y=\"" + std::to_string(bottom + 18) +
         "\" text-anchor=\"middle\">1</text>\n";
  svg += "<text x=\"" + r + "\" y=\"" + std::to_string(bottom + 18) +
         "\" text-anchor=\"end\">" + std::to_string(count) + "</text>\n";
  const auto value_label = [&](int32_t value) {
    return "<text x=\"" + std::to_string(left - 6) + "\" y=\"" +
           Number(y(value) + 4) + "\" text-anchor=\"end\">" +
           std::to_string(value) + "</text>\n";
  };
  svg += value_label(extent.high);
  if (range != 0) svg += value_label(extent.low);
  const bool zero_inside = extent.low < 0 && extent.high > 0;
  if (zero_inside) svg += value_label(0);
  svg += "</g>\n";
  // One vertical stroke a pixel column, from its lowest sample to its
  // highest, reaching to the column before so that a steep line stays
  // joined; square caps show a stroke of no length as a dot.
  svg +=
      "<path stroke=\"steelblue\" stroke-linecap=\"square\" "
      "fill=\"none\" d=\"";
  for (size_t c = 0; c < spans.size(); ++c) {
    Span joined = spans[c];
    if (c > 0) {
      joined.low = std::min(joined.low, spans[c - 1].high);
      joined.high = std::max(joined.high, spans[c - 1].low);
    }
    svg += "M" + Number(left + static_cast<double>(c) + 0.5) + " " +
           Number(y(joined.low)) + "V" + Number(y(joined.high));
  }
  svg += "\"/>\n";
  // The zero line over the signal.
  if (zero_inside) {
    svg += "<path d=\"M" + l + " " + Number(y(0)) + " H" + r +
           "\" stroke=\"gray\" stroke-dasharray=\"4 3\" fill=\"none\"/>\n";
  }
  return svg + "</svg>\n";
}

int PlotForm(const Console& console,
             const std::vector<std::string>& arguments) {
  std::string file;
  std::string svg;
  bool has_file = false;
  bool has_svg = false;
  bool names_only = false;
  // The options' values as given, for the message, and as numbers.
  std::string width_text;
  std::string height_text;
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
          return UsageError(console, "plot: " + option + " needs a value");
        }
        value = arguments[++i];
      }
      if (option == "--svg") {
        svg = value;
        has_svg = true;
      } else {
        (option == "--width" ? width_text : height_text) = value;
      }
    } else if (!names_only && argument.size() > 1 && argument[0] == '-') {
      return UsageError(console, "plot: unknown option '" + argument + "'");
    } else if (has_file) {
      return UsageError(console,
                        "plot: one FILE only, not also '" + argument + "'");
    } else {
      file = argument;
      has_file = true;
    }
  }
  if (!has_file) return UsageError(console, "plot: missing FILE");
  // An SVG needs room for its margins.
  int width = 0;
  int height = 0;
  const struct {
    const char* option;
    const std::string& text;
    int smallest;
    int* value;
  } sizes[] = {
      {"--width", width_text, has_svg ? kSvgLeft + kSvgRight + 1 : 1, &width},
      {"--height", height_text, has_svg ? kSvgTop + kSvgBottom + 1 : 1,
       &height},
  };
  for (const auto& size : sizes) {
    if (size.text.empty()) continue;
    *size.value = ReadSize(size.text);
    if (*size.value < size.smallest || *size.value > kLargestSize) {
      return UsageError(console, std::string("plot: ") + size.option +
                                     " takes a whole number from " +
                                     std::to_string(size.smallest) + " to " +
                                     std::to_string(kLargestSize) +
                                     (has_svg ? " for an SVG" : "") +
                                     ", not '" + size.text + "'");
    }
  }
  const std::string input =
      file == "-" ? std::string(kStandardInputName) : file;
  const std::string output =
      svg == "-" ? std::string(kStandardOutputName) : svg;
  // A slip of the keyboard must not cost the signal its file.
  if (has_svg && IsSameFile(input, output)) {
    console.err << "Pellory: cannot save " << NameInMessage(console, output)
                << ": it is the signal being drawn"
                << (svg == file ? ""
                                : " (" + NameInMessage(console, input) + ")")
                << "; name another file for the picture\n";
    return kExitFailed;
  }
  Editor editor(WorkConsole(console));
  editor.currentSignal = std::make_unique<Signal>();
  const Notice loaded = LoadSignalFile(editor, input);
  if (!loaded.reason.empty()) {
    console.err << "Pellory: " << loaded.reason << "\n";
  }
  const Signal& signal = *editor.currentSignal;
  if (signal.data() == nullptr) return kExitFailed;
  const int32_t* samples = signal.data() + 1;
  const int64_t count = signal.SampleCount();
  if (has_svg) {
    const std::string picture =
        SvgPlot(file == "-" ? "standard input" : file, samples, count,
                width != 0 ? width : kDefaultSvgWidth,
                height != 0 ? height : kDefaultSvgHeight);
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
  // On a terminal, its size less the line of labels and the shell's prompt.
  const bool terminal = console.output_is_terminal;
  const int columns = TerminalColumns(console);
  const int rows = TerminalRows(console);
  if (width == 0) {
    width = terminal && columns > 0 ? std::min(columns, kLargestSize)
                                    : kDefaultColumns;
  }
  if (height == 0) {
    height =
        terminal && rows > 2 ? std::min(rows - 2, kLargestSize) : kDefaultRows;
  }
  if (TakesUnicode(console)) {
    WriteUnicode(console, TerminalPlot(NameInUnicodeOutput(console, input),
                                       samples, count, width, height, true));
  } else {
    console.out << TerminalPlot(NameInOutput(console, input), samples, count,
                                width, height, false);
  }
  return console.out.flush() ? kExitDone : kExitFailed;
}

}  // namespace pellory
