#include "host/cli/info.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "cpu/parallel.h"
#include "host/cli/form.h"
#include "host/editor/shown_names.h"
#include "platform/file.h"

namespace pellory {
namespace {

// Fewer samples than this are summed on one thread.
constexpr int64_t kSmallestPart = 1 << 16;

void AddSquare(SignalSummary* summary, uint64_t square) {
  summary->squares_low += square;
  summary->squares_high += summary->squares_low < square ? 1 : 0;
}

// An unsigned integer of any size as 32-bit limbs, lowest first: just what
// the exact rounding below needs, products and comparisons.
using Big = std::vector<uint32_t>;

Big BigOf(uint64_t high, uint64_t low) {
  return {static_cast<uint32_t>(low), static_cast<uint32_t>(low >> 32),
          static_cast<uint32_t>(high), static_cast<uint32_t>(high >> 32)};
}

Big Times(const Big& a, const Big& b) {
  Big product(a.size() + b.size(), 0);
  for (size_t i = 0; i < a.size(); ++i) {
    uint64_t carry = 0;
    for (size_t j = 0; j < b.size(); ++j) {
      const uint64_t sum = uint64_t{a[i]} * b[j] + product[i + j] + carry;
      product[i + j] = static_cast<uint32_t>(sum);
      carry = sum >> 32;
    }
    product[i + b.size()] = static_cast<uint32_t>(carry);
  }
  return product;
}

Big TimesPowerOfTen(Big value, int exponent) {
  for (int i = 0; i < exponent; ++i) value = Times(value, BigOf(0, 10));
  return value;
}

bool Less(const Big& a, const Big& b) {
  const size_t size = std::max(a.size(), b.size());
  for (size_t i = size; i-- > 0;) {
    const uint32_t x = i < a.size() ? a[i] : 0;
    const uint32_t y = i < b.size() ? b[i] : 0;
    if (x != y) return x < y;
  }
  return false;
}

// `digits` (a whole number) with a decimal point before its last
// `decimals` digits, and `negative`'s sign.
std::string WithPoint(uint64_t digits, int decimals, bool negative) {
  std::string text = std::to_string(digits);
  if (text.size() <= static_cast<size_t>(decimals)) {
    text.insert(0, static_cast<size_t>(decimals) + 1 - text.size(), '0');
  }
  if (decimals > 0)
    text.insert(text.size() - static_cast<size_t>(decimals), ".");
  return (negative && digits != 0 ? "-" : "") + text;
}

// How many decimals show `estimate` to six decimals, or, below 1, to seven
// significant digits.
int DecimalsFor(double estimate) {
  if (estimate == 0 || estimate >= 1) return 6;
  return 6 - static_cast<int>(std::floor(std::log10(estimate)));
}

// The candidate nearest `estimate` for which `fits` holds (the estimate is
// within one of the answer), or the estimate.
template <typename Fits>
uint64_t Nearest(double estimate, Fits fits) {
  const auto k = static_cast<uint64_t>(std::llround(estimate));
  for (const uint64_t candidate : {k, k + 1, k - 1}) {
    if (candidate != UINT64_MAX && fits(candidate)) return candidate;
  }
  return k;
}

// sum / count, correctly rounded: k such that (2k - 1) count <= 2 |sum|
// 10^d < (2k + 1) count.
std::string MeanText(int64_t sum, int64_t count) {
  const bool negative = sum < 0;
  const uint64_t magnitude =
      negative ? uint64_t{0} - static_cast<uint64_t>(sum) : uint64_t(sum);
  const double estimate =
      static_cast<double>(magnitude) / static_cast<double>(count);
  const int decimals = DecimalsFor(estimate);
  const Big twice = TimesPowerOfTen(BigOf(0, magnitude * 2), decimals);
  const Big n = BigOf(0, static_cast<uint64_t>(count));
  const uint64_t k =
      Nearest(estimate * std::pow(10.0, decimals), [&](uint64_t candidate) {
        const bool above = candidate == 0 ||
                           !Less(twice, Times(BigOf(0, 2 * candidate - 1), n));
        return above && Less(twice, Times(BigOf(0, 2 * candidate + 1), n));
      });
  return WithPoint(k, decimals, negative);
}

// sqrt(squares / count), correctly rounded: k such that (2k - 1)^2 count <=
// 4 squares 10^2d < (2k + 1)^2 count.
std::string RmsText(const SignalSummary& summary) {
  const double squares =
      std::ldexp(static_cast<double>(summary.squares_high), 64) +
      static_cast<double>(summary.squares_low);
  const double estimate =
      std::sqrt(squares / static_cast<double>(summary.samples));
  const int decimals = DecimalsFor(estimate);
  const Big four = TimesPowerOfTen(
      Times(BigOf(summary.squares_high, summary.squares_low), BigOf(0, 4)),
      2 * decimals);
  const Big n = BigOf(0, static_cast<uint64_t>(summary.samples));
  const auto square_times_n = [&](uint64_t odd) {
    const Big b = BigOf(0, odd);
    return Times(Times(b, b), n);
  };
  const uint64_t k =
      Nearest(estimate * std::pow(10.0, decimals), [&](uint64_t candidate) {
        const bool above =
            candidate == 0 || !Less(four, square_times_n(2 * candidate - 1));
        return above && Less(four, square_times_n(2 * candidate + 1));
      });
  return WithPoint(k, decimals, false);
}

}  // namespace

SignalSummary Summarize(const int32_t* samples, int64_t count, int bits) {
  const int32_t high = bits >= 32 ? INT32_MAX : (int32_t{1} << (bits - 1)) - 1;
  const int32_t low = -high - 1;
  const int parts = PartsFor(count, kSmallestPart);
  std::vector<SignalSummary> partial(static_cast<size_t>(parts));
  RunParts(parts, [&](int part) {
    SignalSummary& own = partial[static_cast<size_t>(part)];
    const int64_t begin = PartStart(0, count, part, parts);
    const int64_t end = PartStart(0, count, part + 1, parts);
    own.samples = end - begin;
    own.min = INT32_MAX;
    own.max = INT32_MIN;
    for (int64_t i = begin; i < end; ++i) {
      const int32_t value = samples[i];
      own.min = std::min(own.min, value);
      own.max = std::max(own.max, value);
      own.sum += value;
      AddSquare(&own, static_cast<uint64_t>(int64_t{value} * value));
      own.at_limits += value <= low || value >= high;
    }
  });
  SignalSummary whole;
  whole.min = INT32_MAX;
  whole.max = INT32_MIN;
  for (const SignalSummary& own : partial) {
    whole.samples += own.samples;
    if (own.samples == 0) continue;
    whole.min = std::min(whole.min, own.min);
    whole.max = std::max(whole.max, own.max);
    whole.sum += own.sum;
    whole.squares_high += own.squares_high;
    AddSquare(&whole, own.squares_low);
    whole.at_limits += own.at_limits;
  }
  return whole;
}

std::string FiguresText(const SignalSummary& summary) {
  const bool none = summary.samples == 0;
  std::string text = "samples: " + std::to_string(summary.samples) + "\n";
  text += "min: " + (none ? "-" : std::to_string(summary.min)) + "\n";
  text += "max: " + (none ? "-" : std::to_string(summary.max)) + "\n";
  text +=
      "mean: " + (none ? "-" : MeanText(summary.sum, summary.samples)) + "\n";
  text += "rms: " + (none ? "-" : RmsText(summary)) + "\n";
  return text + "at limits: " + std::to_string(summary.at_limits) + "\n";
}

std::string SummaryText(const std::string& name, const SignalSummary& summary) {
  return "file: " + name + "\n" + FiguresText(summary) + "\n";
}

std::string AudioSummaryText(const std::string& name,
                             const SignalFormat& format,
                             const std::vector<Signal>& channels) {
  const int64_t frames = channels[0].SampleCount();
  char duration[64];
  std::snprintf(duration, sizeof(duration), "%.3f",
                static_cast<double>(frames) / format.rate);
  const int64_t high = (int64_t{1} << (format.bits - 1)) - 1;
  std::string text =
      "file: " + name + "\nformat: " + FormatDescription(format) +
      "\nchannels: " + std::to_string(channels.size()) +
      "\nduration: " + duration + " s\nlimits: " + std::to_string(-high - 1) +
      " and " + std::to_string(high) + "\n";
  for (size_t c = 0; c < channels.size(); ++c) {
    if (channels.size() > 1) text += "channel " + std::to_string(c + 1) + ":\n";
    text += FiguresText(Summarize(channels[c].data() + 1, frames, format.bits));
  }
  return text + "\n";
}

int InfoForm(const Console& console,
             const std::vector<std::string>& arguments) {
  std::vector<std::string> files;
  bool names_only = false;
  for (const std::string& argument : arguments) {
    if (!names_only && argument == "--") {
      names_only = true;
    } else if (argument == "-") {
      files.emplace_back(kStandardInputName);
    } else if (!names_only && argument.size() > 1 && argument[0] == '-') {
      return UsageError(console, "info: unknown option '" + argument + "'");
    } else {
      files.push_back(argument);
    }
  }
  if (files.empty()) return UsageError(console, "info: missing FILE");
  int status = kExitDone;
  for (const std::string& file : files) {
    std::vector<Signal> channels;
    SignalFormat format;
    if (!LoadForForm(console, file, &channels, &format)) {
      status = kExitFailed;
      continue;
    }
    const std::string name = NameInOutput(console, file);
    if (format.is_audio()) {
      console.out << AudioSummaryText(name, format, channels);
    } else {
      console.out << SummaryText(
          name, Summarize(channels[0].data() + 1, channels[0].SampleCount()));
    }
  }
  return status;
}

}  // namespace pellory
