#include "veltrix_compute/cell_memory.h"

namespace veltrix_compute {
namespace {

void* system_allocate(std::size_t size) noexcept {
  return ::operator new(size, std::align_val_t(kCellAlignment), std::nothrow);
}
void system_release(void* cell, std::size_t size) noexcept {
  ::operator delete(cell, size, std::align_val_t(kCellAlignment));
}

CellAllocator installed{&system_allocate, &system_release, nullptr};

}  // namespace

void install_cell_allocator(const CellAllocator& allocator) noexcept { installed = allocator; }
const CellAllocator& cell_allocator() noexcept { return installed; }

}  // namespace veltrix_compute
