// The JSON text of a value without nesting a call per level (see engine.h).
//
// How it works. Writing goes down the tree one part at a time. At each record or container it
// writes at once the members or elements that need no descent (numbers, texts, unions of a leaf
// payload, records of scalars) and stops at the first one that does. Before descending into it, it
// notes what remains of the record or container, on one of two stacks:
// - a frame, when members or elements follow the one descended into: where to go on, and the
//   height of the closing stack at that point;
// - otherwise only its closing character ("}" of a record, "]" of a list or set, "}" of a map), on
//   a stack of bytes of its own, where a union's "}" also waits while its payload is written.
// When a descent ends, the closing characters above the top frame's height are written, innermost
// first, and that frame's record or container is taken up again where it stopped. A record or
// container that ends without a further descent writes its own closing character.
//
// Why. Each unfinished record, container or union above the part being written sits on one of the
// two stacks, in the least room that resuming or closing it needs: a chain of single children,
// however deep, costs a byte per closing character and no frame, and nothing is carried from frame
// to frame. Each step of the walk (a part, the members of a record, the elements of a container)
// has one caller in `run`, so that inlining them keeps the loop small. Both stacks move to the
// heap beyond a small start on the C stack, so a value of any depth is written on any thread.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "model/work_stack.h"
#include "veltrix_compute/internal_failure.h"
#include "veltrix_compute/model/engine.h"

namespace veltrix_compute::detail {
namespace {

// What remains of a record (its members from `next` to `end`, the last written one at `end` - 1) or
// of a list, set or map (its elements from `next` to `end`, `value` its first element).
struct Remainder {
  const void* value;
  const TypeInfo* type;
  std::uint32_t next;
  std::uint32_t end;
};

struct WriteFrame {
  Remainder remainder;
  std::size_t closers_height;  // of the closing stack when the frame was left
};
static_assert(sizeof(WriteFrame) == 32);

// A part of a value to write next; `type` is null when there is none.
struct Part {
  const void* value;
  const TypeInfo* type;
};
constexpr Part kNoPart{nullptr, nullptr};

[[noreturn, gnu::cold]] void empty_union_written() { throw InternalFailure("an empty union value was written"); }

class Writer {
 public:
  explicit Writer(json::Buffer& out) noexcept : out_(out) {}

  void run(const void* value, const TypeInfo* type) {
    Part part{value, type};
    Remainder at{};      // the record or container being gone through
    bool wrote = false;  // whether one of its members or elements is written, so the next follows a ","
    for (;;) {
      // 1. The part, down to the first record or container with parts of its own to go through.
      if (part.type == nullptr || !open(part, at, wrote)) {
        // 2. The descent is written: after the closing characters of what it finished, the
        // innermost unfinished record or container is taken up again where it stopped.
        if (frames_.empty()) break;
        const WriteFrame& frame = frames_.top();
        close_down_to(frame.closers_height);
        at = frame.remainder;
        wrote = true;
        frames_.pop();
      }
      // 3. Its members or elements, up to the next part that needs a descent.
      part = at.type->shape == Shape::record ? members(at, wrote) : elements(at, wrote);
    }
    close_down_to(0);
  }

 private:
  // -- The steps of the walk.

  // Writes `part` as far as it goes without going through the members or elements of a record or
  // container; returns false when it is written whole, or true with `at` set to that record or
  // container, opened (a union around it and its own bracket written).
  [[gnu::always_inline]] bool open(Part part, Remainder& at, bool& wrote) {
    for (;;) {
      switch (part.type->shape) {
        case Shape::union_: {
          const auto& handle = *static_cast<const UnionHandle*>(part.value);
          if (write_flat_union(handle, part.type->union_())) return false;
          const VariantInfo& variant = part.type->union_().variants[handle.kind_index()];
          const TypeInfo& payload_type = *variant.payload;  // in a cell: write_flat_union checked it is there
          const void* payload = payload_of(handle.slot().cell, payload_type);
          closers_.push('}');
          if (variant.opening.empty()) {
            out_.append(variant.prefix);
            part = {payload, &payload_type};
            continue;
          }
          // A record whose first member is always written: its "{" and first key come with the
          // prefix, and that member is written or descended into here.
          out_.append(variant.opening);
          at = {payload, &payload_type, 0, written_end(payload, payload_type.record())};
          wrote = true;
          const FieldInfo& first = payload_type.record().fields[0];
          part = {static_cast<const char*>(payload) + first.offset, first.type};
          if (write_flat(part.value, *part.type)) {
            at.next = 1;
            return true;
          }
          leave(at, '}');
          continue;
        }
        case Shape::record:
          if (part.type->record().flat) break;
          at = {part.value, part.type, 0, written_end(part.value, part.type->record())};
          if (at.end == 0) {
            out_.literal("{}");
            return false;
          }
          wrote = false;  // the first member written opens it
          return true;
        case Shape::container: {
          const ContainerOps& ops = *part.type->container().ops;
          const std::size_t size = ops.size(part.value);
          if (ops.open == '\0') {  // an optional: its value, if it has one
            if (size == 0) return false;
            part = {ops.data(part.value), part.type->container().element};
            continue;
          }
          out_.put(ops.open);
          if (size == 0) {
            out_.put(ops.close);
            return false;
          }
          at = {ops.data(part.value), part.type, 0, static_cast<std::uint32_t>(size)};
          wrote = false;
          return true;
        }
        default:
          break;
      }
      write_flat(part.value, *part.type);
      return false;
    }
  }

