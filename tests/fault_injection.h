// System call fault injection for tests. The fault test program is linked
// with -Wl,--wrap for the calls the file seam makes, so every call the real
// code makes passes through here: counted, and failed on demand.
#ifndef PELLORY_TESTS_FAULT_INJECTION_H_
#define PELLORY_TESTS_FAULT_INJECTION_H_

#include <functional>
#include <vector>

namespace pellory::faults {

enum class Call {
  kOpen,
  kRead,
  kOpenat,
  kWrite,
  kFchmod,
  kFsync,
  kClose,
  kRename,
  kLinkat,
  kFallocate,
  kCopyFileRange,
  kPread
};
const char* Name(Call call);

// Starts counting calls from zero, with no fault armed.
void Reset();
// How many times `call` was made since Reset.
int Count(Call call);
// Every call made since Reset, in order.
const std::vector<Call>& Log();
// The `nth` (1-based) call of `call` from now on fails with `error`.
void FailNthCall(Call call, int nth, int error);
// Before the `nth` call of `call` goes ahead, runs `action`.
void BeforeNthCall(Call call, int nth, std::function<void()> action);
// Writes, while set, write at most half of what they are asked to.
void ShortWrites(bool on);

// Used by the wrappers: counts the call, runs any action due, and returns
// false (errno set) when the call is to fail.
bool Proceed(Call call);
extern bool short_writes;

}  // namespace pellory::faults

#endif  // PELLORY_TESTS_FAULT_INJECTION_H_
