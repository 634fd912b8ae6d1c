// The representation shared by every generated union class.
//
// A union value is a 16-byte handle: a slot and the variant's kind. Doubles, integers and
// booleans are kept in the slot; every other payload lives in a cell of its own (cell_memory.h),
// which starts with a header naming the payload's type, so that the engine can copy, write and
// free any cell knowing nothing but the cell. Every path by which a type contains itself passes
// through a union, hence through a cell: records hold their children by value.
//
// A handle is empty when its slot holds no cell although its kind would need one: the state of a
// moved-from union, and of a default-constructed one, which only the engine creates (to fill it
// by a copy). Freeing an empty handle does nothing; writing one is an internal failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>

#include "veltrix_compute/cell_memory.h"
#include "veltrix_compute/model/type_info.h"

namespace veltrix_compute::detail {

// The first bytes of every cell; the payload follows at its type's cell_offset.
struct CellHeader {
  const TypeInfo* payload_type;
};

inline const TypeInfo& payload_type_of(const void* cell) noexcept {
  return *static_cast<const CellHeader*>(cell)->payload_type;
}
// The payload of a cell of a known payload type (which saves reading the header again)...
inline void* payload_of(void* cell, const TypeInfo& payload_type) noexcept {
  return static_cast<char*>(cell) + payload_type.cell_offset;
}
inline const void* payload_of(const void* cell, const TypeInfo& payload_type) noexcept {
  return static_cast<const char*>(cell) + payload_type.cell_offset;
}
// ...and of any cell.
inline void* payload_of(void* cell) noexcept { return payload_of(cell, payload_type_of(cell)); }
inline const void* payload_of(const void* cell) noexcept { return payload_of(cell, payload_type_of(cell)); }
inline std::size_t cell_size(const TypeInfo& payload_type) noexcept {
  return payload_type.cell_offset + payload_type.size;
}

// A cell holding `payload`, moved in.
template <class Payload>
void* make_cell(Payload&& payload) {
  using Value = std::remove_cvref_t<Payload>;
  static_assert(kCellAlignment >= alignof(Value));
  const TypeInfo& type = TypeOf<Value>::info;
  void* cell = allocate_cell(cell_size(type));
  static_cast<CellHeader*>(cell)->payload_type = &type;
  ::new (static_cast<char*>(cell) + kCellOffset<Value>) Value(std::forward<Payload>(payload));  // moves: cannot throw
  return cell;
}

class UnionHandle {
 public:
  union Slot {
    void* cell;
    bool flag;
    std::int32_t i32;
    std::int64_t i64;
    double f64;
  };

  // An empty handle (see the header comment).
  constexpr UnionHandle() noexcept : slot_{nullptr}, tail_{} {}
  UnionHandle(std::uint8_t kind, Slot slot) noexcept : slot_(slot), tail_{} { tail_.kind = kind; }
  UnionHandle(UnionHandle&& other) noexcept : slot_(other.slot_), tail_(other.tail_) { other.slot_.cell = nullptr; }
  // Swaps, so that the other value's destructor frees what this one held.
  UnionHandle& operator=(UnionHandle&& other) noexcept {
    std::swap(slot_, other.slot_);
    std::swap(tail_, other.tail_);
    return *this;
  }
  UnionHandle(const UnionHandle&) = delete;
  UnionHandle& operator=(const UnionHandle&) = delete;
  ~UnionHandle() = default;

  std::uint8_t kind_index() const noexcept { return tail_.kind; }
  const Slot& slot() const noexcept { return slot_; }

 protected:
  template <class Payload>
  const Payload& payload() const noexcept {
    return *reinterpret_cast<const Payload*>(static_cast<const char*>(slot_.cell) + kCellOffset<Payload>);
  }

 private:
  friend struct Engine;

  Slot slot_;
  // The kind, and while the engine frees the tree, the next handle whose cell it has yet to
  // free: the free needs no memory of its own, since it links its work through the handles.
  union Tail {
    std::uint8_t kind;
    UnionHandle* next_pending;
  } tail_;
};
static_assert(sizeof(UnionHandle) == 16);

}  // namespace veltrix_compute::detail
