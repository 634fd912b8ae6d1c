// The JSON text of a value without nesting a call per level (see engine.h).
//
// The writer is one loop over three states: writing a value, writing the members of a record from
// one of them on, and writing the elements of a list, set or map from one of them on. What needs
// no descent is written on the spot. Before descending into a member or element it leaves a frame
// for what remains of the current record or container, or, when nothing remains, only its closing
// character. Closing characters wait in a small buffer of the descent and are written straight out
// when it ends without leaving a frame; when a frame is left, they travel with it (up to six; more
// go on the stack under it, where a run of equal ones shares one frame). So a chain of single
// children costs one frame whatever its depth, and a chain with more fields one frame a level.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "model/work_stack.h"
#include "veltrix_compute/internal_failure.h"
#include "veltrix_compute/model/engine.h"

namespace veltrix_compute::detail {
namespace {

// What remains of a record (members from `next`, the last written one at `end` - 1; `wrote`
// whether one was written before) or of a container (`value` its first element; elements from
// `next` to `end`), with the
// closing characters that follow it, outermost first (`after`, `after_size` of them). With
// `type` null: closing characters only, `end` times the character `next`.
struct WriteFrame {
  const void* value;
  const TypeInfo* type;
  std::uint32_t next;
  std::uint32_t end;
  bool wrote;
  std::uint8_t after_size;
  char after[6];
};
static_assert(sizeof(WriteFrame) == 32);

class Writer {
 public:
  explicit Writer(json::Buffer& out) noexcept : out_(out) {}

  void run(const void* value, const TypeInfo* type);

 private:
  void text(std::string_view text) { json::write_json(out_, text); }

  void enumeration(const void* value, const EnumInfo& type) {
    const auto& enumeration = *static_cast<const EnumValue*>(value);
    const std::uint8_t index = Engine::enum_index(enumeration);
    text(index < type.value_count ? type.names[index] : std::string_view(Engine::enum_unknown_text(enumeration)));
  }

  // Writes a number, text, enum or hand-written value and returns true; false for the others.
  [[gnu::always_inline]] bool write_scalar(const void* value, const TypeInfo& type) {
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
      case Shape::record:
      case Shape::container:
        return false;
    }
    return false;
  }

  // A record whose members are all scalars or optional scalars (RecordInfo::flat), whole; with
  // `opened`, its "{" and first key are written already (VariantInfo::opening).
  void write_flat_record(const void* value, const RecordInfo& record, bool opened = false) {
    bool wrote = opened;
    for (std::uint32_t index = 0; index < record.field_count; ++index) {
      const FieldInfo& field = record.fields[index];
      const void* member;
      const TypeInfo* member_type;
      if (!present_member(field, value, member, member_type)) continue;
      if (!opened || index != 0) {
        write_key(field, wrote);
        wrote = true;
      }
      write_scalar(member, *member_type);
    }
    if (wrote) {
      out_.put('}');
    } else {
      out_.literal("{}");
    }
  }

  // Writes a value that needs no descent and returns true, or returns false (a union whose
  // payload has parts of its own, a record that is not flat, or a container).
  [[gnu::always_inline]] bool write_flat(const void* value, const TypeInfo& type) {
    if (write_scalar(value, type)) return true;
    switch (type.shape) {
      case Shape::union_:
        return write_flat_union(*static_cast<const UnionHandle*>(value), type.union_());
      case Shape::record:
        if (!type.record().flat) return false;
        write_flat_record(value, type.record());
        return true;
      default:
        return false;
    }
  }

  [[gnu::always_inline]] bool write_flat_union(const UnionHandle& handle, const UnionInfo& type) {
    const std::uint8_t kind = handle.kind_index();
    const UnionHandle::Slot& slot = handle.slot();
    if (kind >= type.variant_count) {  // Unknown: written whole by its own writer
      if (slot.cell == nullptr) return false;  // empty: the descent reports it
      type.unknown_payload->opaque().write(&out_, payload_of(slot.cell));
      return true;
    }
    const VariantInfo& variant = type.variants[kind];
    if (variant.placement == Placement::cell) {
      // A payload without parts of its own is written here, with its variant around it.
      const TypeInfo& payload = *variant.payload;
      if (slot.cell == nullptr) return false;  // empty: the descent reports it
      if (payload.shape == Shape::record) {
        if (!payload.record().flat) return false;
        const bool opened = !variant.opening.empty();
        out_.append(opened ? variant.opening : variant.prefix);
        write_flat_record(payload_of(slot.cell, payload), payload.record(), opened);
        out_.put('}');
        return true;
      }
      if (payload.shape == Shape::union_ || payload.shape == Shape::container) return false;
    }
    out_.append(variant.prefix);
    if (variant.placement == Placement::empty) {
      out_.literal("{}");
    } else {
      write_scalar(variant.placement == Placement::cell ? payload_of(slot.cell, *variant.payload) : &slot,
                   *variant.payload);
    }
    out_.put('}');
    return true;
  }

