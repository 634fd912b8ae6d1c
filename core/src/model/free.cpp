// Freeing a tree without memory and without nesting a call per level (see engine.h).
#include <cstdint>
#include <span>

#include "veltrix_compute/model/engine.h"

namespace veltrix_compute::detail {
namespace {

// Bit 0 of a pending handle's cell pointer (cells are aligned to 16), or of a pending map's link
// word: its children are pending.
constexpr std::uintptr_t kChildrenPending = 1;

// Calls `visit(member, field)` for every member of every record in a map of records.
template <class Visit>
void for_each_member(void* map, const TypeInfo& map_type, Visit visit) noexcept {
  const ContainerOps& ops = *map_type.container().ops;
  const std::span<const FieldInfo> fields(map_type.container().element->record().fields,
                                          map_type.container().element->record().field_count);
  const std::size_t size = ops.size(map);
  if (size == 0) return;  // no data, not even an address to start from
  char* element = static_cast<char*>(const_cast<void*>(ops.data(map))) + ops.value_offset;
  for (const char* const end = element + size * ops.stride; element != end; element += ops.stride) {
    for (const FieldInfo& field : fields) visit(element + field.offset, field);
  }
}

}  // namespace

// The free of one tree (Engine::free_union); a member of the engine for its access to handles.
class Engine::Freer {
 public:
  explicit Freer(UnionHandle& root) noexcept : release_(cell_allocator().release), top_(&root) {
    root.tail_.next_pending = nullptr;
  }

  // Frees a cell at once if its payload holds no union.
  bool free_if_leaf(void* cell) const noexcept {
    const TypeInfo& payload_type = payload_type_of(cell);
    if (payload_type.copy_construct == nullptr) return false;
    release(cell, payload_type);
    return true;
  }

  void run() noexcept {
    while (top_ != nullptr) {
      UnionHandle& node = *top_;
      const auto bits = reinterpret_cast<std::uintptr_t>(node.slot_.cell);
      void* cell = reinterpret_cast<void*>(bits & ~kChildrenPending);
      const TypeInfo& payload_type = payload_type_of(cell);
      if ((bits & kChildrenPending) != 0) {
        // Every child is freed and its handle empty: the payload's own destructor frees the rest.
        top_ = node.tail_.next_pending;
        release(cell, payload_type);
        node.slot_.cell = nullptr;
        node.tail_.kind = 0;
        continue;
      }
      node.slot_.cell = reinterpret_cast<void*>(bits | kChildrenPending);
      push_children(payload_of(cell, payload_type), payload_type);
    }
  }

 private:
  // Destroys a cell's payload, whose unions are empty, and gives the cell back.
  void release(void* cell, const TypeInfo& payload_type) const noexcept {
    const std::size_t size = cell_size(payload_type);
    payload_type.destroy(payload_of(cell, payload_type));
    release_(cell, size);
  }

  // Leaves are freed on the spot; the other children wait on the stack.
  void push(UnionHandle& child) noexcept {
    if (free_if_leaf(child.slot_.cell)) {
      child.slot_.cell = nullptr;
      return;
    }
    child.tail_.next_pending = top_;
    top_ = &child;
  }

  // Pushes every handle inside a value of `type` whose slot holds a cell. The walk goes through
  // records and containers but never into a cell, and through maps of records that hold the same
  // map in a loop of its own, so it nests as deep as the schema nests distinct records by value,
  // not as deep as the tree.
  void push_children(void* value, const TypeInfo& type) noexcept {
    switch (type.shape) {
      case Shape::union_: {
        auto& handle = *static_cast<UnionHandle*>(value);
        if (holds_cell(handle, type.union_())) push(handle);
        return;
      }
      case Shape::record: {
        const RecordInfo& record = type.record();
        for (std::uint32_t i = 0; i < record.field_count; ++i) {
          const FieldInfo& field = record.fields[i];
          push_children(static_cast<char*>(value) + field.offset, *field.type);
        }
        return;
      }
      case Shape::container:
        if (type.container().ops->link != nullptr) {
          push_nested_maps(value, type);
        } else {
          push_elements(value, type.container());
        }
        return;
      default:
        return;
    }
  }

