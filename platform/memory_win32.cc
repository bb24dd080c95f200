#include <windows.h>

#include <cstdint>

#include "platform/memory.h"

namespace pellory {

// Committed at once, so that a size the system cannot back fails here;
// the pages come in as they are first touched.
void* AllocateLarge(size_t bytes) {
  return VirtualAlloc(nullptr, bytes == 0 ? 1 : bytes, MEM_RESERVE | MEM_COMMIT,
                      PAGE_READWRITE);
}

void FreeLarge(void* block, size_t) {
  if (block != nullptr) VirtualFree(block, 0, MEM_RELEASE);
}

// Under Wine every page of a new buffer costs a fault of its own (4 KiB
// pages, no huge ones): a lock brings a range's pages in with one call
// (mlock), and the unlock leaves them there, as it does on Windows. Where
// the lock is refused (on Windows beyond the process's minimum working set,
// under Wine beyond the user's lock limit, 8 MiB or less, hence the pieces
// of 1 MiB) the pages come in as they are written.
void PrepareSamples(int32_t* first, size_t count) {
  constexpr size_t kPiece = 1u << 20;
  auto* const bytes = reinterpret_cast<char*>(first);
  const size_t size = count * sizeof(int32_t);
  for (size_t at = 0; at < size; at += kPiece) {
    const size_t piece = size - at < kPiece ? size - at : kPiece;
    if (!VirtualLock(bytes + at, piece)) return;
    VirtualUnlock(bytes + at, piece);
  }
}

}  // namespace pellory
