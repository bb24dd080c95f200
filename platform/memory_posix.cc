#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

#include "platform/memory.h"

namespace pellory {
namespace {

constexpr size_t kHugePage = 2u << 20;

// AddressSanitizer watches the edges of heap blocks only: under it, large
// buffers come from the heap, so that a write past one is caught.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kFromTheHeap = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kFromTheHeap = true;
#else
constexpr bool kFromTheHeap = false;
#endif
#else
constexpr bool kFromTheHeap = false;
#endif

// The bytes mapped for a buffer of `bytes`: whole huge pages once it holds
// one, so that its last huge page is not left to small pages. The pages
// past `bytes` are never touched, and so never take memory.
size_t MappedSize(size_t bytes) {
  return bytes < kHugePage ? bytes
                           : (bytes + kHugePage - 1) / kHugePage * kHugePage;
}

}  // namespace

void* AllocateLarge(size_t bytes) {
  if (kFromTheHeap) return std::calloc(bytes, 1);
  if (bytes == 0) bytes = 1;
  if (bytes > SIZE_MAX - 2 * kHugePage) return nullptr;
  const size_t size = MappedSize(bytes);
  if (size < kHugePage) {
    void* const block = mmap(nullptr, size, PROT_READ | PROT_WRITE,
                             MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return block == MAP_FAILED ? nullptr : block;
  }
  // Mapped with a huge page's worth to spare, then trimmed to start on a
  // huge-page boundary: a buffer that starts inside a huge page's range
  // would fill that range with small pages.
  void* const mapped = mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE,
                            MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<uintptr_t>(mapped);
  const uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
  if (aligned > start) munmap(mapped, aligned - start);
  const uintptr_t end = aligned + size;
  if (start + size + kHugePage > end) {
    munmap(reinterpret_cast<void*>(end), start + size + kHugePage - end);
  }
  void* const block = reinterpret_cast<void*>(aligned);
#if defined(MADV_HUGEPAGE)  // Linux only
  // Advice only: without huge pages the buffer works the same.
  madvise(block, size, MADV_HUGEPAGE);
#endif
  return block;
}

void FreeLarge(void* block, size_t bytes) {
  if (block == nullptr) return;
  if (kFromTheHeap) return std::free(block);
  munmap(block, MappedSize(bytes == 0 ? 1 : bytes));
}

// A huge page already comes in with one fault for 512 pages' worth.
void PrepareSamples(int32_t*, size_t) {}

}  // namespace pellory
