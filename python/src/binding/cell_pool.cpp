#include "binding/cell_pool.h"

#include <cstddef>
#include <cstdlib>
#include <new>

#include "binding/python_api.h"
#include "veltrix_compute/cell_memory.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

namespace veltrix_compute::python {
namespace {

// One pool for the process, with no lock of its own and no thread-local part: every allocation
// and release of the module happens under the interpreter lock, which guards it. The one
// exception, destructors run without the lock, never reach it (see may_release).
//
// Size classes follow glibc's malloc, which serves a request of r bytes with a chunk of
// max(32, r + 8 rounded up to 16) bytes, 8 of them its header. Class k holds cells of 16k + 24
// bytes, the whole payload of a (16k + 32)-byte chunk, and takes them from malloc at that size:
// a pooled cell occupies the same chunk that malloc would give its payload, so the pool adds
// nothing to the memory a tree holds. Measured with bench/bench.py (growth of the resident set
// for a Sum of 1,000,000 references, each a 16-byte handle and a 32-byte payload in a 40-byte
// cell): 64 bytes per node, as with plain malloc.
constexpr std::size_t kClassCount = 16;
constexpr std::size_t class_bytes(std::size_t k) noexcept { return 16 * k + 24; }
constexpr std::size_t chunk_bytes(std::size_t k) noexcept { return class_bytes(k) + 8; }
// The smallest class whose cells hold `size` bytes, or one beyond the last for a larger size. A
// size below 9 wraps to a huge class and goes to malloc as well; no cell is that small, as each
// is its 8-byte header and a payload.
constexpr std::size_t class_of(std::size_t size) noexcept { return (size - 9) / 16; }
static_assert(class_of(9) == 0 && class_of(24) == 0 && class_of(25) == 1 && class_of(40) == 1 && class_of(41) == 2);
static_assert(class_of(class_bytes(kClassCount - 1)) == kClassCount - 1 &&
              class_of(class_bytes(kClassCount - 1) + 1) == kClassCount && class_bytes(kClassCount - 1) >= 256);
// malloc aligns every chunk to 16 bytes, which is what a cell needs.
static_assert(kCellAlignment <= 16);

// Free cells beyond this much memory (counted in malloc's chunks) go back to malloc, so that a
// large tree, once freed, leaves most of its memory to the rest of the process.
constexpr std::size_t kMaxFreeBytes = std::size_t{64} << 20;

struct FreeCell {
  FreeCell* next;
};

FreeCell* free_cells[kClassCount] = {};
std::size_t free_bytes = 0;

// Under AddressSanitizer a free cell is poisoned, so that a use after free is still reported.
void mark_free(void* cell, std::size_t size) noexcept {
#if defined(__SANITIZE_ADDRESS__)
  ASAN_POISON_MEMORY_REGION(cell, size);
#else
  (void)cell;
  (void)size;
#endif
}
void mark_used(void* cell, std::size_t size) noexcept {
#if defined(__SANITIZE_ADDRESS__)
  ASAN_UNPOISON_MEMORY_REGION(cell, size);
#else
  (void)cell;
  (void)size;
#endif
}

void* allocate(std::size_t size) noexcept {
  const std::size_t k = class_of(size);
  if (k >= kClassCount) return std::malloc(size);
  FreeCell* cell = free_cells[k];
  if (cell == nullptr) return std::malloc(class_bytes(k));
  mark_used(cell, class_bytes(k));
  free_cells[k] = cell->next;
  // The next cell of the list is likely cold: start loading it, as a copy takes cells in a row.
  if (cell->next != nullptr) __builtin_prefetch(cell->next);
  free_bytes -= chunk_bytes(k);
  return cell;
}

void release(void* cell, std::size_t size) noexcept {
  const std::size_t k = class_of(size);
  if (k >= kClassCount || free_bytes + chunk_bytes(k) > kMaxFreeBytes) {
    std::free(cell);
    return;
  }
  free_cells[k] = new (cell) FreeCell{free_cells[k]};
  free_bytes += chunk_bytes(k);
  mark_free(cell, class_bytes(k));
}

// Cells go back to the pool only under the interpreter lock, which guards it. The one time the
// module's code runs without it is the forced unwinding of a thread that the interpreter ends at
// exit: the tree is leaked then, as the process is ending.
bool may_release() noexcept { return holds_interpreter_lock(); }

}  // namespace

void install_cell_pool() noexcept {
  static bool installed = false;
  if (installed) return;
  installed = true;
  install_cell_allocator({&allocate, &release, &may_release});
}

}  // namespace veltrix_compute::python
