// What the model engine knows about each C++ type of the object model: small constant tables,
// generated from the schema for records, unions and enums (the generated model_part_*.cpp) and
// written once for scalars and containers (containers.h).
//
// The engine (copy, write, free; engine.h) walks a value by these tables alone, so a fix to
// copying or writing is made once, and a new type costs table rows, not code. The typed API of
// model.h (factories, accessors, staged builders) never reads them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <string_view>
#include <type_traits>

namespace veltrix_compute::detail {

// How the engine treats a value of a type.
enum class Shape : std::uint8_t {
  boolean,
  i32,
  i64,
  f64,
  string,       // std::string (aliases too)
  enumeration,  // a generated enum class (EnumValue layout)
  union_,       // a generated union class (UnionHandle layout)
  record,       // a generated record struct
  container,    // std::optional, std::vector, OrderedSet or OrderedMap
  opaque,       // a hand-written type with its own copy and writer (UnknownVariant)
};

struct TypeInfo;
class UnionHandle;

// When a record field is left out of the JSON.
enum class FieldForm : std::uint8_t {
  required,    // always written
  optional,    // left out when absent (an optional map is written when present, even empty)
  collection,  // a list, set or map: left out when empty
};

struct FieldInfo {
  std::string_view separated_key;  // the key after a comma, with its quotes and colon: ",\"left\":"
  std::uint32_t offset;         // of the member in its record
  FieldForm form;
  const TypeInfo* type;
};

struct RecordInfo {
  std::uint32_t field_count;
  // How many of the last fields may be left out (not required): the writer looks no further
  // back than that for the last member it writes.
  std::uint16_t trailing_omissible;
  // Whether every field is a number, text or enum, or an optional one: the writer writes such a
  // record whole, without descending.
  bool flat;
  const FieldInfo* fields;  // in definition order, the JSON order
};

// Where a variant's payload lives: nowhere, inline in the handle's slot (a number or boolean, at
// the slot's start; its type says which), or in a cell.
enum class Placement : std::uint8_t { empty, inline_, cell };

struct VariantInfo {
  std::string_view prefix;  // {"type":"<name>","<name>": the text written before the payload
  Placement placement;
  const TypeInfo* payload;  // null for empty variants
  // For a record payload whose first field is required (always written): the prefix, the
  // record's "{" and that field's key, written at once. Empty for the others.
  std::string_view opening = {};
};

struct UnionInfo {
  std::uint32_t variant_count;     // the Unknown variant comes after these
  const VariantInfo* variants;
  const TypeInfo* unknown_payload; // UnknownVariant, always in a cell
};

struct EnumInfo {
  std::uint32_t value_count;  // the unknown value comes after these and writes its own text
  const std::string_view* names;
};

// The few operations the engine needs from a container type, all reached through these pointers
// so that one engine serves every element type. An optional is a container of at most one value.
struct ContainerOps {
  std::size_t (*size)(const void* container) noexcept;
  // The first element (of a map: the first key-value entry), when there is one (null for an
  // absent optional, so that one call tells whether it is there and where). The elements are
  // `stride` bytes apart, and an entry's value is `value_offset` bytes into it, its key at its
  // start, so that the engine reaches each element without a call.
  const void* (*data)(const void* container) noexcept;
  std::uint32_t stride;
  std::uint32_t value_offset;
  // Makes an empty container hold `count` default elements. May throw std::bad_alloc.
  void (*fill_default)(void* container, std::size_t count);
  // The JSON brackets: "[" "]" for lists and sets, "{" "}" for maps, nothing for optionals.
  char open, close;
  // Only for a map whose records hold the same map (kHoldsItselfThroughMaps), null for the
  // others: the map's link word, through which the engine walks a tree of such maps without
  // memory, and the release of its entries.
  std::uintptr_t* (*link)(void* container) noexcept;
  void (*clear)(void* container) noexcept;

