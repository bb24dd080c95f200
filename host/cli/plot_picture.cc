#include "host/cli/plot_picture.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "cpu/parallel.h"
#include "host/editor/status_line.h"
#include "platform/utf8.h"

namespace pellory {
namespace {

// Fewer samples than this are scanned on one thread.
constexpr int64_t kSmallestPart = 1 << 16;

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

// `value`'s level among `levels` (0 the lowest) between the extent's low
// and high, rounded to the nearest.
int Level(int32_t value, const Span& extent, int levels) {
  const int64_t range = int64_t{extent.high} - extent.low;
  if (range == 0) return (levels - 1) / 2;
  return static_cast<int>(
      ((int64_t{value} - extent.low) * (levels - 1) + range / 2) / range);
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
                   int width, bool unicode, const PlotLabel& label) {
  const std::string high = std::to_string(extent.high);
  const std::string low = std::to_string(extent.low);
  const std::string seconds =
      label.rate > 0 ? " (0 to " + SecondsText(count, label.rate) + " s)" : "";
  const std::string part = label.channel.empty() ? ": " : ": " + label.channel;
  const std::string after = label.channel.empty() ? "" : ", ";
  std::vector<std::string> tails =
      count == 0
          ? std::vector<std::string>{part + after + "no samples"}
          : std::vector<std::string>{
                part + after + "samples 1 to " + Grouped(count) + seconds +
                    "; top row " + high + ", bottom row " + low,
                part + after + "top row " + high + ", bottom row " + low,
                part + after + high + " to " + low};
  if (!label.channel.empty()) tails.push_back(part);
  tails.push_back("");
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

}  // namespace

Span Extent(const std::vector<Span>& spans) {
  Span extent = {INT32_MAX, INT32_MIN};
  for (const Span& span : spans) {
    extent.low = std::min(extent.low, span.low);
    extent.high = std::max(extent.high, span.high);
  }
  return extent;
}

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

std::string SecondsText(int64_t count, int rate) {
  char text[32];
  std::snprintf(text, sizeof(text), "%.3f", static_cast<double>(count) / rate);
  return text;
}

std::string TerminalPlot(const std::string& name, const int32_t* samples,
                         int64_t count, int width, int rows, bool unicode,
                         const PlotLabel& label) {
  // A braille character holds two columns and four rows of dots.
  const int across = unicode ? 2 : 1;
  const int down = unicode ? 4 : 1;
  const std::vector<Span> spans = Envelope(samples, count, width * across);
  const Span extent = Extent(spans);
  std::string text = Labels(name, count, extent, width, unicode, label);
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

}  // namespace pellory
