#include <windows.h>

#include <bit>
#include <cstdint>
#include <system_error>
#include <thread>

#include "cpu/threads.h"

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

int CurrentCore() { return static_cast<int>(GetCurrentProcessorNumber()); }

// The console's events reach the program on a thread of the system's own;
// a helper thread has nothing to keep from them.
bool StartHelperThread(std::function<void()> run) {
  try {
    std::thread(std::move(run)).detach();
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

}  // namespace pellory
