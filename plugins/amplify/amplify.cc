// Tarrock.dll: multiplies every sample by a gain, rounding half up.
#include "plugins/amplify/amplify.h"

#include <cctype>
#include <cstdlib>
#include <string>

#include "cpu/parallel.h"
#include "plugin_api/filter_plugin.h"
#include "plugin_api/sample_math.h"

namespace {

// Adds 0.5 in double precision: a float sum would round 2^23 + 1.5 up to
// 2^23 + 2 before the truncation ever sees it. Truncating toward zero after
// the shift rounds zero and positive values half up, and negative values to
// the integer part of x + 0.5 (-2.5 becomes -2, -10 becomes -9).
// Fewer samples than this take longer to hand to a thread than to amplify.
constexpr int64_t kSmallestPart = 1 << 16;

int32_t RoundHalfUp(float x) {
  const double shifted = static_cast<double>(x) + 0.5;
  return pellory::TruncateToSample(shifted);
}

}  // namespace

namespace pellory {

float ReadGain(const std::string& parameter_text) {
  // The number atof reads: blanks, a sign, digits, a decimal point, an
  // exponent. Only that prefix goes to strtod, whose extensions ("inf",
  // "nan", hexadecimal) differ between C runtimes: every platform reads a
  // text the same way.
  const char* const text = parameter_text.c_str();
  const char* p = text;
  while (std::isspace(static_cast<unsigned char>(*p))) ++p;
  const char* const number = p;
  if (*p == '+' || *p == '-') ++p;
  const auto digits = [&p] {
    const char* const start = p;
    while (std::isdigit(static_cast<unsigned char>(*p))) ++p;
    return p != start;
  };
  bool any_digit = digits();
  if (*p == '.') {
    ++p;
    any_digit = digits() || any_digit;
  }
  if (!any_digit) return 0.0f;
  if (*p == 'e' || *p == 'E') {
    const char* const mantissa_end = p;
    ++p;
    if (*p == '+' || *p == '-') ++p;
    if (!digits()) p = mantissa_end;
  }
  const std::string prefix(number, p);
  return static_cast<float>(std::strtod(prefix.c_str(), nullptr));
}

}  // namespace pellory

std::string Parameters_Amplify() {
  return "Parameters; gain, a float in the range 1-10";
}

void Filter_Amplify(int32_t* samples, std::string parameter_text) {
  // A text that does not convert gives 0, so every sample becomes 0.
  const float gain = pellory::ReadGain(parameter_text);
  const int64_t count = samples[0];
  // Each sample is its own: the samples split across the cores.
  const int parts = pellory::PartsFor(count, kSmallestPart);
  pellory::RunParts(parts, [&](int part) {
    const int64_t first = pellory::PartStart(1, count, part, parts);
    const int64_t end = pellory::PartStart(1, count, part + 1, parts);
    // 64-bit: a 32-bit counter would overflow past a count of 2^31 - 1.
    for (int64_t i = first; i < end; ++i) {
      const double product =
          static_cast<double>(samples[i]) * static_cast<double>(gain);
      const float stored = static_cast<float>(product);
      samples[i] = RoundHalfUp(stored);
    }
  });
}
