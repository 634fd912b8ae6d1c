// The one engine that copies, writes and frees every value of the object model, driven by the
// tables of type_info.h.
//
// None of the three nests a call per level of the tree, so a value of any depth is safe on any
// thread, whatever its stack:
// - Copying and writing descend in a loop and keep a frame only for what remains of an unfinished
//   record or container on the current path: the first 32 frames on the C stack, more on the heap.
//   Writing also keeps a byte stack of the closing characters of records, containers and unions
//   that have nothing left but the descent (write.cpp).
// - Freeing needs no memory at all: the handles whose cells remain to be freed are linked through
//   the handles themselves (a handle is 16 bytes: its cell pointer stays, the link takes the kind's
//   place, and the cell's header says what the payload is). A cell is marked once its children are
//   on the stack and released when it comes back to the top, after all of them; a cell whose
//   payload holds no union is released at once, without going on the stack.
// A record that holds itself by value through a map, with no union between (FunctionVariables),
// nests without cells: its maps link through a word of their own instead (containers.h), and are
// copied by the same loop, walked by the free in a loop of their own, and emptied innermost first
// by the map's destructor, all without memory but for the copy.
#pragma once

#include "veltrix_compute/json_writer.h"
#include "veltrix_compute/model/containers.h"
#include "veltrix_compute/model/union_handle.h"

namespace veltrix_compute::detail {

struct Engine {
  // A deep copy of `source` into `target`, which must be empty; `type` is their union's. If memory
  // runs out part-way, what was built is freed, `target` is left empty and std::bad_alloc is thrown.
  static void copy_union(UnionHandle& target, const UnionHandle& source, const TypeInfo& type);
  // Frees the tree that `handle` holds and leaves it empty. Never allocates. When cells may not
  // be released on this thread (cell_memory.h), the tree is leaked instead.
  static void free_union(UnionHandle& handle, const UnionInfo& type) noexcept;
  // The JSON text of the value at `value`. Throws json::WriteError (an Any map key that cannot be
  // an object key), std::bad_alloc, or InternalFailure for an empty union (a bug).
  static void write(json::Buffer& out, const void* value, const TypeInfo& type);

  static std::uint8_t enum_index(const EnumValue& value) noexcept { return value.index_; }
  static const std::string& enum_unknown_text(const EnumValue& value) noexcept { return value.unknown_; }

 private:
  class Copier;
  class Freer;
  // The copy of a map whose records hold the map (containers.h) runs the same copier.
  friend void copy_nested_maps(void* target, const void* source, const TypeInfo& map_type);
};

// Whether the handle's slot holds a cell.
inline bool holds_cell(const UnionHandle& handle, const UnionInfo& type) noexcept {
  const std::uint8_t kind = handle.kind_index();
  return handle.slot().cell != nullptr &&
         (kind >= type.variant_count || type.variants[kind].placement == Placement::cell);
}

}  // namespace veltrix_compute::detail
