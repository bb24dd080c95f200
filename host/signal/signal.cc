#include "host/signal/signal.h"

#include <cstddef>
#include <utility>

#include "platform/memory.h"

namespace pellory {

Signal::Signal(Signal&& other) noexcept { *this = std::move(other); }

Signal& Signal::operator=(Signal&& other) noexcept {
  if (this != &other) {
    Clear();
    std::swap(count_, other.count_);
    std::swap(data_, other.data_);
    std::swap(format_, other.format_);
  }
  return *this;
}

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
