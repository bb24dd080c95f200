// Memory for sample buffers.
#ifndef PELLORY_PLATFORM_MEMORY_H_
#define PELLORY_PLATFORM_MEMORY_H_

#include <cstddef>
#include <cstdint>

namespace pellory {

// Zeroed room for `count` samples, or null when the system refuses it. The
// pages are not touched here, so a count too large for the machine fails
// now instead of killing the process when the memory is first used. Large
// buffers ask for transparent huge pages, which cuts the page faults of
// filling them by a factor of 512 where the kernel allows it.
int32_t* AllocateSamples(size_t count);

// Brings in at once the pages of samples [first, first + count) of such a
// buffer, which are about to be written, where one call does that faster
// than a page fault each; elsewhere nothing. The samples stay as they are.
void PrepareSamples(int32_t* first, size_t count);

// Releases a buffer from AllocateSamples (null is fine).
void FreeSamples(int32_t* samples);

}  // namespace pellory

#endif  // PELLORY_PLATFORM_MEMORY_H_
