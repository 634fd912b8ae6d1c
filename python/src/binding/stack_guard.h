// Copying and writing a tree recurse once per level of it. Before the module copies or writes a
// value it checks that the calling thread's stack has room for that many levels, and raises
// RecursionError otherwise: a deep tree must never overflow the C stack of any thread (threads
// may be started with small stacks). Freeing needs no check: it never recurses deeply
// (model_support.h).
#pragma once

#include <cstdint>

namespace veltrix_compute::python {

// Bytes of C stack that one level of a tree may take while it is copied or written, with room
// to spare: a level is a union, its payload record and the collection around it (measured at
// about 200 bytes in optimised builds, and up to four times that with sanitizers).
inline constexpr std::uintptr_t kStackBytesPerLevel = 1024;
// Kept free below the deepest level for the interpreter and the C library.
inline constexpr std::uintptr_t kStackReserve = 64 * 1024;

// Throws PythonError (RecursionError) unless a tree of `depth` levels can be walked here.
void ensure_stack_for_depth(std::uint32_t depth);

}  // namespace veltrix_compute::python
