#include "binding/stack_guard.h"

#include <pthread.h>

#include <string>

#include "binding/failure.h"

namespace veltrix_compute::python {

namespace {

// The lowest address of the calling thread's stack (stacks grow down on every platform we
// build for), looked up once per thread; 0 when it cannot be told.
std::uintptr_t stack_low_end() {
  thread_local std::uintptr_t low_end = [] {
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) != 0) return std::uintptr_t{0};
    void* address = nullptr;
    std::size_t size = 0;
    const bool known = pthread_attr_getstack(&attributes, &address, &size) == 0;
    pthread_attr_destroy(&attributes);
    return known ? reinterpret_cast<std::uintptr_t>(address) : std::uintptr_t{0};
  }();
  return low_end;
}

}  // namespace

void ensure_stack_for_depth(std::uint32_t depth) {
  const std::uintptr_t low_end = stack_low_end();
  if (low_end == 0) return;
  const char here = 0;
  const auto position = reinterpret_cast<std::uintptr_t>(&here);
  const std::uintptr_t needed = depth * kStackBytesPerLevel + kStackReserve;
  if (position > low_end && position - low_end >= needed) return;
  raise(PyExc_RecursionError, "expression tree of depth " + std::to_string(depth) +
                                  " is too deep to copy or write on this thread's stack");
}

}  // namespace veltrix_compute::python
