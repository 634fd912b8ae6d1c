// Deep copy of a union's tree without nesting a call per level (see engine.h).
//
// The copy descends in a loop: at each record or container it copies the parts that need no
// descent on the spot, and before descending into a part it leaves a frame for what remains of
// the current value, unless nothing remains. So a chain of single children needs no frame at all,
// and the stack holds one frame per unfinished record or container on the current path.
#include <cstring>
#include <new>
#include <string>

#include "model/work_stack.h"
#include "veltrix_compute/model/containers.h"
#include "veltrix_compute/model/engine.h"

namespace veltrix_compute::detail {
namespace {

// What remains of a record or container: its parts from `next` to `count` (exclusive).
struct CopyFrame {
  const void* source;
  void* target;
  const TypeInfo* type;
  std::size_t next;
  std::size_t count;
};

}  // namespace

// The copy of one tree (Engine::copy_union); a member of the engine for its access to handles.
class Engine::Copier {
 public:
  // Copies `source` into the default-constructed `target`.
  void run(const void* source, void* target, const TypeInfo* type) {
    descend(source, target, type);
    while (!work_.empty()) {
      const CopyFrame frame = work_.top();
      work_.pop();
      if (frame.type->shape == Shape::record) {
        record_from(frame.source, frame.target, *frame.type, frame.next);
      } else {
        container_from(frame.source, frame.target, *frame.type, frame.next, frame.count);
      }
    }
  }

 private:
  // Copies a value that needs no descent and returns true, or returns false.
  [[gnu::always_inline]] bool copy_flat(const void* source, void* target, const TypeInfo& type) {
    switch (type.shape) {
      case Shape::boolean:
      case Shape::i32:
      case Shape::i64:
      case Shape::f64:
        std::memcpy(target, source, type.size);
        return true;
      case Shape::string:
        *static_cast<std::string*>(target) = *static_cast<const std::string*>(source);
        return true;
      case Shape::enumeration:
        *static_cast<EnumValue*>(target) = *static_cast<const EnumValue*>(source);
        return true;
      case Shape::opaque:
        type.opaque().copy_assign(target, source);
        return true;
      case Shape::union_:
        return copy_flat_union(*static_cast<const UnionHandle*>(source), *static_cast<UnionHandle*>(target),
                               type.union_());
      case Shape::record:
      case Shape::container:
        return false;
    }
    return false;
  }

  // A union whose payload is inline, or in a cell that holds no union, is copied at once. The
  // copy of such a cell is inline only in the loop over a list of unions (`kInlineLeaf`), where a
  // long list spends most of its time: inline everywhere, it makes the record and value steps too
  // large to inline into the descent, and small trees, made mostly of records, slower.
  template <bool kInlineLeaf = false>
  [[gnu::always_inline]] bool copy_flat_union(const UnionHandle& source, UnionHandle& target, const UnionInfo& type) {
    if (!holds_cell(source, type)) {
      target.slot_ = source.slot_;
      target.tail_.kind = source.tail_.kind;
      return true;
    }
    const TypeInfo& payload_type = payload_type_of(source.slot_.cell);
    if (payload_type.copy_construct == nullptr) return false;
    if constexpr (kInlineLeaf) {
      copy_leaf(source, target, payload_type);
    } else {
      copy_leaf_cell(source, target, payload_type);
    }
    return true;
  }
  [[gnu::noinline]] void copy_leaf_cell(const UnionHandle& source, UnionHandle& target, const TypeInfo& payload_type) {
    copy_leaf(source, target, payload_type);
  }
  [[gnu::always_inline]] void copy_leaf(const UnionHandle& source, UnionHandle& target, const TypeInfo& payload_type) {
    void* copy = new_cell(payload_type);
    try {
      payload_type.copy_construct(payload_of(copy, payload_type), payload_of(source.slot_.cell, payload_type));
    } catch (...) {
      release_(copy, cell_size(payload_type));
      throw;
    }
    target.slot_.cell = copy;
    target.tail_.kind = source.tail_.kind;
  }

  // A new cell with a default payload of `payload_type`, for the copy to fill.
  void copy_cell_shell(const UnionHandle& source, UnionHandle& target, const TypeInfo& payload_type) {
    void* cell = new_cell(payload_type);
    payload_type.construct(payload_of(cell, payload_type));
    target.slot_.cell = cell;
    target.tail_.kind = source.tail_.kind;
  }

  // A cell for a payload of `payload_type`, its header written.
  [[gnu::always_inline]] void* new_cell(const TypeInfo& payload_type) {
    void* cell = allocate_(cell_size(payload_type));
    if (cell == nullptr) throw std::bad_alloc();
    static_cast<CellHeader*>(cell)->payload_type = &payload_type;
    return cell;
  }

