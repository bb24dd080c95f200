// Any bytes as a signal file. Invariants: no sanitizer report; the load
// agrees with the straightforward loader (fails alike, or gives count+1
// elements with the same values); saving what was loaded and loading that
// again gives the same count and samples, in a well-formed file.
#include <cstdint>
#include <string>
#include <string_view>

#include "bench/straightforward_io.h"
#include "fuzz/fuzz_util.h"
#include "host/sample_text.h"
#include "host/signal.h"

using pellory::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string folder = pellory::fuzz::ScratchFolder();
  static const std::string path = folder + "/signal.txt";
  static const std::string saved = folder + "/saved.txt";
  const std::string text(reinterpret_cast<const char*>(data), size);
  // Counts that would take gigabytes are the unit tests' business; here
  // they would only trip the fuzzer's memory limit.
  const size_t first_break = text.find('\n');
  if (pellory::ParseSampleLine(std::string_view(text).substr(
          0, first_break == std::string::npos ? text.size() : first_break)) >
      (1 << 14)) {
    return 0;
  }
  pellory::fuzz::WriteWhole(path, text);

  pellory::Signal signal;
  const bool loaded = signal.Load(path);
  const auto expected = pellory::reference::Load(path);
  Check(loaded == expected.has_value(), "load agrees on success");
  if (!loaded) {
    Check(signal.data() == nullptr, "failed load leaves no buffer");
    return 0;
  }
  const int32_t count = signal.SampleCount();
  Check(count >= 0 && signal.data()[0] == count, "element 0 holds count");
  Check(static_cast<size_t>(count) + 1 == expected->size(), "count+1 elements");
  for (int32_t i = 0; i <= count; ++i) {
    Check(signal.data()[i] == (*expected)[static_cast<size_t>(i)],
          "loaded values agree");
  }

  Check(signal.Save(saved), "save succeeds");
  Check(pellory::fuzz::IsWellFormedSignalFile(pellory::fuzz::ReadWhole(saved)),
        "saved file well-formed");
  pellory::Signal again;
  Check(again.Load(saved), "saved file loads");
  Check(again.SampleCount() == count, "reload keeps count");
  for (int32_t i = 0; i <= count; ++i) {
    Check(again.data()[i] == signal.data()[i], "reload keeps samples");
  }
  return 0;
}
