#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/memory.h"

namespace pellory {

int32_t* AllocateSamples(size_t count) {
  if (count > SIZE_MAX / sizeof(int32_t)) return nullptr;
  auto* samples = static_cast<int32_t*>(std::calloc(count, sizeof(int32_t)));
  constexpr size_t kHugePage = 2u << 20;
  const size_t bytes = count * sizeof(int32_t);
#if defined(MADV_HUGEPAGE)  // Linux only
  if (samples != nullptr && bytes >= 2 * kHugePage) {
    // Only whole pages inside the buffer can be advised.
    const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<uintptr_t>(samples);
    const uintptr_t first = (start + page - 1) / page * page;
    const uintptr_t last = (start + bytes) / page * page;
    // Advice only: without huge pages the buffer works the same.
    madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
  }
#endif
  return samples;
}

// A huge page already comes in with one fault for 512 pages' worth.
void PrepareSamples(int32_t*, size_t) {}

void FreeSamples(int32_t* samples) { std::free(samples); }

}  // namespace pellory
