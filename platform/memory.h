// Memory for sample buffers and other large buffers.
#ifndef PELLORY_PLATFORM_MEMORY_H_
#define PELLORY_PLATFORM_MEMORY_H_

#include <cstddef>
#include <cstdint>

namespace pellory {

// Zeroed room for `bytes` bytes, or null when the system refuses it. The
// pages are not touched here, so a size too large for the machine fails
// now instead of killing the process when the memory is first used. Large
// buffers start on a huge-page boundary and ask for transparent huge pages,
// which cuts the page faults of filling them by a factor of 512 where the
// kernel allows it. Released with FreeLarge and the same size.
void* AllocateLarge(size_t bytes);
void FreeLarge(void* block, size_t bytes);

// Room for `count` samples from AllocateLarge, or null when the count's
// bytes do not fit the address space or the system refuses them.
int32_t* AllocateSamples(size_t count);
// Releases a buffer from AllocateSamples of `count` samples (null is fine).
void FreeSamples(int32_t* samples, size_t count);

// Brings in at once the pages of samples [first, first + count) of such a
// buffer, which are about to be written, where one call does that faster
// than a page fault each; elsewhere nothing. The samples stay as they are.
void PrepareSamples(int32_t* first, size_t count);

}  // namespace pellory

#endif  // PELLORY_PLATFORM_MEMORY_H_
