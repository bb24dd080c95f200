// What the memory seam makes of its system calls, whatever the system.
#include "platform/memory.h"

#include <cstdint>

namespace pellory {

int32_t* AllocateSamples(size_t count) {
  // On a 32-bit system a large count's bytes do not fit a size_t.
  if (count > SIZE_MAX / sizeof(int32_t)) return nullptr;
  return static_cast<int32_t*>(AllocateLarge(count * sizeof(int32_t)));
}

void FreeSamples(int32_t* samples, size_t count) {
  FreeLarge(samples, count * sizeof(int32_t));
}

}  // namespace pellory