  void push_elements(void* value, const ContainerInfo& container) noexcept {
    const TypeInfo& element = *container.element;
    if (element.shape != Shape::union_ && element.shape != Shape::record && element.shape != Shape::container) return;
    const ContainerOps& ops = *container.ops;
    const std::size_t size = ops.size(value);
    if (size == 0) return;
    // An optional has no stride: its one value spans the element's size.
    const std::size_t stride = ops.stride != 0 ? ops.stride : element.size;
    char* at = static_cast<char*>(const_cast<void*>(ops.data(value))) + ops.value_offset;
    const char* const end = at + size * stride;
    if (element.shape == Shape::union_) {  // the commonest container, in a loop of its own
      const UnionInfo& element_type = element.union_();
      for (; at != end; at += stride) {
        auto& handle = *reinterpret_cast<UnionHandle*>(at);
        if (holds_cell(handle, element_type)) push(handle);
      }
      return;
    }
    for (; at != end; at += stride) push_children(at, element);
  }

  // A map whose records hold the same map (FunctionVariables): the records' other members are
  // walked as above, and the maps nested in them, linked through their own link words, wait in a
  // walk of their own, so that this nests once whatever their depth. Out of line, as it is rare:
  // inlined, it kept the compiler from inlining the common steps of push_children (measured with
  // callgrind: 63 more instructions to free the tree of `s + 1.0`).
  [[gnu::noinline]] void push_nested_maps(void* root, const TypeInfo& map_type) noexcept {
    const ContainerOps& ops = *map_type.container().ops;
    void* pending = root;
    *ops.link(root) = 0;
    while (pending != nullptr) {
      void* map = pending;
      pending = reinterpret_cast<void*>(*ops.link(map));
      for_each_member(map, map_type, [&](void* member, const FieldInfo& field) {
        if (field.type != &map_type) {
          push_children(member, *field.type);
        } else if (ops.size(member) != 0) {
          *ops.link(member) = reinterpret_cast<std::uintptr_t>(pending);
          pending = member;
        }
      });
    }
  }

  void (*const release_)(void* cell, std::size_t size) noexcept;  // read once per free
  UnionHandle* top_;  // the pending handles, linked through themselves
};

// Empties the maps nested in the records of `root`, innermost first, so that each map's entries
// are destroyed once the maps inside them are empty, and no destructor nests. Needs no memory:
// the maps that wait link through their own link words, whose bit 0 (maps are aligned to 8) says
// that the map's nested maps are pending; the map is emptied when it comes back on top. `root`
// itself is left to its caller, its destructor.
void free_nested_maps(void* root, const TypeInfo& map_type) noexcept {
  const ContainerOps& ops = *map_type.container().ops;
  if (ops.size(root) == 0) return;
  void* top = root;
  *ops.link(root) = 0;
  while (top != nullptr) {
    void* map = top;
    const std::uintptr_t word = *ops.link(map);
    if ((word & kChildrenPending) != 0) {
      top = reinterpret_cast<void*>(word & ~kChildrenPending);
      if (map != root) ops.clear(map);
      continue;
    }
    *ops.link(map) = word | kChildrenPending;
    for_each_member(map, map_type, [&](void* member, const FieldInfo& field) {
      if (field.type != &map_type || ops.size(member) == 0) return;
      *ops.link(member) = reinterpret_cast<std::uintptr_t>(top);
      top = member;
    });
  }
}

void Engine::free_union(UnionHandle& root, const UnionInfo& type) noexcept {
  if (!holds_cell(root, type)) return;
  if (!may_release_cells()) {
    root.slot_.cell = nullptr;  // leaked on purpose: see CellAllocator::may_release
    return;
  }
  Freer freer(root);
  if (freer.free_if_leaf(root.slot_.cell)) {
    root.slot_.cell = nullptr;
    return;
  }
  freer.run();
}

}  // namespace veltrix_compute::detail
