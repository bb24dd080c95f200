// The processor cores this process may run on.
#ifndef PELLORY_PLATFORM_CORES_H_
#define PELLORY_PLATFORM_CORES_H_

namespace pellory {

// How many cores the system lets this process run on (its affinity mask),
// at least 1.
int UsableCores();

}  // namespace pellory

#endif  // PELLORY_PLATFORM_CORES_H_
