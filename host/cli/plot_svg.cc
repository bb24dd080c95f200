#include "host/cli/plot_svg.h"

#include <algorithm>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "host/cli/plot_picture.h"
#include "platform/utf8.h"

namespace pellory {
namespace {

// The margins around the drawing, for the title and the labels.
constexpr int kSvgLeft = 90;
constexpr int kSvgRight = 20;
constexpr int kSvgTop = 40;
constexpr int kSvgBottom = 50;
static_assert(kSmallestSvgWidth == kSvgLeft + kSvgRight + 1);
static_assert(kSmallestSvgHeight == kSvgTop + kSvgBottom + 1);

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

// Where the drawing lies in the picture, and the values it spans.
struct Drawing {
  int left;
  int right;
  int top;
  int bottom;
  Span extent;

  double range() const {
    return static_cast<double>(int64_t{extent.high} - extent.low);
  }
  // The y of `value`: its extent from the bottom to the top of the drawing.
  double Y(double value) const {
    if (range() == 0) return (top + bottom) / 2.0;
    return bottom - (value - extent.low) * (bottom - top) / range();
  }
};

// The picture's head and its title above the drawings, inside the labels'
// group.
std::string Head(const std::string& name, int width, int height) {
  const std::string title = XmlText(name);
  const std::string size =
      std::to_string(width) + "\" height=\"" + std::to_string(height);
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" "
         "width=\"" +
         size + "\" viewBox=\"0 0 " + std::to_string(width) + " " +
         std::to_string(height) + "\">\n<title>" + title +
         "</title>\n<rect width=\"" + size +
         "\" fill=\"white\"/>\n"
         "<g font-family=\"sans-serif\" font-size=\"12\" fill=\"black\">\n"
         "<text x=\"" +
         std::to_string(width / 2) + "\" y=\"24\" text-anchor=\"middle\" " +
         "font-size=\"16\">" + title + "</text>\n";
}

// A drawing's axes and their titles, its band ending at `band_bottom`.
std::string Axes(const Drawing& d, int band_bottom) {
  std::string svg = "<path d=\"M" + std::to_string(d.left) + " " +
                    std::to_string(d.top) + " V" + std::to_string(d.bottom) +
                    " H" + std::to_string(d.right) +
                    "\" stroke=\"black\" fill=\"none\"/>\n";
  svg += "<text x=\"" + std::to_string((d.left + d.right) / 2) + "\" y=\"" +
         std::to_string(band_bottom - 12) +
         "\" text-anchor=\"middle\">sample</text>\n";
  svg += "<text transform=\"translate(16 " +
         std::to_string((d.top + d.bottom) / 2) +
         ") rotate(-90)\" text-anchor=\"middle\">value</text>\n";
  return svg;
}

// The sample range below the axis, the values at the top and the bottom
// of the drawing (and zero, where it lies between) beside it.
std::string RangeLabels(int64_t count, int rate, const Drawing& d) {
  // An audio file's axis in seconds too.
  const std::string start = rate > 0 ? "1 (0 s)" : "1";
  const std::string end =
      std::to_string(count) +
      (rate > 0 ? " (" + SecondsText(count, rate) + " s)" : "");
  std::string svg = "<text x=\"" + std::to_string(d.left) + "\" y=\"" +
                    std::to_string(d.bottom + 18) + "\">" + start + "</text>\n";
  svg += "<text x=\"" + std::to_string(d.right) + "\" y=\"" +
         std::to_string(d.bottom + 18) + "\" text-anchor=\"end\">" + end +
         "</text>\n";
  const auto value_label = [&](int32_t value) {
    return "<text x=\"" + std::to_string(d.left - 6) + "\" y=\"" +
           Number(d.Y(value) + 4) + "\" text-anchor=\"end\">" +
           std::to_string(value) + "</text>\n";
  };
  svg += value_label(d.extent.high);
  if (d.range() != 0) svg += value_label(d.extent.low);
  if (d.extent.low < 0 && d.extent.high > 0) svg += value_label(0);
  return svg;
}

// One vertical stroke a pixel column, from its lowest sample to its
// highest, reaching to the column before so that a steep line stays
// joined; square caps show a stroke of no length as a dot. Then the zero
// line over the signal.
std::string EnvelopePath(const std::vector<Span>& spans, const Drawing& d) {
  std::string svg =
      "<path stroke=\"steelblue\" stroke-linecap=\"square\" "
      "fill=\"none\" d=\"";
  for (size_t c = 0; c < spans.size(); ++c) {
    Span joined = spans[c];
    if (c > 0) {
      joined.low = std::min(joined.low, spans[c - 1].high);
      joined.high = std::max(joined.high, spans[c - 1].low);
    }
    svg += "M" + Number(d.left + static_cast<double>(c) + 0.5) + " " +
           Number(d.Y(joined.low)) + "V" + Number(d.Y(joined.high));
  }
  svg += "\"/>\n";
  if (d.extent.low < 0 && d.extent.high > 0) {
    svg += "<path d=\"M" + std::to_string(d.left) + " " + Number(d.Y(0)) +
           " H" + std::to_string(d.right) +
           "\" stroke=\"gray\" stroke-dasharray=\"4 3\" fill=\"none\"/>\n";
  }
  return svg;
}

}  // namespace

std::string SvgPlot(const std::string& name,
                    const std::vector<std::span<const int32_t>>& channels,
                    int width, int height, int rate) {
  const int bands = static_cast<int>(channels.size());
  std::string svg = Head(name, width, height * bands);
  std::string paths;
  for (int c = 0; c < bands; ++c) {
    const int offset = c * height;
    const std::span<const int32_t> samples = channels[static_cast<size_t>(c)];
    const auto count = static_cast<int64_t>(samples.size());
    Drawing drawing = {kSvgLeft,
                       width - kSvgRight,
                       offset + kSvgTop,
                       offset + height - kSvgBottom,
                       {0, 0}};
    const std::vector<Span> spans = Envelope(
        samples.data(), count, std::max(drawing.right - drawing.left, 1));
    drawing.extent = Extent(spans);
    svg += Axes(drawing, offset + height);
    if (bands > 1) {
      svg += "<text x=\"" + std::to_string(drawing.left) + "\" y=\"" +
             std::to_string(drawing.top - 8) + "\">channel " +
             std::to_string(c + 1) + "</text>\n";
    }
    if (count == 0) {
      svg += "<text x=\"" + std::to_string((drawing.left + drawing.right) / 2) +
             "\" y=\"" + std::to_string((drawing.top + drawing.bottom) / 2) +
             "\" text-anchor=\"middle\">no samples</text>\n";
      continue;
    }
    svg += RangeLabels(count, rate, drawing);
    paths += EnvelopePath(spans, drawing);
  }
  return svg + "</g>\n" + paths + "</svg>\n";
}

}  // namespace pellory