  // Copies a value, descending in a loop (see the file comment).
  void descend(const void* source, void* target, const TypeInfo* type) {
    while (type != nullptr && !copy_flat(source, target, *type)) {
      switch (type->shape) {
        case Shape::union_: {
          auto& handle = *static_cast<UnionHandle*>(target);
          const auto& from = *static_cast<const UnionHandle*>(source);
          type = &payload_type_of(from.slot().cell);
          copy_cell_shell(from, handle, *type);
          source = payload_of(from.slot().cell);
          target = payload_of(handle.slot().cell);
          break;
        }
        case Shape::record:
          type = record_from(source, target, *type, 0, &source, &target);
          break;
        default: {
          const std::size_t count = type->container().ops->size(source);
          if (count == 0) return;
          type->container().ops->fill_default(target, count);
          type = container_from(source, target, *type, 0, count, &source, &target);
          break;
        }
      }
    }
  }

  // Copies the fields of a record from `index` on, up to the first that needs a descent: returns
  // its type and address (leaving a frame for the fields after it), or null when done.
  const TypeInfo* record_from(const void* source, void* target, const TypeInfo& type, std::size_t index,
                              const void** next_source, void** next_target) {
    const RecordInfo& record = type.record();
    for (; index < record.field_count; ++index) {
      const FieldInfo& field = record.fields[index];
      const void* member_source = static_cast<const char*>(source) + field.offset;
      void* member_target = static_cast<char*>(target) + field.offset;
      if (copy_flat(member_source, member_target, *field.type)) continue;
      if (index + 1 < record.field_count) work_.push({source, target, &type, index + 1, record.field_count});
      *next_source = member_source;
      *next_target = member_target;
      return field.type;
    }
    return nullptr;
  }
  void record_from(const void* source, void* target, const TypeInfo& type, std::size_t index) {
    const void* next_source;
    void* next_target;
    const TypeInfo* next = record_from(source, target, type, index, &next_source, &next_target);
    if (next != nullptr) descend(next_source, next_target, next);
  }

  // The same for the elements of a filled container (of a map: keys, then values).
  const TypeInfo* container_from(const void* source, void* target, const TypeInfo& type, std::size_t index,
                                 std::size_t count, const void** next_source, void** next_target) {
    const ContainerInfo& container = type.container();
    const ContainerOps& ops = *container.ops;
    const void* source_first = ops.data(source);
    void* target_first = const_cast<void*>(ops.data(target));
    if (container.key == nullptr && container.element->shape == Shape::union_) {
      // Lists of unions, the commonest container, in a loop of their own.
      const UnionInfo& element_type = container.element->union_();
      const std::size_t stride = ops.stride;
      const char* from = static_cast<const char*>(ops.at(source_first, index));
      char* to = static_cast<char*>(const_cast<void*>(ops.at(target_first, index)));
      for (; index < count; ++index, from += stride, to += stride) {
        const auto& element_source = *reinterpret_cast<const UnionHandle*>(from);
        auto& element_target = *reinterpret_cast<UnionHandle*>(to);
        if (copy_flat_union<true>(element_source, element_target, element_type)) continue;
        if (index + 1 < count) work_.push({source, target, &type, index + 1, count});
        *next_source = &element_source;
        *next_target = &element_target;
        return container.element;
      }
      return nullptr;
    }
    for (; index < count; ++index) {
      if (container.key != nullptr) {
        copy_flat(ops.key_at(source_first, index), const_cast<void*>(ops.key_at(target_first, index)), *container.key);
      }
      const void* element_source = ops.at(source_first, index);
      void* element_target = const_cast<void*>(ops.at(target_first, index));
      if (copy_flat(element_source, element_target, *container.element)) continue;
      if (index + 1 < count) work_.push({source, target, &type, index + 1, count});
      *next_source = element_source;
      *next_target = element_target;
      return container.element;
    }
    return nullptr;
  }
  void container_from(const void* source, void* target, const TypeInfo& type, std::size_t index,
                      std::size_t count) {
    const void* next_source;
    void* next_target;
    const TypeInfo* next = container_from(source, target, type, index, count, &next_source, &next_target);
    if (next != nullptr) descend(next_source, next_target, next);
  }

  // The hook's functions, read once per copy rather than once per cell (after each call that
  // copies a payload, the compiler would have to read them again).
  void* (*const allocate_)(std::size_t size) noexcept = cell_allocator().allocate;
  void (*const release_)(void* cell, std::size_t size) noexcept = cell_allocator().release;
  WorkStack<CopyFrame> work_;
};

void Engine::copy_union(UnionHandle& target, const UnionHandle& source, const TypeInfo& type) {
  try {
    Copier().run(&source, &target, &type);
  } catch (...) {
    free_union(target, type.union_());
    throw;
  }
}

// `target` is default-constructed; if memory runs out part-way, std::bad_alloc leaves it partly
// copied, for its destructor to free.
void copy_nested_maps(void* target, const void* source, const TypeInfo& map_type) {
  Engine::Copier().run(source, target, &map_type);
}

}  // namespace veltrix_compute::detail
