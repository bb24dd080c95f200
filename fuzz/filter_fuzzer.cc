// Any parameter text and any samples for one filter, compiled once per
// filter (PELLORY_FUZZ_AMPLIFY, _ECHO or _SMOOTH) with that plug-in's source.
// Input: one byte L, then L bytes of parameter text, then the samples as
// 32-bit little-endian integers (at most 4096).
//
// Invariants: no sanitizer report (so no out-of-range float-to-integer
// conversion); element 0 never changes; guard values after element N are
// never touched; a text the filter cannot use is treated as documented; and
// wherever the straightforward loop is affordable, the result is bit for
// bit the straightforward loop's.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/fuzz_util.h"
#include "plugin_api/filter_plugin.h"
#include "plugins/amplify/amplify.h"
#include "plugins/echo/echo.h"
#include "plugins/smooth/smooth.h"

using pellory::fuzz::Check;

namespace {

constexpr int32_t kGuard = 0x7E57ED;
constexpr size_t kGuards = 16;
constexpr size_t kMaxSamples = 4096;

// The expected samples, or an empty result when only the invariants above
// can be checked (the straightforward Smooth would take too long).
bool Expected(const std::string& text, std::vector<int32_t>* buffer) {
#if defined(PELLORY_FUZZ_AMPLIFY)
  pellory::fuzz::AmplifyStraightforwardly(buffer, pellory::ReadGain(text));
  return true;
#elif defined(PELLORY_FUZZ_ECHO)
  float factor;
  int32_t delay;
  if (!pellory::ReadEchoParameters(text, &factor, &delay)) return true;
  pellory::fuzz::EchoStraightforwardly(buffer, factor, delay);
  return true;
#elif defined(PELLORY_FUZZ_SMOOTH)
  int32_t size;
  if (!pellory::ReadSmoothSize(text, &size)) return true;  // unchanged
  // The straightforward loop is one chain of size steps per sample, about
  // 6 ns a step: past a quarter of a million steps an input would cost
  // milliseconds to check. Larger inputs still run, and are checked for
  // every invariant but this one; the unit tests compare huge windows.
  if (static_cast<int64_t>(size) * (*buffer)[0] > 250000) return false;
  pellory::fuzz::SmoothStraightforwardly(buffer, size);
  return true;
#endif
}

void Apply(int32_t* samples, const std::string& text) {
#if defined(PELLORY_FUZZ_AMPLIFY)
  Filter_Amplify(samples, text);
#elif defined(PELLORY_FUZZ_ECHO)
  Filter_Echo(samples, text);
#elif defined(PELLORY_FUZZ_SMOOTH)
  Filter_Smooth(samples, text);
#endif
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t text_length = std::min<size_t>(data[0], size - 1);
  const std::string text(reinterpret_cast<const char*>(data + 1), text_length);
  const uint8_t* sample_bytes = data + 1 + text_length;
  const size_t count = std::min((size - 1 - text_length) / 4, kMaxSamples);

  std::vector<int32_t> buffer(1 + count + kGuards, kGuard);
  buffer[0] = static_cast<int32_t>(count);
  std::memcpy(buffer.data() + 1, sample_bytes, count * 4);
  std::vector<int32_t> expected(buffer.begin(), buffer.begin() + 1 + count);

  // First on a buffer of exactly N+1 elements, where AddressSanitizer
  // reports any access past element N, read or write.
  std::unique_ptr<int32_t[]> exact(new int32_t[1 + count]);
  std::copy(expected.begin(), expected.end(), exact.get());
  Apply(exact.get(), text);
  Apply(buffer.data(), text);
  Check(std::equal(buffer.begin(), buffer.begin() + 1 + count, exact.get()),
        "same result on either buffer");

  Check(buffer[0] == static_cast<int32_t>(count), "element 0 unchanged");
  for (size_t i = 1 + count; i < buffer.size(); ++i) {
    Check(buffer[i] == kGuard, "nothing written past element N");
  }
#if defined(PELLORY_FUZZ_SMOOTH)
  if (count >= 1) {
    Check(buffer[count] == expected[count], "last sample unchanged");
  }
#endif
  if (Expected(text, &expected)) {
    for (size_t i = 1; i <= count; ++i) {
      Check(buffer[i] == expected[i], "same as the straightforward loop");
    }
  }
  return 0;
}
