#include <windows.h>

#include <bit>
#include <cstdint>

#include "platform/cores.h"

namespace pellory {

int UsableCores() {
  DWORD_PTR process = 0;
  DWORD_PTR system = 0;
  if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system)) {
    return 1;
  }
  const int count = std::popcount(static_cast<uintptr_t>(process));
  return count > 0 ? count : 1;
}

}  // namespace pellory
