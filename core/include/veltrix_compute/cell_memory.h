// Where the object model's heap cells come from.
//
// Every union payload that does not fit in its handle lives in a heap cell of its own. The core
// takes those cells through one process-wide allocator, plain operator new by default (the core
// tests replace it to inject failures and to count live cells); the Python module installs its
// pool once, before it builds any value. Cells must go back to the allocator that gave them, so
// the allocator is installed before the first cell exists and never changed afterwards.
#pragma once

#include <cstddef>
#include <new>

namespace veltrix_compute {

// Alignment of every cell: enough for any type the model holds.
inline constexpr std::size_t kCellAlignment = alignof(std::max_align_t);

struct CellAllocator {
  // `size` bytes aligned to kCellAlignment, or null when memory is exhausted.
  void* (*allocate)(std::size_t size) noexcept;
  // Takes back a cell that `allocate` gave for the same `size`.
  void (*release)(void* cell, std::size_t size) noexcept;
  // Whether cells may be released on the calling thread right now. Null means always. When it
  // says no, freeing a tree leaks it: the module uses this for destructors that run without the
  // interpreter lock (forced unwinding of a thread the interpreter ends at shutdown).
  bool (*may_release)() noexcept;
};

namespace detail {
// Read inline: a copy and a free of a tree reach it once per cell.
extern CellAllocator installed_cell_allocator;
}  // namespace detail

// Installs `allocator` for the whole process (see the header comment for when).
void install_cell_allocator(const CellAllocator& allocator) noexcept;
inline const CellAllocator& cell_allocator() noexcept { return detail::installed_cell_allocator; }

// A cell of `size` bytes; throws std::bad_alloc when memory is exhausted.
inline void* allocate_cell(std::size_t size) {
  void* cell = cell_allocator().allocate(size);
  if (cell == nullptr) throw std::bad_alloc();
  return cell;
}
inline void release_cell(void* cell, std::size_t size) noexcept { cell_allocator().release(cell, size); }
inline bool may_release_cells() noexcept {
  const CellAllocator& allocator = cell_allocator();
  return allocator.may_release == nullptr || allocator.may_release();
}

}  // namespace veltrix_compute