  // The element (of a map: the value) at `index`, and a map entry's key, from data()'s result.
  const void* at(const void* first, std::size_t index) const noexcept {
    return static_cast<const char*>(first) + index * stride + value_offset;
  }
  const void* key_at(const void* first, std::size_t index) const noexcept {
    return static_cast<const char*>(first) + index * stride;
  }
};

struct ContainerInfo {
  const ContainerOps* ops;
  const TypeInfo* element;  // of a map: the value type
  const TypeInfo* key;      // of a map: the key type (string or enumeration); else null
};

// Copy, write and free of a hand-written type.
struct OpaqueInfo {
  void (*copy_assign)(void* target, const void* source);
  void (*write)(void* buffer, const void* value);  // buffer is a json::Buffer
};

struct TypeInfo {
  Shape shape;
  std::uint8_t cell_offset;              // where a payload of this type starts in its cell
  std::uint32_t size;                    // sizeof the type
  void (*construct)(void* at) noexcept;  // default construction in place
  void (*destroy)(void* at) noexcept;    // destruction in place; its unions must be empty
  // Copy construction in place, for a type that holds no union (a leaf of the tree), whose own
  // copy nests no call per level; null for the others, which the engine copies part by part.
  void (*copy_construct)(void* at, const void* source);
  // What the shape needs, kept in the table itself: one load fewer on every step of the engine.
  union Details {
    RecordInfo record;
    UnionInfo union_;
    EnumInfo enumeration;
    ContainerInfo container;
    OpaqueInfo opaque;
    constexpr Details() noexcept : record{0, 0, true, nullptr} {}
  } details;

  const RecordInfo& record() const noexcept { return details.record; }
  const UnionInfo& union_() const noexcept { return details.union_; }
  const EnumInfo& enumeration() const noexcept { return details.enumeration; }
  const ContainerInfo& container() const noexcept { return details.container; }
  const OpaqueInfo& opaque() const noexcept { return details.opaque; }
};

// The table of a type. Every generated record, union and enum declares its own as `kTypeInfo`
// (defined in the generated parts); containers.h specialises this for scalars and containers.
template <class T>
struct TypeOf;
template <class T>
  requires requires { T::kTypeInfo; }
struct TypeOf<T> {
  static constexpr const TypeInfo& info = T::kTypeInfo;
};

template <class T>
void construct_in_place(void* at) noexcept {
  ::new (at) T();
}
template <class T>
void destroy_in_place(void* at) noexcept {
  static_cast<T*>(at)->~T();
}

// A cell starts with an 8-byte header (union_handle.h); the payload follows it, or starts at 16
// for the one type aligned to 16 (Any, inside UnknownVariant, which holds 128-bit integers).
template <class T>
inline constexpr std::uint8_t kCellOffset = alignof(T) <= 8 ? 8 : 16;
static_assert(alignof(std::max_align_t) >= 16);

template <class T>
void copy_construct_in_place(void* at, const void* source) {
  ::new (at) T(*static_cast<const T*>(source));
}

// The tables of each shape. `kLeaf`: the type holds no union (see copy_construct).
template <class T, bool kLeaf>
constexpr TypeInfo type_info(Shape shape) {
  static_assert(alignof(T) <= 16);
  TypeInfo info{shape, kCellOffset<T>, sizeof(T), &construct_in_place<T>, &destroy_in_place<T>, nullptr, {}};
  if constexpr (kLeaf) info.copy_construct = &copy_construct_in_place<T>;
  return info;
}
// The details of each shape, kept in the table.
constexpr void keep(TypeInfo::Details& kept, const RecordInfo& details) noexcept { kept.record = details; }
constexpr void keep(TypeInfo::Details& kept, const UnionInfo& details) noexcept { kept.union_ = details; }
constexpr void keep(TypeInfo::Details& kept, const EnumInfo& details) noexcept { kept.enumeration = details; }
constexpr void keep(TypeInfo::Details& kept, const ContainerInfo& details) noexcept { kept.container = details; }
constexpr void keep(TypeInfo::Details& kept, const OpaqueInfo& details) noexcept { kept.opaque = details; }

// The table of a record, union, enum, container or hand-written type, its shape told by what
// `details` is. Enums and hand-written types hold no union; a record says so with `kLeaf`.
template <class T, bool kLeaf = false, class Details>
constexpr TypeInfo type_info_of(const Details& details) {
  constexpr Shape kShape = std::is_same_v<Details, RecordInfo>      ? Shape::record
                           : std::is_same_v<Details, UnionInfo>     ? Shape::union_
                           : std::is_same_v<Details, EnumInfo>      ? Shape::enumeration
                           : std::is_same_v<Details, ContainerInfo> ? Shape::container
                                                                    : Shape::opaque;
  constexpr bool kHoldsNoUnion = kShape == Shape::record ? kLeaf : kShape == Shape::enumeration || kShape == Shape::opaque;
  TypeInfo info = type_info<T, kHoldsNoUnion>(kShape);
  keep(info.details, details);
  return info;
}

}  // namespace veltrix_compute::detail
