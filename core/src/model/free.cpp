// Freeing a tree without memory and without nesting a call per level (see engine.h).
#include <cstdint>

#include "veltrix_compute/model/engine.h"

namespace veltrix_compute::detail {
namespace {

// Calls `visit` for every handle inside a value of `type` whose slot holds a cell. The walk goes
// through records and containers but never into a cell, so it nests as deep as the schema nests
// records by value, not as deep as the tree.
template <class Visit>
void for_each_cell_handle(void* value, const TypeInfo& type, Visit& visit) noexcept {
  switch (type.shape) {
    case Shape::union_: {
      auto& handle = *static_cast<UnionHandle*>(value);
      if (holds_cell(handle, type.union_())) visit(handle);
      return;
    }
    case Shape::record: {
      const RecordInfo& record = type.record();
      for (std::uint32_t i = 0; i < record.field_count; ++i) {
        const FieldInfo& field = record.fields[i];
        for_each_cell_handle(static_cast<char*>(value) + field.offset, *field.type, visit);
      }
      return;
    }
    case Shape::container: {
      const ContainerInfo& container = type.container();
      const TypeInfo& element = *container.element;
      if (element.shape != Shape::union_ && element.shape != Shape::record && element.shape != Shape::container) return;
      const std::size_t size = container.ops->size(value);
      if (size == 0) return;
      const void* first = container.ops->data(value);
      if (element.shape == Shape::union_) {  // the commonest container, without the shape switch
        for (std::size_t i = 0; i < size; ++i) {
          auto& handle = *static_cast<UnionHandle*>(const_cast<void*>(container.ops->at(first, i)));
          if (holds_cell(handle, element.union_())) visit(handle);
        }
        return;
      }
      for (std::size_t i = 0; i < size; ++i) {
        for_each_cell_handle(const_cast<void*>(container.ops->at(first, i)), element, visit);
      }
      return;
    }
    default:
      return;
  }
}

// Bit 0 of a pending handle's cell pointer (cells are aligned to 16): its children are pending.
constexpr std::uintptr_t kChildrenPending = 1;

// Frees a cell at once if its payload holds no union.
bool free_if_leaf(void* cell) noexcept {
  const TypeInfo& payload_type = payload_type_of(cell);
  if (payload_type.copy_construct == nullptr) return false;
  payload_type.destroy(payload_of(cell));
  release_cell(cell, cell_size(payload_type));
  return true;
}

}  // namespace

void Engine::free_union(UnionHandle& root, const UnionInfo& type) noexcept {
  if (!holds_cell(root, type)) return;
  if (!may_release_cells()) {
    root.slot_.cell = nullptr;  // leaked on purpose: see CellAllocator::may_release
    return;
  }
  if (free_if_leaf(root.slot_.cell)) {
    root.slot_.cell = nullptr;
    return;
  }
  root.tail_.next_pending = nullptr;
  UnionHandle* top = &root;
  // Leaves are freed on the spot; the other children wait on the stack.
  auto push = [&top](UnionHandle& child) {
    if (free_if_leaf(child.slot_.cell)) {
      child.slot_.cell = nullptr;
      return;
    }
    child.tail_.next_pending = top;
    top = &child;
  };
  while (top != nullptr) {
    UnionHandle& node = *top;
    const auto bits = reinterpret_cast<std::uintptr_t>(node.slot_.cell);
    void* cell = reinterpret_cast<void*>(bits & ~kChildrenPending);
    const TypeInfo& payload_type = payload_type_of(cell);
    if ((bits & kChildrenPending) != 0) {
      // Every child is freed and its handle empty: the payload's own destructor frees the rest.
      top = node.tail_.next_pending;
      payload_type.destroy(payload_of(cell));
      release_cell(cell, cell_size(payload_type));
      node.slot_.cell = nullptr;
      node.tail_.kind = 0;
      continue;
    }
    node.slot_.cell = reinterpret_cast<void*>(bits | kChildrenPending);
    for_each_cell_handle(payload_of(cell), payload_type, push);
  }
}

}  // namespace veltrix_compute::detail
