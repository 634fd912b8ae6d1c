// The containers of the object model (OrderedSet, OrderedMap, and the standard optional and
// vector), the base of the generated enums, and the engine's tables for all of them and for the
// scalars.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "veltrix_compute/any.h"
#include "veltrix_compute/model/type_info.h"
#include "veltrix_compute/sorted_keeping_last.h"

namespace veltrix_compute {

// A variant without data; written as {}.
struct Empty {};

// The `Unknown` variant of a union: a variant name outside the declared ones, and its payload.
struct UnknownVariant {
  std::string name;
  Any value;
};
// {"type":<name>,<name>:<value>}; throws json::WriteError from the Any writer.
void write_json(json::Buffer& out, const UnknownVariant& unknown);

// Byte-wise order of text, a proper prefix first (std::string compares bytes as unsigned char).
inline std::strong_ordering compare_key(const std::string& a, const std::string& b) noexcept {
  return a.compare(b) <=> 0;
}

namespace detail {
template <class Container>
struct ContainerAccess;

// Whether a record holds itself by value through a map of itself, with no union between
// (FunctionVariables, whose subFunctionVariables nest to any depth). The generator says so for
// each such record. Such a map copies and frees itself through the engine, which walks a tree of
// them without nesting a call per level and, to free it, without memory: each map keeps a link
// word of its own for the walk (see OrderedMap).
template <class V>
inline constexpr bool kHoldsItselfThroughMaps = false;

struct MapLink {
  std::uintptr_t word = 0;
};
struct NoMapLink {};

// The engine's copy and free of a map whose records hold the map (model/engine.h).
void copy_nested_maps(void* target, const void* source, const TypeInfo& map_type);
void free_nested_maps(void* map, const TypeInfo& map_type) noexcept;
}  // namespace detail

// Distinct elements kept in ascending order. Built from a list by `from_list`, which sorts with
// a stable sort and keeps the last of each run of equal elements; copying copies the elements
// in order without comparing them.
template <class T>
class OrderedSet {
 public:
  OrderedSet() = default;
  template <class Compare>
  static OrderedSet from_list(std::vector<T> items, Compare compare) {
    OrderedSet set;
    set.items_ = detail::sorted_keeping_last(std::move(items), compare);
    return set;
  }
  const std::vector<T>& items() const noexcept { return items_; }
  bool empty() const noexcept { return items_.empty(); }
  std::size_t size() const noexcept { return items_.size(); }
  auto begin() const noexcept { return items_.begin(); }
  auto end() const noexcept { return items_.end(); }

 private:
  friend struct detail::ContainerAccess<OrderedSet>;
  std::vector<T> items_;
};

// Entries with unique keys in ascending key order.
//
// A map of records that hold the same map (kHoldsItselfThroughMaps) is copied, copy-assigned and
// destroyed by the engine at any depth; every other map keeps the vector's own members.
template <class K, class V>
class OrderedMap {
  static constexpr bool kNested = detail::kHoldsItselfThroughMaps<V>;

 public:
  using Entry = std::pair<K, V>;
  OrderedMap() = default;
  OrderedMap(const OrderedMap&) requires(!kNested) = default;
  OrderedMap(const OrderedMap& other) requires(kNested);
  OrderedMap(OrderedMap&&) noexcept = default;
  OrderedMap& operator=(const OrderedMap&) requires(!kNested) = default;
  OrderedMap& operator=(const OrderedMap& other) requires(kNested);
  OrderedMap& operator=(OrderedMap&&) noexcept = default;
  ~OrderedMap() requires(!kNested) = default;
  ~OrderedMap() requires(kNested);

  // Sorts the entries by key; of entries with equal keys the last one given is kept.
  static OrderedMap from_entries(std::vector<Entry> entries) {
    OrderedMap map;
    map.entries_ = detail::sorted_keeping_last(
        std::move(entries), [](const Entry& a, const Entry& b) { return compare_key(a.first, b.first); });
    return map;
  }
  const std::vector<Entry>& entries() const noexcept { return entries_; }
  bool empty() const noexcept { return entries_.empty(); }
  std::size_t size() const noexcept { return entries_.size(); }
  auto begin() const noexcept { return entries_.begin(); }
  auto end() const noexcept { return entries_.end(); }

