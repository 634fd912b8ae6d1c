// The JSON text of a value with a stack of frames instead of nested calls (see engine.h).
#include <string>
#include <string_view>

#include "model/work_stack.h"
#include "veltrix_compute/internal_failure.h"
#include "veltrix_compute/model/engine.h"

namespace veltrix_compute::detail {
namespace {

// A record or container being written: `next` is its next field or element, `count` their
// number, `wrote` whether a record member has been written (it decides between "{" and ",").
// Or, with `type` null, closing characters still to write: `count` times the character `next`.
struct WriteFrame {
  const void* value;
  const TypeInfo* type;
  std::size_t next;
  std::size_t count;
  bool wrote;
};
using WriteStack = WorkStack<WriteFrame>;

// Closing characters to write once what is pushed after them is written. A run of equal ones
// shares a frame, so a chain of single children costs one frame whatever its depth.
void push_closing(WriteStack& work, char closing) {
  if (!work.empty()) {
    WriteFrame& top = work.top();
    if (top.type == nullptr && top.next == static_cast<unsigned char>(closing)) {
      ++top.count;
      return;
    }
  }
  work.push({nullptr, nullptr, static_cast<unsigned char>(closing), 1, false});
}

void write_text(json::Buffer& out, std::string_view text) { json::write_json(out, text); }

void write_enum(json::Buffer& out, const void* value, const EnumInfo& type) {
  const auto& enumeration = *static_cast<const EnumValue*>(value);
  const std::uint8_t index = Engine::enum_index(enumeration);
  write_text(out, index < type.value_count ? type.names[index] : std::string_view(Engine::enum_unknown_text(enumeration)));
}

// Writes a value, or pushes a frame for its parts.
void write_value(json::Buffer& out, const void* value, const TypeInfo& type, WriteStack& work);

void write_union(json::Buffer& out, const UnionHandle& handle, const UnionInfo& type, WriteStack& work) {
  const std::uint8_t kind = handle.kind_index();
  const UnionHandle::Slot& slot = handle.slot();
  if (kind >= type.variant_count) {
    write_value(out, payload_of(slot.cell), *type.unknown_payload, work);  // writes its own frame
    return;
  }
  const VariantInfo& variant = type.variants[kind];
  out.append(variant.prefix);
  switch (variant.placement) {
    case Placement::empty:
      out.literal("{}}");
      return;
    case Placement::inline_bool:
      json::write_json(out, slot.flag);
      break;
    case Placement::inline_i32:
      json::write_json(out, slot.i32);
      break;
    case Placement::inline_i64:
      json::write_json(out, slot.i64);
      break;
    case Placement::inline_f64:
      json::write_json(out, slot.f64);
      break;
    case Placement::cell:
      if (slot.cell == nullptr) throw InternalFailure("an empty union value was written");
      push_closing(work, '}');  // after the payload
      write_value(out, payload_of(slot.cell), *variant.payload, work);
      return;
  }
  out.put('}');
}

void write_value(json::Buffer& out, const void* value, const TypeInfo& type, WriteStack& work) {
  switch (type.shape) {
    case Shape::boolean:
      json::write_json(out, *static_cast<const bool*>(value));
      return;
    case Shape::i32:
      json::write_json(out, *static_cast<const std::int32_t*>(value));
      return;
    case Shape::i64:
      json::write_json(out, *static_cast<const std::int64_t*>(value));
      return;
    case Shape::f64:
      json::write_json(out, *static_cast<const double*>(value));
      return;
    case Shape::string:
      write_text(out, *static_cast<const std::string*>(value));
      return;
    case Shape::enumeration:
      write_enum(out, value, type.enumeration());
      return;
    case Shape::opaque:
      type.opaque().write(&out, value);
      return;
    case Shape::union_:
      write_union(out, *static_cast<const UnionHandle*>(value), type.union_(), work);
      return;
    case Shape::record:
      if (type.record().field_count == 0) {
        out.literal("{}");
      } else {
        work.push({value, &type, 0, type.record().field_count, false});
      }
      return;
    case Shape::container: {
      const ContainerOps& ops = *type.container().ops;
      const std::size_t count = ops.size(value);
      if (ops.open == '\0') {  // an optional: its value or nothing
        if (count != 0) write_value(out, ops.at(value, 0), *type.container().element, work);
        return;
      }
      out.put(ops.open);
      if (count == 0) {
        out.put(ops.close);
      } else {
        work.push({value, &type, 0, count, false});
      }
      return;
    }
  }
}

// Whether a record member is left out.
bool left_out(const FieldInfo& field, const void* record) noexcept {
  if (field.form == FieldForm::required) return false;
  return field.type->container().ops->size(static_cast<const char*>(record) + field.offset) == 0;
}

// The index of the first member from `from` on that is written, or `count` if none is.
std::size_t next_written(const RecordInfo& record, const void* value, std::size_t from) noexcept {
  while (from < record.field_count && left_out(record.fields[from], value)) ++from;
  return from;
}

// Writes the next part of the frame on top. The frame gives way to its closing character before
// its last part is written (see push_closing).
void step(json::Buffer& out, WriteStack& work) {
  const WriteFrame frame = work.top();
  const TypeInfo* type = frame.type;
  if (type == nullptr) {
    for (std::size_t i = 0; i < frame.count; ++i) out.put(static_cast<char>(frame.next));
    work.pop();
    return;
  }
  if (type->shape == Shape::record) {
    const RecordInfo& record = type->record();
    const std::size_t index = next_written(record, frame.value, frame.next);
    if (index == record.field_count) {  // only when nothing is written at all
      out.literal("{}");
      work.pop();
      return;
    }
    out.put(frame.wrote ? ',' : '{');
    const FieldInfo& field = record.fields[index];
    out.append(field.quoted_key);
    if (next_written(record, frame.value, index + 1) == record.field_count) {
      work.pop();
      push_closing(work, '}');
    } else {
      WriteFrame& top = work.top();
      top.next = index + 1;
      top.wrote = true;
    }
    write_value(out, static_cast<const char*>(frame.value) + field.offset, *field.type, work);
    return;
  }
  const ContainerInfo& container = type->container();
  const std::size_t index = frame.next;
  if (index != 0) out.put(',');
  if (index + 1 == frame.count) {
    work.pop();
    push_closing(work, container.ops->close);
  } else {
    ++work.top().next;
  }
  const void* value = frame.value;
  if (container.key != nullptr) {
    const void* key = container.ops->key_at(value, index);
    if (container.key->shape == Shape::enumeration) {
      write_enum(out, key, container.key->enumeration());
    } else {
      write_text(out, *static_cast<const std::string*>(key));
    }
    out.put(':');
  }
  write_value(out, container.ops->at(value, index), *container.element, work);
}

}  // namespace

void Engine::write(json::Buffer& out, const void* value, const TypeInfo& type) {
  WriteStack work;
  write_value(out, value, type, work);
  while (!work.empty()) step(out, work);
}

}  // namespace veltrix_compute::detail
