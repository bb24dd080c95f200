#include <sched.h>

#include "platform/cores.h"

namespace pellory {

int UsableCores() {
  cpu_set_t cores;
  if (sched_getaffinity(0, sizeof(cores), &cores) != 0) return 1;
  const int count = CPU_COUNT(&cores);
  return count > 0 ? count : 1;
}

}  // namespace pellory