 private:
  friend struct detail::ContainerAccess<OrderedMap>;
  std::vector<Entry> entries_;
  [[no_unique_address]] std::conditional_t<kNested, detail::MapLink, detail::NoMapLink> link_;
};

namespace detail {

// The storage of every generated enum class: the value's index, and the text of an unknown value
// (whose index is the count of named values). The engine reads it through this class alone.
class EnumValue {
 public:
  // Map keys: declaration order, unknown values after the named ones, by text.
  friend std::strong_ordering compare_key(const EnumValue& a, const EnumValue& b) noexcept {
    if (a.index_ != b.index_) return a.index_ <=> b.index_;
    return a.unknown_.compare(b.unknown_) <=> 0;
  }

  constexpr EnumValue() noexcept = default;
  constexpr explicit EnumValue(std::uint8_t index) noexcept : index_(index) {}

 protected:
  friend struct Engine;
  std::uint8_t index_ = 0;
  std::string unknown_;
};

// The base of every generated enum class `Enum`, which lists its `Value`s, `kNames` and
// `kValueCount`. A default-constructed enum holds the first value (the engine copies into it).
template <class Enum>
class EnumBase : public EnumValue {
 public:
  using EnumValue::EnumValue;
  auto value() const noexcept { return static_cast<typename Enum::Value>(index_); }
  // The value's name, or the text of an unknown value.
  std::string_view name() const noexcept {
    return index_ < Enum::kValueCount ? Enum::kNames[index_] : std::string_view(unknown_);
  }
  // The unknown value that keeps `text`.
  static Enum unknown(Variant text) {
    Enum result;
    result.index_ = static_cast<std::uint8_t>(Enum::kValueCount);
    result.unknown_ = text.text();
    return result;
  }
};

// -- Engine tables of scalars and containers.

template <class T, Shape kShape>
inline constexpr TypeInfo kScalarInfo = type_info<T, true>(kShape);

template <>
struct TypeOf<bool> {
  static constexpr const TypeInfo& info = kScalarInfo<bool, Shape::boolean>;
};
template <>
struct TypeOf<std::int32_t> {
  static constexpr const TypeInfo& info = kScalarInfo<std::int32_t, Shape::i32>;
};
template <>
struct TypeOf<std::int64_t> {
  static constexpr const TypeInfo& info = kScalarInfo<std::int64_t, Shape::i64>;
};
template <>
struct TypeOf<double> {
  static constexpr const TypeInfo& info = kScalarInfo<double, Shape::f64>;
};
template <>
struct TypeOf<std::string> {
  static constexpr const TypeInfo& info = kScalarInfo<std::string, Shape::string>;
};

// Element storage of each container, for the engine.
template <class T>
struct ContainerAccess<std::vector<T>> {
  static std::vector<T>& elements(std::vector<T>& v) noexcept { return v; }
  static const std::vector<T>& elements(const std::vector<T>& v) noexcept { return v; }
};
template <class T>
struct ContainerAccess<OrderedSet<T>> {
  static std::vector<T>& elements(OrderedSet<T>& s) noexcept { return s.items_; }
  static const std::vector<T>& elements(const OrderedSet<T>& s) noexcept { return s.items_; }
};
template <class K, class V>
struct ContainerAccess<OrderedMap<K, V>> {
  static std::vector<std::pair<K, V>>& elements(OrderedMap<K, V>& m) noexcept { return m.entries_; }
  static const std::vector<std::pair<K, V>>& elements(const OrderedMap<K, V>& m) noexcept { return m.entries_; }
  static std::uintptr_t* link(OrderedMap<K, V>& m) noexcept requires(kHoldsItselfThroughMaps<V>) {
    return &m.link_.word;
  }
};

// Lists, sets and maps: a vector of elements (of a map: of key-value pairs).
template <class C, bool kMap>
struct SequenceOps {
  using Access = ContainerAccess<C>;
  using Elements = std::remove_cvref_t<decltype(Access::elements(std::declval<C&>()))>;
  using Element = typename Elements::value_type;
  static std::size_t size(const void* c) noexcept { return Access::elements(*static_cast<const C*>(c)).size(); }
  static const void* data(const void* c) noexcept { return Access::elements(*static_cast<const C*>(c)).data(); }
  static void fill_default(void* c, std::size_t count) { Access::elements(*static_cast<C*>(c)).resize(count); }
  // A map whose records hold the map has a link word (kHoldsItselfThroughMaps).
  static constexpr bool kLinked = requires(C& c) { Access::link(c); };
  static std::uintptr_t* link(void* c) noexcept {
    if constexpr (kLinked) {
      return Access::link(*static_cast<C*>(c));
    } else {
      return nullptr;
    }
  }
  static void clear(void* c) noexcept { Elements().swap(Access::elements(*static_cast<C*>(c))); }
  // A pair lays out `first`, then `second` at the next offset aligned for it.
  static constexpr std::uint32_t value_offset() noexcept {
    if constexpr (kMap) {
      constexpr std::size_t align = alignof(typename Element::second_type);
      return static_cast<std::uint32_t>((sizeof(typename Element::first_type) + align - 1) / align * align);
    } else {
      return 0;
    }
  }
  static constexpr ContainerOps ops{&size, &data, sizeof(Element), value_offset(), &fill_default,
                                    kMap ? '{' : '[', kMap ? '}' : ']', kLinked ? &link : nullptr,
                                    kLinked ? &clear : nullptr};
};

template <class T>
struct OptionalOps {
  static std::size_t size(const void* c) noexcept { return static_cast<const std::optional<T>*>(c)->has_value(); }
  static const void* data(const void* c) noexcept {
    const auto& optional = *static_cast<const std::optional<T>*>(c);
    return optional ? &*optional : nullptr;
  }
  static void fill_default(void* c, std::size_t) { static_cast<std::optional<T>*>(c)->emplace(); }
  static constexpr ContainerOps ops{&size, &data, 0, 0, &fill_default, '\0', '\0', nullptr, nullptr};
};

template <class T>
struct TypeOf<std::vector<T>> {
  static constexpr TypeInfo info = type_info_of<std::vector<T>>(ContainerInfo{&SequenceOps<std::vector<T>, false>::ops, &TypeOf<T>::info, nullptr});
};
template <class T>
struct TypeOf<OrderedSet<T>> {
  static constexpr TypeInfo info = type_info_of<OrderedSet<T>>(ContainerInfo{&SequenceOps<OrderedSet<T>, false>::ops, &TypeOf<T>::info, nullptr});
};
template <class K, class V>
struct TypeOf<OrderedMap<K, V>> {
  static constexpr TypeInfo info = type_info_of<OrderedMap<K, V>>(ContainerInfo{&SequenceOps<OrderedMap<K, V>, true>::ops, &TypeOf<V>::info, &TypeOf<K>::info});
};
template <class T>
struct TypeOf<std::optional<T>> {
  static constexpr TypeInfo info = type_info_of<std::optional<T>>(ContainerInfo{&OptionalOps<T>::ops, &TypeOf<T>::info, nullptr});
};

// Hand-written types with their own copy and writer.
template <class T>
struct OpaqueOps {
  static void copy_assign(void* target, const void* source) { *static_cast<T*>(target) = *static_cast<const T*>(source); }
  static void write(void* buffer, const void* value) {
    write_json(*static_cast<json::Buffer*>(buffer), *static_cast<const T*>(value));
  }
};
template <class T>
inline constexpr OpaqueInfo kOpaqueInfo{&OpaqueOps<T>::copy_assign, &OpaqueOps<T>::write};
template <>
struct TypeOf<UnknownVariant> {
  static constexpr TypeInfo info = type_info_of<UnknownVariant>(kOpaqueInfo<UnknownVariant>);
};
template <>
struct TypeOf<Any> {
  static constexpr TypeInfo info = type_info_of<Any>(kOpaqueInfo<Any>);
};
// Empty is a record without fields.
template <>
struct TypeOf<Empty> {
  static constexpr TypeInfo info = type_info_of<Empty, true>(RecordInfo{0, 0, true, nullptr});
};

}  // namespace detail

template <class K, class V>
OrderedMap<K, V>::OrderedMap(const OrderedMap& other) requires(kNested) : OrderedMap() {
  // Constructed once the delegated constructor returns: a copy that runs out of memory part-way
  // is freed by the destructor.
  detail::copy_nested_maps(this, &other, detail::TypeOf<OrderedMap>::info);
}

template <class K, class V>
OrderedMap<K, V>& OrderedMap<K, V>::operator=(const OrderedMap& other) requires(kNested) {
  // Copied first, so that `other` may be part of this map; the old entries go with `copy`.
  OrderedMap copy(other);
  entries_.swap(copy.entries_);
  return *this;
}

template <class K, class V>
OrderedMap<K, V>::~OrderedMap() requires(kNested) {
  // Empties the maps nested in the entries first; the entries then go without nesting.
  detail::free_nested_maps(this, detail::TypeOf<OrderedMap>::info);
}

}  // namespace veltrix_compute
