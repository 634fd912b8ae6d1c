// Deep copy of a union's tree with a stack of frames instead of nested calls (see engine.h).
#include <cstring>
#include <string>

#include "model/work_stack.h"
#include "veltrix_compute/model/containers.h"
#include "veltrix_compute/model/engine.h"

namespace veltrix_compute::detail {
namespace {

// A record or container whose parts are still to copy. `source` and `target` are its address in
// the source tree and in the copy; `next` is the next field or element, `count` their number
// (never 0: nothing is pushed for an empty one).
struct CopyFrame {
  const void* source;
  void* target;
  const TypeInfo* type;
  std::size_t next;
  std::size_t count;
};
using CopyStack = WorkStack<CopyFrame>;

struct CopyStep {
  // Copies a value into `target` (default-constructed), or pushes a frame for its parts.
  static void value(const void* source, void* target, const TypeInfo& type, CopyStack& work) {
    switch (type.shape) {
      case Shape::boolean:
      case Shape::i32:
      case Shape::i64:
      case Shape::f64:
        std::memcpy(target, source, type.size);
        return;
      case Shape::string:
        *static_cast<std::string*>(target) = *static_cast<const std::string*>(source);
        return;
      case Shape::enumeration:
        *static_cast<EnumValue*>(target) = *static_cast<const EnumValue*>(source);
        return;
      case Shape::opaque:
        type.opaque().copy_assign(target, source);
        return;
      case Shape::union_:
        handle(*static_cast<const UnionHandle*>(source), *static_cast<UnionHandle*>(target), type.union_(), work);
        return;
      case Shape::record:
        if (type.record().field_count != 0) work.push({source, target, &type, 0, type.record().field_count});
        return;
      case Shape::container: {
        const ContainerOps& ops = *type.container().ops;
        const std::size_t count = ops.size(source);
        if (count == 0) return;
        ops.fill_default(target, count);
        work.push({source, target, &type, 0, count});
        return;
      }
    }
  }

  // `target` is empty. It takes the source's kind and, for a payload in a cell, a new cell with a
  // default payload, filled afterwards: at every moment the copy is a tree that frees cleanly.
  static void handle(const UnionHandle& source, UnionHandle& target, const UnionInfo& type, CopyStack& work) {
    Engine::copy_handle_shell(source, target, type);
    if (target.slot().cell == nullptr || !holds_cell(target, type)) return;
    const TypeInfo& payload_type = payload_type_of(source.slot().cell);
    value(payload_of(source.slot().cell), payload_of(target.slot().cell), payload_type, work);
  }

  // Copies the next part of the frame on top. The frame is popped before its last part is
  // copied, so that a chain of single children keeps the stack at one frame.
  static void step(CopyStack& work) {
    const CopyFrame frame = work.top();
    const std::size_t index = frame.next;
    if (index + 1 == frame.count) {
      work.pop();
    } else {
      ++work.top().next;
    }
    const TypeInfo& type = *frame.type;
    if (type.shape == Shape::record) {
      const FieldInfo& field = type.record().fields[index];
      value(static_cast<const char*>(frame.source) + field.offset, static_cast<char*>(frame.target) + field.offset,
            *field.type, work);
      return;
    }
    const ContainerInfo& container = type.container();
    const ContainerOps& ops = *container.ops;
    const void* source = frame.source;
    void* target = frame.target;
    if (container.key != nullptr) {
      value(ops.key_at(source, index), const_cast<void*>(ops.key_at(target, index)), *container.key, work);
    }
    value(ops.at(source, index), const_cast<void*>(ops.at(target, index)), *container.element, work);
  }
};

}  // namespace

void Engine::copy_handle_shell(const UnionHandle& source, UnionHandle& target, const UnionInfo& type) {
  if (!holds_cell(source, type)) {
    target.slot_ = source.slot_;  // an inline payload, no payload, or an empty handle
    target.tail_.kind = source.tail_.kind;
    return;
  }
  const TypeInfo& payload_type = payload_type_of(source.slot_.cell);
  void* cell = allocate_cell(cell_size(payload_type));
  static_cast<CellHeader*>(cell)->payload_type = &payload_type;
  payload_type.construct(payload_of(cell));
  target.slot_.cell = cell;
  target.tail_.kind = source.tail_.kind;
}

void Engine::copy_union(UnionHandle& target, const UnionHandle& source, const UnionInfo& type) {
  CopyStack work;
  try {
    CopyStep::handle(source, target, type, work);
    while (!work.empty()) CopyStep::step(work);
  } catch (...) {
    free_union(target, type);
    throw;
  }
}

}  // namespace veltrix_compute::detail
