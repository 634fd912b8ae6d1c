// The JSON text of a value without nesting a call per level (see engine.h).
//
// Like the copy, the writer descends in a loop: it writes what needs no descent on the spot, and
// before descending it leaves a frame for what remains of the current record or container, or,
// when nothing remains, only its closing character. Runs of equal closing characters share one
// frame, so a chain of single children costs one frame whatever its depth.
#include <string>
#include <string_view>

#include "model/work_stack.h"
#include "veltrix_compute/internal_failure.h"
#include "veltrix_compute/model/engine.h"

namespace veltrix_compute::detail {
namespace {

// What remains of a record (fields from `next`, the last written one at `count` - 1; `wrote`
// whether one was written before) or of a container (elements from `next` to `count`). With
// `type` null: closing characters, `count` times the character `next`.
struct WriteFrame {
  const void* value;
  const TypeInfo* type;
  std::size_t next;
  std::size_t count;
  bool wrote;
};

// The next value to write, once the current one has to descend.
struct Descent {
  const void* value = nullptr;
  const TypeInfo* type = nullptr;
};

class Writer {
 public:
  explicit Writer(json::Buffer& out) noexcept : out_(out) {}

  void run(const void* value, const TypeInfo& type) {
    descend({value, &type});
    while (!work_.empty()) {
      const WriteFrame frame = work_.top();
      work_.pop();
      if (frame.type == nullptr) {
        for (std::size_t i = 0; i < frame.count; ++i) out_.put(static_cast<char>(frame.next));
      } else if (frame.type->shape == Shape::record) {
        descend(record_from(frame.value, *frame.type, frame.next, frame.count, frame.wrote));
      } else {
        descend(container_from(frame.value, *frame.type, frame.next, frame.count));
      }
    }
  }

 private:
  void text(std::string_view text) { json::write_json(out_, text); }

  void enumeration(const void* value, const EnumInfo& type) {
    const auto& enumeration = *static_cast<const EnumValue*>(value);
    const std::uint8_t index = Engine::enum_index(enumeration);
    text(index < type.value_count ? type.names[index] : std::string_view(Engine::enum_unknown_text(enumeration)));
  }

  // Closing characters to write once what is pushed after them is written.
  void push_closing(char closing) {
    if (!work_.empty()) {
      WriteFrame& top = work_.top();
      if (top.type == nullptr && top.next == static_cast<unsigned char>(closing)) {
        ++top.count;
        return;
      }
    }
    work_.push({nullptr, nullptr, static_cast<unsigned char>(closing), 1, false});
  }

  // Writes a value that needs no descent and returns true, or returns false (a union whose
  // payload is in a cell, a record, a list, set or map, or an optional that holds a value).
  bool write_flat(const void* value, const TypeInfo& type) {
    switch (type.shape) {
      case Shape::boolean:
        json::write_json(out_, *static_cast<const bool*>(value));
        return true;
      case Shape::i32:
        json::write_json(out_, *static_cast<const std::int32_t*>(value));
        return true;
      case Shape::i64:
        json::write_json(out_, *static_cast<const std::int64_t*>(value));
        return true;
      case Shape::f64:
        json::write_json(out_, *static_cast<const double*>(value));
        return true;
      case Shape::string:
        text(*static_cast<const std::string*>(value));
        return true;
      case Shape::enumeration:
        enumeration(value, type.enumeration());
        return true;
      case Shape::opaque:
        type.opaque().write(&out_, value);
        return true;
      case Shape::union_:
        return write_flat_union(*static_cast<const UnionHandle*>(value), type.union_());
      case Shape::record:
      case Shape::container:
        return false;
    }
    return false;
  }

  bool write_flat_union(const UnionHandle& handle, const UnionInfo& type) {
    const std::uint8_t kind = handle.kind_index();
    const UnionHandle::Slot& slot = handle.slot();
    if (kind >= type.variant_count) {  // Unknown: written whole by its own writer
      write_flat(payload_of(slot.cell), *type.unknown_payload);
      return true;
    }
    const VariantInfo& variant = type.variants[kind];
    switch (variant.placement) {
      case Placement::empty:
        out_.append(variant.prefix);
        out_.literal("{}}");
        return true;
      case Placement::inline_bool:
        out_.append(variant.prefix);
        json::write_json(out_, slot.flag);
        break;
      case Placement::inline_i32:
        out_.append(variant.prefix);
        json::write_json(out_, slot.i32);
        break;
      case Placement::inline_i64:
        out_.append(variant.prefix);
        json::write_json(out_, slot.i64);
        break;
      case Placement::inline_f64:
        out_.append(variant.prefix);
        json::write_json(out_, slot.f64);
        break;
      case Placement::cell:
        return false;
    }
    out_.put('}');
    return true;
  }

