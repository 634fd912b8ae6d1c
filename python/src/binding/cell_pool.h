// The module's pool of object-model cells: a free list per cell size, so that copying and
// freeing a tree reuse cells instead of calling malloc and free once per node.
#pragma once

namespace veltrix_compute::python {

// Makes the object model take its cells from the pool. Only the first call does anything; it
// must come before the module builds its first value, under the interpreter lock.
void install_cell_pool() noexcept;

}  // namespace veltrix_compute::python
