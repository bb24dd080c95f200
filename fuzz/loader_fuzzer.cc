// Any bytes as a signal file's text, parsed in memory on every path the
// processor has. Invariants: no sanitizer report; the parse agrees with the
// straightforward loader (fails alike, or gives count+1 elements with the
// same values), whether the text comes in one piece or in chunks; the
// formatted text of what was parsed is a well-formed signal file that
// parses back to the same values.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "bench/straightforward_io.h"
#include "fuzz/fuzz_util.h"
#include "host/signal/line_kernels.h"
#include "host/signal/signal.h"
#include "host/signal/signal_text.h"

using pellory::fuzz::Check;

namespace {

// Parses `text` fed in chunks of `piece` bytes, as a file read would.
bool Parse(std::string_view text, size_t piece, pellory::Signal* signal) {
  pellory::SignalParser parser(signal);
  std::string err;
  for (size_t at = 0; at < text.size() && !parser.Complete(); at += piece) {
    const size_t size = std::min(piece, text.size() - at);
    if (!parser.Feed(text.data() + at, size, &err)) return false;
  }
  return parser.Complete() || parser.Finish(&err);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string decoded = pellory::fuzz::DecodeStraightforwardly(text);
  // Counts that would take gigabytes are the unit tests' business; here
  // they would only trip the fuzzer's memory limit.
  const std::string count_line(decoded.substr(0, decoded.find('\n')));
  if (pellory::reference::Atoi(count_line) > (1 << 14)) return 0;
  const auto expected = pellory::fuzz::LoadStraightforwardly(decoded);

  pellory::Signal signal;
  for (const pellory::LinePath* path : pellory::LinePaths()) {
    if (!pellory::ProcessorHas(path->needs)) continue;
    pellory::UseLinePath(*path);
    const bool loaded = Parse(text, text.size() + 1, &signal);
    Check(loaded == expected.has_value(), "load agrees on success");
    if (!loaded) {
      Check(signal.data() == nullptr, "failed load leaves no buffer");
      continue;
    }
    const int32_t count = signal.SampleCount();
    Check(count >= 0 && signal.data()[0] == count, "element 0 holds count");
    Check(static_cast<size_t>(count) + 1 == expected->size(),
          "count+1 elements");
    Check(std::equal(expected->begin(), expected->end(), signal.data()),
          "loaded values agree");

    pellory::Signal chunked;
    // Three chunks, their boundaries moving with the input's length (the
    // unit tests split their cases at every byte).
    Check(Parse(text, 1 + size / 3, &chunked), "chunked load succeeds");
    Check(chunked.SampleCount() == count &&
              std::equal(expected->begin(), expected->end(), chunked.data()),
          "chunked load agrees");
  }
  if (!expected.has_value()) return 0;
  const int32_t count = signal.SampleCount();

  std::string saved;
  pellory::SignalFormatter formatter(signal.data(), count, "\n");
  std::string_view piece;
  while (formatter.Next(&piece)) saved += piece;
  Check(pellory::fuzz::IsWellFormedSignalFile(saved), "saved text well-formed");
  pellory::Signal again;
  Check(Parse(saved, saved.size(), &again), "saved text loads");
  Check(again.SampleCount() == count &&
            std::equal(expected->begin(), expected->end(), again.data()),
        "reload keeps the samples");
  return 0;
}
