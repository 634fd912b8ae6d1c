// The test binary's own operator new and delete (replaced_allocator.cpp): malloc and free plus
// counters, failing nothing until a test arms it, so the other tests see an ordinary allocator.
#pragma once

#include <atomic>
#include <cstddef>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

// AddressSanitizer brings its own operator new and delete; replacing them there would take its
// allocation checks away from every other test of the binary, so the fault injection is left out.
#if defined(__SANITIZE_ADDRESS__)
#define VELTRIX_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELTRIX_UNDER_ASAN 1
#endif
#endif
#if !defined(VELTRIX_UNDER_ASAN)
#define VELTRIX_REPLACE_NEW 1
#endif

#if defined(VELTRIX_REPLACE_NEW)
#define SKIP_WITHOUT_FAULT_INJECTION() (void)0
#else
#define SKIP_WITHOUT_FAULT_INJECTION() GTEST_SKIP() << "operator new is AddressSanitizer's here"
#endif

namespace veltrix_test {

// Allocations made through operator new and not yet deleted.
extern std::atomic<long> live_allocations;
// Calls of operator new since the program started, successful or not.
extern std::atomic<long> allocation_calls;
// -1: disarmed. Otherwise the number of allocations still allowed before one fails.
extern std::atomic<long> allocations_left;
// Bytes that operator new has handed out and not taken back, as malloc counts them (rounded up to
// its block sizes), and the most there were since a test last reset the peak: what a piece of code
// held at its height. Blocks that malloc hands out directly (the JSON buffer's) are not counted.
extern std::atomic<long> bytes_in_use;
extern std::atomic<long> peak_bytes_in_use;
// Whether, once the armed failure has happened, every later allocation fails too (memory stays
// exhausted) rather than only that one.
extern std::atomic<bool> keep_failing;

// Arms the allocator for the scope: the `nth` allocation from now fails. Disarms on exit, so a
// failed expectation cannot leave the rest of the binary with a failing allocator.
class FailAllocation {
 public:
  FailAllocation(long nth, bool persist) {
    keep_failing.store(persist);
    allocations_left.store(nth - 1);
  }
  FailAllocation(const FailAllocation&) = delete;
  FailAllocation& operator=(const FailAllocation&) = delete;
  ~FailAllocation() {
    allocations_left.store(-1);
    keep_failing.store(false);
  }
};

// Bytes that malloc has handed out and not taken back (operator new goes through malloc here, and
// the JSON buffer calls malloc itself). Freed small blocks parked in glibc's per-thread cache
// still count as in use, so only a growth well beyond that cache's size means a leak.
inline std::size_t malloc_bytes_in_use() {
#if defined(__GLIBC__) && !defined(VELTRIX_UNDER_ASAN)
  return mallinfo2().uordblks;
#else
  return 0;
#endif
}

}  // namespace veltrix_test