  // A member's key, after "," or, for the first member written, "{".
  [[gnu::always_inline]] void write_key(const FieldInfo& field, bool after_another) {
    if (after_another) {
      out_.append(field.separated_key);
    } else {
      out_.put('{');
      out_.append(field.separated_key.substr(1));
    }
  }

  // The member that a field names, as it is written: an optional's value, which is left out when
  // absent (false), as is an empty list, set or map.
  [[gnu::always_inline]] static bool present_member(const FieldInfo& field, const void* record, const void*& member,
                                                    const TypeInfo*& type) noexcept {
    member = static_cast<const char*>(record) + field.offset;
    type = field.type;
    if (field.form == FieldForm::required) return true;
    const ContainerInfo& container = field.type->container();
    if (field.form == FieldForm::collection) return container.ops->size(member) != 0;
    member = container.ops->data(member);
    type = container.element;
    return member != nullptr;
  }

  // One past the last member that is written (0 when none is).
  static std::uint32_t written_end(const void* value, const RecordInfo& record) noexcept {
    std::uint32_t end = record.field_count;
    const std::uint32_t always = end - record.trailing_omissible;  // the members after it may be left out
    const void* member;
    const TypeInfo* type;
    while (end > always && !present_member(record.fields[end - 1], value, member, type)) --end;
    return end;
  }

  // A closing character to write once the current descent is written.
  void close_later(char closing) {
    if (pending_size_ == sizeof(pending_)) move_pending_to_stack();
    pending_[pending_size_++] = closing;
  }

  // Before a frame is pushed, the closing characters of the descent so far go under it.
  void move_pending_to_stack() {
    for (std::size_t i = 0; i < pending_size_; ++i) {
      const auto closing = static_cast<unsigned char>(pending_[i]);
      if (!work_.empty() && work_.top().type == nullptr && work_.top().next == closing) {
        ++work_.top().end;
      } else {
        work_.push({nullptr, nullptr, closing, 1, false, 0, {}});
      }
    }
    pending_size_ = 0;
  }

  // Pops the frame on top, which was resumed and is done: its closing characters are next.
  void leave_frame() noexcept {
    const WriteFrame& frame = work_.top();
    std::memcpy(pending_, frame.after, frame.after_size);  // pending is empty here
    pending_size_ = frame.after_size;
    work_.pop();
  }

  // Pushes what remains of a record or container; the closing characters of the descent so far
  // travel with it, and only those beyond what a frame carries go on the stack under it.
  void push(const void* value, const TypeInfo* type, std::uint32_t next, std::uint32_t end, bool wrote) {
    WriteFrame frame{value, type, next, end, wrote, 0, {}};
    if (pending_size_ > sizeof(frame.after)) {
      const std::size_t kept = sizeof(frame.after);
      const std::size_t moved = pending_size_ - kept;
      const std::size_t total = pending_size_;
      pending_size_ = moved;
      move_pending_to_stack();
      std::memmove(pending_, pending_ + moved, kept);
      pending_size_ = total - moved;
    }
    std::memcpy(frame.after, pending_, pending_size_);
    frame.after_size = static_cast<std::uint8_t>(pending_size_);
    pending_size_ = 0;
    work_.push(frame);
  }

