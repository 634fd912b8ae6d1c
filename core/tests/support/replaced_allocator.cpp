#include "support/replaced_allocator.h"

#include <cstdlib>
#include <new>

namespace veltrix_test {

std::atomic<long> live_allocations{0};
std::atomic<long> allocation_calls{0};
std::atomic<long> allocations_left{-1};
std::atomic<bool> keep_failing{false};
std::atomic<long> bytes_in_use{0};
std::atomic<long> peak_bytes_in_use{0};

}  // namespace veltrix_test

#if defined(VELTRIX_REPLACE_NEW)
namespace {

using namespace veltrix_test;

// Whether this allocation is the one to fail (or one after it, when failures persist).
bool injected_failure() noexcept {
  allocation_calls.fetch_add(1, std::memory_order_relaxed);
  long left = allocations_left.load(std::memory_order_relaxed);
  while (left >= 0) {
    if (left == 0) {
      if (!keep_failing.load(std::memory_order_relaxed)) allocations_left.store(-1, std::memory_order_relaxed);
      return true;
    }
    if (allocations_left.compare_exchange_weak(left, left - 1, std::memory_order_relaxed)) return false;
  }
  return false;
}

long block_size(void* memory) noexcept {
#if defined(__GLIBC__)
  return static_cast<long>(malloc_usable_size(memory));
#else
  return 0;
#endif
}

void count_allocated(void* memory) noexcept {
  live_allocations.fetch_add(1, std::memory_order_relaxed);
  const long size = block_size(memory);
  const long now = bytes_in_use.fetch_add(size, std::memory_order_relaxed) + size;
  long peak = peak_bytes_in_use.load(std::memory_order_relaxed);
  while (now > peak && !peak_bytes_in_use.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
  }
}

// Null when malloc fails or when the failure is injected; `injected` tells which.
void* allocate(std::size_t size, std::size_t alignment, bool* injected = nullptr) noexcept {
  if (injected_failure()) {
    if (injected != nullptr) *injected = true;
    return nullptr;
  }
  if (size == 0) size = 1;  // every allocation gets a distinct address
  void* memory = nullptr;
  if (alignment <= alignof(std::max_align_t)) {
    memory = std::malloc(size);
  } else if (posix_memalign(&memory, alignment, size) != 0) {
    memory = nullptr;
  }
  if (memory != nullptr) count_allocated(memory);
  return memory;
}

void* allocate_or_throw(std::size_t size, std::size_t alignment) {
  for (;;) {
    bool injected = false;
    if (void* memory = allocate(size, alignment, &injected)) return memory;
    // An injected failure reaches the caller as it is, without a new-handler retrying it.
    if (injected) throw std::bad_alloc();
    std::new_handler handler = std::get_new_handler();
    if (handler == nullptr) throw std::bad_alloc();
    handler();
  }
}

void release(void* memory) noexcept {
  if (memory == nullptr) return;
  live_allocations.fetch_sub(1, std::memory_order_relaxed);
  bytes_in_use.fetch_sub(block_size(memory), std::memory_order_relaxed);
  std::free(memory);
}

constexpr std::size_t kPlain = alignof(std::max_align_t);

}  // namespace

void* operator new(std::size_t size) { return allocate_or_throw(size, kPlain); }
void* operator new[](std::size_t size) { return allocate_or_throw(size, kPlain); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size, kPlain); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size, kPlain); }
void* operator new(std::size_t size, std::align_val_t alignment) {
  return allocate_or_throw(size, static_cast<std::size_t>(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
  return allocate_or_throw(size, static_cast<std::size_t>(alignment));
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return allocate(size, static_cast<std::size_t>(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return allocate(size, static_cast<std::size_t>(alignment));
}

void operator delete(void* memory) noexcept { release(memory); }
void operator delete[](void* memory) noexcept { release(memory); }
void operator delete(void* memory, std::size_t) noexcept { release(memory); }
void operator delete[](void* memory, std::size_t) noexcept { release(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { release(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { release(memory); }
void operator delete(void* memory, std::align_val_t) noexcept { release(memory); }
void operator delete[](void* memory, std::align_val_t) noexcept { release(memory); }
void operator delete(void* memory, std::size_t, std::align_val_t) noexcept { release(memory); }
void operator delete[](void* memory, std::size_t, std::align_val_t) noexcept { release(memory); }
void operator delete(void* memory, std::align_val_t, const std::nothrow_t&) noexcept { release(memory); }
void operator delete[](void* memory, std::align_val_t, const std::nothrow_t&) noexcept { release(memory); }
#endif

