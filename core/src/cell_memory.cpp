#include "veltrix_compute/cell_memory.h"

namespace veltrix_compute {
namespace {

// Plain operator new already aligns to __STDCPP_DEFAULT_NEW_ALIGNMENT__ (16 on every target we
// build for, the same as kCellAlignment), and tests that replace operator new see every cell.
static_assert(__STDCPP_DEFAULT_NEW_ALIGNMENT__ >= kCellAlignment);
void* system_allocate(std::size_t size) noexcept { return ::operator new(size, std::nothrow); }
void system_release(void* cell, std::size_t) noexcept { ::operator delete(cell); }

CellAllocator installed{&system_allocate, &system_release, nullptr};

}  // namespace

void install_cell_allocator(const CellAllocator& allocator) noexcept { installed = allocator; }
const CellAllocator& cell_allocator() noexcept { return installed; }

}  // namespace veltrix_compute