  // The members of a record from `at.next` on, up to the first that needs a descent: returns it,
  // having left what remains of the record; or, when none does, closes the record.
  [[gnu::always_inline]] Part members(Remainder& at, bool wrote) {
    for (; at.next < at.end; ++at.next) {
      const FieldInfo& field = at.type->record().fields[at.next];
      Part member;
      if (!present_member(field, at.value, member.value, member.type)) continue;
      write_key(field, wrote);
      wrote = true;
      if (write_flat(member.value, *member.type)) continue;
      leave(at, '}');
      return member;
    }
    out_.put('}');
    return kNoPart;
  }

  // The same for the elements of a list, set or map (of a map: key, ":", value).
  [[gnu::always_inline]] Part elements(Remainder& at, bool wrote) {
    const ContainerInfo& container = at.type->container();
    const ContainerOps& ops = *container.ops;
    const bool of_unions = container.key == nullptr && container.element->shape == Shape::union_;
    for (; at.next < at.end; ++at.next) {
      if (wrote) out_.put(',');
      wrote = true;
      const void* element = ops.at(at.value, at.next);
      if (of_unions) {  // the commonest container, without the shape switch
        if (write_flat_union(*static_cast<const UnionHandle*>(element), container.element->union_())) continue;
      } else {
        if (container.key != nullptr) {
          write_flat(ops.key_at(at.value, at.next), *container.key);
          out_.put(':');
        }
        if (write_flat(element, *container.element)) continue;
      }
      leave(at, ops.close);
      return {element, container.element};
    }
    out_.put(ops.close);
    return kNoPart;
  }

  // Before descending into the part at `at.next`: a frame for the parts after it, or, when there
  // are none, only the closing character.
  [[gnu::always_inline]] void leave(const Remainder& at, char closer) {
    if (at.next + 1 < at.end) {
      frames_.push({{at.value, at.type, at.next + 1, at.end}, closers_.size()});
    } else {
      closers_.push(closer);
    }
  }

  // Writes the closing characters above `height`, innermost first.
  void close_down_to(std::size_t height) {
    const std::size_t count = closers_.size() - height;
    if (count == 0) return;
    const char* first = &closers_.at(height);
    out_.commit(std::reverse_copy(first, first + count, out_.reserve(count)));
    closers_.pop_to(height);
  }

  // -- Values written whole.

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
        json::write_json(out_, *static_cast<const std::string*>(value));
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

  void enumeration(const void* value, const EnumInfo& type) {
    const auto& enumeration = *static_cast<const EnumValue*>(value);
    const std::uint8_t index = Engine::enum_index(enumeration);
    json::write_json(out_, index < type.value_count ? type.names[index]
                                                    : std::string_view(Engine::enum_unknown_text(enumeration)));
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

  // A union whose payload needs no descent, whole: an empty or inline variant, Unknown, or a cell
  // holding a scalar or a flat record. Returns false for the others; throws for an empty handle.
  [[gnu::always_inline]] bool write_flat_union(const UnionHandle& handle, const UnionInfo& type) {
    const std::uint8_t kind = handle.kind_index();
    const UnionHandle::Slot& slot = handle.slot();
    const VariantInfo* variant = kind < type.variant_count ? &type.variants[kind] : nullptr;
    if (variant != nullptr && variant->placement != Placement::cell) {
      out_.append(variant->prefix);
      if (variant->placement == Placement::empty) {
        out_.literal("{}");
      } else {
        write_scalar(&slot, *variant->payload);
      }
      out_.put('}');
      return true;
    }
    if (slot.cell == nullptr) empty_union_written();
    if (variant == nullptr) {  // Unknown: written whole by its own writer
      type.unknown_payload->opaque().write(&out_, payload_of(slot.cell, *type.unknown_payload));
      return true;
    }
    const TypeInfo& payload_type = *variant->payload;
    const void* payload = payload_of(slot.cell, payload_type);
    switch (payload_type.shape) {
      case Shape::record:
        if (!payload_type.record().flat) return false;
        if (variant->opening.empty()) {
          out_.append(variant->prefix);
          write_flat_record(payload, payload_type.record());
        } else {
          out_.append(variant->opening);
          write_flat_record(payload, payload_type.record(), true);
        }
        break;
      case Shape::union_:
      case Shape::container:
        return false;
      default:
        out_.append(variant->prefix);
        write_scalar(payload, payload_type);
        break;
    }
    out_.put('}');
    return true;
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

  // -- Members of records.

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

  json::Buffer& out_;
  // The 13-operation expression of bench/bench.py leaves at most 11 closing characters and 4
  // frames; its chain of 120 operations 143 and 99. 256 bytes on the C stack hold the first.
  WorkStack<char, 256> closers_;
  WorkStack<WriteFrame> frames_;
};

}  // namespace

void Engine::write(json::Buffer& out, const void* value, const TypeInfo& type) { Writer(out).run(value, &type); }

}  // namespace veltrix_compute::detail
