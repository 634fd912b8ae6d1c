// The JSON text of a value with a stack of frames instead of nested calls (see engine.h).
#include <string>
#include <string_view>

#include "model/work_stack.h"
#include "veltrix_compute/internal_failure.h"
#include "veltrix_compute/model/engine.h"

namespace veltrix_compute::detail {
namespace {

// A record or container being written, or (type null) a union's closing brace still to write.
// `next` is the next field or element; `count` their number; `wrote` whether a record member has
// been written, which decides between "{" and ",".
struct WriteFrame {
  const void* value;
  const TypeInfo* type;
  std::size_t next;
  std::size_t count;
  bool wrote;
};
using WriteStack = WorkStack<WriteFrame>;

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
      work.push({nullptr, nullptr, 0, 0, false});  // the closing brace, after the payload
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
      work.push({value, &type, 0, count, false});
      return;
    }
  }
}

// Whether a record member is left out.
bool left_out(const FieldInfo& field, const void* value) noexcept {
  if (field.form == FieldForm::required) return false;
  return field.type->container().ops->size(value) == 0;
}

// Writes the next part of the frame on top.
void step(json::Buffer& out, WriteStack& work) {
  WriteFrame& frame = work.top();
  const TypeInfo* type = frame.type;
  if (type == nullptr) {
    out.put('}');
    work.pop();
    return;
  }
  if (type->shape == Shape::record) {
    const RecordInfo& record = type->record();
    while (frame.next < frame.count) {
      const FieldInfo& field = record.fields[frame.next++];
      const void* member = static_cast<const char*>(frame.value) + field.offset;
      if (left_out(field, member)) continue;
      out.put(frame.wrote ? ',' : '{');
      frame.wrote = true;
      out.append(field.quoted_key);
      write_value(out, member, *field.type, work);  // may push: `frame` is stale from here
      return;
    }
    if (frame.wrote) {
      out.put('}');
    } else {
      out.literal("{}");
    }
    work.pop();
    return;
  }
  const ContainerInfo& container = type->container();
  if (frame.next == frame.count) {
    out.put(container.ops->close);
    work.pop();
    return;
  }
  const std::size_t index = frame.next++;
  if (index != 0) out.put(',');
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