  json::Buffer& out_;
  WorkStack<WriteFrame> work_;
  char pending_[64];
  std::size_t pending_size_ = 0;
};

void Writer::run(const void* value, const TypeInfo* type) {
  std::uint32_t index = 0, end = 0;
  bool wrote = false;
  // Whether the record or container being written is the frame on top of the stack (resumed from
  // it): then that frame is updated in place instead of being pushed again.
  bool resumed = false;
  const void* member = nullptr;  // the record member being written, and its type
  const TypeInfo* member_type = nullptr;

write_value:  // `value` of `type`, descending as far as it goes
  switch (type->shape) {
    case Shape::union_: {
      const auto& handle = *static_cast<const UnionHandle*>(value);
      if (write_flat_union(handle, type->union_())) goto finished;
      const void* cell = handle.slot().cell;
      if (cell == nullptr) throw InternalFailure("an empty union value was written");
      const VariantInfo& variant = type->union_().variants[handle.kind_index()];
      close_later('}');
      value = payload_of(cell);
      type = &payload_type_of(cell);
      if (variant.opening.empty()) {
        out_.append(variant.prefix);
        goto write_value;
      }
      // The record's opening and its first key are written with the prefix: on to the first value.
      out_.append(variant.opening);
      index = 0;
      end = written_end(value, type->record());
      wrote = true;
      resumed = false;
      member = static_cast<const char*>(value) + type->record().fields[0].offset;  // required
      member_type = type->record().fields[0].type;
      goto member_value;
    }
    case Shape::record:
      index = 0;
      end = written_end(value, type->record());
      wrote = false;
      resumed = false;
      goto members;
    case Shape::container: {
      const ContainerOps& ops = *type->container().ops;
      if (ops.open == '\0') {  // an optional: its value, if it has one
        if (ops.size(value) == 0) goto finished;
        value = ops.data(value);
        type = type->container().element;
        goto write_value;
      }
      out_.put(ops.open);
      index = 0;
      end = static_cast<std::uint32_t>(ops.size(value));
      value = end == 0 ? nullptr : ops.data(value);  // from here on, the first element
      resumed = false;
      goto elements;
    }
    default:
      write_flat(value, *type);
      goto finished;
  }

members:  // of the record `value` of `type`, from `index` on
  for (; index < end; ++index) {
    {
      const FieldInfo& field = type->record().fields[index];
      if (!present_member(field, value, member, member_type)) continue;
      write_key(field, wrote);
      wrote = true;
    }
  member_value:  // `member` of `member_type`, at `index`, whose key is written
    {
      if (write_flat(member, *member_type)) continue;
      if (index + 1 >= end) {
        if (resumed) leave_frame();
        close_later('}');
      } else if (resumed) {
        work_.top().next = index + 1;
        work_.top().wrote = true;
      } else {
        push(value, type, index + 1, end, true);
      }
      value = member;
      type = member_type;
      goto write_value;
    }
  }
  if (wrote) {
    out_.put('}');
  } else {
    out_.literal("{}");
  }
  if (resumed) leave_frame();
  goto finished;

elements:  // of the container of `type` whose first element is at `value`, from `index` on
  {
    const ContainerInfo& container = type->container();
    const ContainerOps& ops = *container.ops;
    const void* first = value;
    const bool of_unions = container.key == nullptr && container.element->shape == Shape::union_;
    for (; index < end; ++index) {
      if (index != 0) out_.put(',');
      const void* element = ops.at(first, index);
      if (of_unions) {  // the commonest container, without the shape switch
        if (write_flat_union(*static_cast<const UnionHandle*>(element), container.element->union_())) continue;
      } else {
        if (container.key != nullptr) {
          write_flat(ops.key_at(first, index), *container.key);
          out_.put(':');
        }
        if (write_flat(element, *container.element)) continue;
      }
      if (index + 1 >= end) {
        if (resumed) leave_frame();
        close_later(ops.close);
      } else if (resumed) {
        work_.top().next = index + 1;
      } else {
        push(first, type, index + 1, end, false);
      }
      value = element;
      type = container.element;
      goto write_value;
    }
    out_.put(ops.close);
    if (resumed) leave_frame();
  }

finished:  // the descent is written: its closing characters, innermost first, then the next frame
  if (pending_size_ != 0) {
    char* at = out_.reserve(pending_size_);
    for (std::size_t i = pending_size_; i > 0; --i) *at++ = pending_[i - 1];
    out_.commit(at);
    pending_size_ = 0;
  }
  while (!work_.empty()) {
    const WriteFrame& frame = work_.top();
    if (frame.type == nullptr) {
      char* at = out_.reserve(frame.end);
      std::memset(at, static_cast<int>(frame.next), frame.end);
      out_.commit(at + frame.end);
      work_.pop();
      continue;
    }
    value = frame.value;
    type = frame.type;
    index = frame.next;
    end = frame.end;
    wrote = frame.wrote;
    resumed = true;
    if (type->shape == Shape::record) goto members;
    goto elements;
  }
}

}  // namespace

void Engine::write(json::Buffer& out, const void* value, const TypeInfo& type) { Writer(out).run(value, &type); }

}  // namespace veltrix_compute::detail