  // Writes a value, descending in a loop (see the file comment).
  void descend(Descent next) {
    while (next.type != nullptr && !write_flat(next.value, *next.type)) {
      const TypeInfo& type = *next.type;
      switch (type.shape) {
        case Shape::union_: {
          const auto& handle = *static_cast<const UnionHandle*>(next.value);
          const void* cell = handle.slot().cell;
          if (cell == nullptr) throw InternalFailure("an empty union value was written");
          out_.append(type.union_().variants[handle.kind_index()].prefix);
          push_closing('}');
          next = {payload_of(cell), &payload_type_of(cell)};
          break;
        }
        case Shape::record:
          next = record_from(next.value, type, 0, last_written(next.value, type.record()) + 1, false);
          break;
        default:
          next = container(next.value, type);
          break;
      }
    }
  }

  static bool left_out(const FieldInfo& field, const void* record) noexcept {
    return field.form != FieldForm::required &&
           field.type->container().ops->size(static_cast<const char*>(record) + field.offset) == 0;
  }

  // The index of the last member that is written; -1 when none is.
  static std::ptrdiff_t last_written(const void* value, const RecordInfo& record) noexcept {
    auto index = static_cast<std::ptrdiff_t>(record.field_count) - 1;
    while (index >= 0 && left_out(record.fields[index], value)) --index;
    return index;
  }

  // Writes the members of a record from `index` on, up to the first that needs a descent (see
  // the file comment), or to the closing brace. `end` is one past the last written member.
  Descent record_from(const void* value, const TypeInfo& type, std::size_t index, std::size_t end, bool wrote) {
    const RecordInfo& record = type.record();
    for (; index < end; ++index) {
      const FieldInfo& field = record.fields[index];
      if (left_out(field, value)) continue;
      out_.put(wrote ? ',' : '{');
      wrote = true;
      out_.append(field.quoted_key);
      const void* member = static_cast<const char*>(value) + field.offset;
      if (write_flat(member, *field.type)) continue;
      if (index + 1 < end) {
        work_.push({value, &type, index + 1, end, true});
      } else {
        push_closing('}');
      }
      return {member, field.type};
    }
    if (wrote) {
      out_.put('}');
    } else {
      out_.literal("{}");
    }
    return {};
  }

  // Starts a container: an optional's value, or the opening bracket and the elements.
  Descent container(const void* value, const TypeInfo& type) {
    const ContainerOps& ops = *type.container().ops;
    const std::size_t count = ops.size(value);
    if (ops.open == '\0') return count == 0 ? Descent{} : Descent{ops.at(value, 0), type.container().element};
    out_.put(ops.open);
    return container_from(value, type, 0, count);
  }

  // Writes the elements of a list, set or map from `index` on, as record_from does the members.
  Descent container_from(const void* value, const TypeInfo& type, std::size_t index, std::size_t count) {
    const ContainerInfo& container = type.container();
    const ContainerOps& ops = *container.ops;
    for (; index < count; ++index) {
      if (index != 0) out_.put(',');
      if (container.key != nullptr) {
        write_flat(ops.key_at(value, index), *container.key);
        out_.put(':');
      }
      const void* element = ops.at(value, index);
      if (write_flat(element, *container.element)) continue;
      if (index + 1 < count) {
        work_.push({value, &type, index + 1, count, false});
      } else {
        push_closing(ops.close);
      }
      return {element, container.element};
    }
    out_.put(ops.close);
    return {};
  }

  json::Buffer& out_;
  WorkStack<WriteFrame> work_;
};

}  // namespace

void Engine::write(json::Buffer& out, const void* value, const TypeInfo& type) { Writer(out).run(value, type); }

}  // namespace veltrix_compute::detail
