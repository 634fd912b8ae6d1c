// A cell allocator for tests: cells come through the model's allocator hook, counted, and from a
// given one on, refused. Unlike the replaced operator new, this works under AddressSanitizer too.
// It also counts the frees of trees, each of which asks once whether it may release cells: a free
// that left part of its tree to destructors would ask again for each part.
#pragma once

#include <atomic>
#include <cstddef>
#include <new>

#include "veltrix_compute/cell_memory.h"

namespace veltrix_test {

class CountedCells {
 public:
  CountedCells() : previous_(veltrix_compute::cell_allocator()) {
    veltrix_compute::install_cell_allocator({&allocate, &release, &may_release});
  }
  CountedCells(const CountedCells&) = delete;
  CountedCells& operator=(const CountedCells&) = delete;
  ~CountedCells() { veltrix_compute::install_cell_allocator(previous_); }

  static long live() { return live_.load(); }
  static long frees() { return frees_.load(); }
  // Cells from the `nth` on are refused (0: none is).
  static void refuse_from(long nth) { refused_from_.store(nth); made_.store(0); }

 private:
  static void* allocate(std::size_t size) noexcept {
    const long nth = made_.fetch_add(1) + 1;
    if (refused_from_.load() != 0 && nth >= refused_from_.load()) return nullptr;
    void* cell = ::operator new(size, std::nothrow);
    if (cell != nullptr) live_.fetch_add(1);
    return cell;
  }
  static void release(void* cell, std::size_t) noexcept {
    live_.fetch_sub(1);
    ::operator delete(cell);
  }

  static bool may_release() noexcept {
    frees_.fetch_add(1);
    return true;
  }

  inline static std::atomic<long> live_{0};
  inline static std::atomic<long> frees_{0};
  inline static std::atomic<long> made_{0};
  inline static std::atomic<long> refused_from_{0};
  veltrix_compute::CellAllocator previous_;
};

}  // namespace veltrix_test
