#include <cstdint>
#include <cstdlib>

#include "platform/memory.h"

namespace pellory {

int32_t* AllocateSamples(size_t count) {
  // On 32-bit Windows a large count's bytes do not fit a size_t.
  if (count > SIZE_MAX / sizeof(int32_t)) return nullptr;
  return static_cast<int32_t*>(std::calloc(count, sizeof(int32_t)));
}

void FreeSamples(int32_t* samples) { std::free(samples); }

}  // namespace pellory
