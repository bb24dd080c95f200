#include "host/signal/signal.h"

#include <cstddef>

#include "platform/memory.h"

namespace pellory {

Signal::~Signal() { Clear(); }

void Signal::Clear() {
  FreeSamples(data_, static_cast<size_t>(count_) + 1);
  data_ = nullptr;
  count_ = 0;
}

bool Signal::Allocate(int32_t count) {
  Clear();
  if (count < 0) return false;
  data_ = AllocateSamples(static_cast<size_t>(count) + 1);
  if (data_ == nullptr) return false;
  count_ = count;
  data_[0] = count;
  return true;
}

}  // namespace pellory
