#include "veltrix_compute/cell_memory.h"

namespace veltrix_compute {
namespace {

// Plain operator new already aligns to __STDCPP_DEFAULT_NEW_ALIGNMENT__ (16 on every target we
// build for, the same as kCellAlignment), and tests that replace operator new see every cell.
static_assert(__STDCPP_DEFAULT_NEW_ALIGNMENT__ >= kCellAlignment);
void* system_allocate(std::size_t size) noexcept { return ::operator new(size, std::nothrow); }
void system_release(void* cell, std::size_t) noexcept { ::operator delete(cell); }

}  // namespace

CellAllocator detail::installed_cell_allocator{&system_allocate, &system_release, nullptr};

void install_cell_allocator(const CellAllocator& allocator) noexcept { detail::installed_cell_allocator = allocator; }

}  // namespace veltrix_compute
