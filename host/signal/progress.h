// How far a long action on a signal (a load, a save) has got, counted by
// the action and read by whoever shows it, from another thread.
#ifndef PELLORY_HOST_SIGNAL_PROGRESS_H_
#define PELLORY_HOST_SIGNAL_PROGRESS_H_

#include <atomic>
#include <cstdint>

namespace pellory {

// `done` of `total` (bytes of a file, say); a total of 0 or less is not
// known.
struct Progress {
  std::atomic<int64_t> done{0};
  std::atomic<int64_t> total{0};
};

}  // namespace pellory

#endif  // PELLORY_HOST_SIGNAL_PROGRESS_H_
