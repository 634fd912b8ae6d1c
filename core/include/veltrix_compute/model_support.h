// Hand-written building blocks of the generated object model (model.h).
//
// Conventions every generated type follows:
// - Records are plain structs whose members are named exactly like their JSON keys; a name that
//   is a C++ keyword or a standard macro gets a trailing underscore (`not_`, `default_`,
//   `INFINITY_`). Optional fields are std::optional, lists std::vector, sets OrderedSet, maps
//   OrderedMap. Records hold their record and union children by value.
// - A union is a 16-byte handle: a kind, the depth of its tree, and its payload, which lives in a
//   heap cell of its own (doubles, integers and booleans are kept inline). So every union-typed
//   field or element is a child in its own heap cell, and every path by which a type contains
//   itself passes through one. Moving a union moves the pointer; copying copies the whole tree.
// - Variants are reached by name (`as_add()`), never by payload type, since several variants
//   may share one payload type.
// - The depth of a union value is 1 + the greatest depth among the unions inside its payload.
//   It is fixed at construction, so a caller can tell before copying or writing a tree how deep
//   the recursion will go (the Python module checks it against the thread's stack).
// - Freeing never recurses deeper than kMaxNestedReleases levels: deeper payloads are queued and
//   freed by the outermost release, so a tree of any depth can be freed on any thread.
#pragma once

#include <algorithm>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "veltrix_compute/any.h"
#include "veltrix_compute/cell_memory.h"
#include "veltrix_compute/json_writer.h"
#include "veltrix_compute/sorted_keeping_last.h"

namespace veltrix_compute {

// A variant without data; written as {}.
struct Empty {};
inline void write_json(json::Buffer& out, const Empty&) { out.literal("{}"); }
inline std::uint32_t depth_of(const Empty&) noexcept { return 0; }

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
  std::vector<T> items_;
};

// Entries with unique keys in ascending key order.
template <class K, class V>
class OrderedMap {
 public:
  using Entry = std::pair<K, V>;
  OrderedMap() = default;
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
  std::vector<Entry> entries_;
};

namespace detail {

// How deep frees may nest before further payloads are queued (see the header comment).
inline constexpr int kMaxNestedReleases = 64;

using PayloadDeleter = void (*)(std::uint8_t kind, void* payload) noexcept;

// Frees one union payload through `deleter`, bounding the recursion of nested frees.
void release_payload(PayloadDeleter deleter, std::uint8_t kind, void* payload) noexcept;

// A union payload in a cell of its own (cell_memory.h), and its destruction.
template <class T, class... Args>
T* new_in_cell(Args&&... args) {
  static_assert(alignof(T) <= kCellAlignment);
  void* cell = allocate_cell(sizeof(T));
  try {
    return ::new (cell) T(std::forward<Args>(args)...);
  } catch (...) {
    release_cell(cell, sizeof(T));
    throw;
  }
}
template <class T>
void delete_in_cell(T* payload) noexcept {
  payload->~T();
  release_cell(payload, sizeof(T));
}

// Depth of the deepest union among the children of a record, list, set or map.
inline std::uint32_t depth_of_value(bool) noexcept { return 0; }
inline std::uint32_t depth_of_value(std::int32_t) noexcept { return 0; }
inline std::uint32_t depth_of_value(std::int64_t) noexcept { return 0; }
inline std::uint32_t depth_of_value(double) noexcept { return 0; }
inline std::uint32_t depth_of_value(const std::string&) noexcept { return 0; }
// Declared together first, so that each overload can call every other one.
template <class T>
std::uint32_t depth_of_value(const T& value) noexcept;
template <class T>
std::uint32_t depth_of_value(const std::optional<T>& value) noexcept;
template <class T>
std::uint32_t depth_of_value(const std::vector<T>& items) noexcept;
template <class T>
std::uint32_t depth_of_value(const OrderedSet<T>& set) noexcept;
template <class K, class V>
std::uint32_t depth_of_value(const OrderedMap<K, V>& map) noexcept;

template <class T>
std::uint32_t depth_of_value(const T& value) noexcept {
  return depth_of(value);
}
template <class T>
std::uint32_t depth_of_value(const std::optional<T>& value) noexcept {
  return value ? depth_of_value(*value) : 0;
}
template <class T>
std::uint32_t depth_of_value(const std::vector<T>& items) noexcept {
  std::uint32_t depth = 0;
  for (const T& item : items) depth = std::max(depth, depth_of_value(item));
  return depth;
}
template <class T>
std::uint32_t depth_of_value(const OrderedSet<T>& set) noexcept {
  return depth_of_value(set.items());
}
template <class K, class V>
std::uint32_t depth_of_value(const OrderedMap<K, V>& map) noexcept {
  std::uint32_t depth = 0;
  for (const auto& entry : map) depth = std::max(depth, depth_of_value(entry.second));
  return depth;
}

}  // namespace detail

namespace json {

// Values of the record field forms. Records decide what is left out; these only write.
template <class T>
void write_value(Buffer& out, const T& value);
template <class T>
void write_value(Buffer& out, const std::vector<T>& items);
template <class T>
void write_value(Buffer& out, const OrderedSet<T>& set);
template <class K, class V>
void write_value(Buffer& out, const OrderedMap<K, V>& map);

template <class T>
void write_value(Buffer& out, const T& value) {
  write_json(out, value);
}
template <class T>
void write_value(Buffer& out, const std::vector<T>& items) {
  out.put('[');
  bool first = true;
  for (const T& item : items) {
    if (!first) out.put(',');
    first = false;
    write_value(out, item);
  }
  out.put(']');
}
template <class T>
void write_value(Buffer& out, const OrderedSet<T>& set) {
  write_value(out, set.items());
}
template <class K, class V>
void write_value(Buffer& out, const OrderedMap<K, V>& map) {
  out.put('{');
  bool first = true;
  for (const auto& [key, value] : map) {
    if (!first) out.put(',');
    first = false;
    write_key(out, key);
    out.put(':');
    write_value(out, value);
  }
  out.put('}');
}

// Record members by form.
template <std::size_t N, class T>
void required(ObjectWriter& object, const char (&key)[N], const T& value) {
  object.key(key);
  write_value(object.out(), value);
}
template <std::size_t N, class T>
void optional(ObjectWriter& object, const char (&key)[N], const std::optional<T>& value) {
  if (!value) return;
  object.key(key);
  write_value(object.out(), *value);
}
// Lists, sets and maps are left out when empty.
template <std::size_t N, class C>
void collection(ObjectWriter& object, const char (&key)[N], const C& value) {
  if (value.empty()) return;
  object.key(key);
  write_value(object.out(), value);
}

}  // namespace json

// The JSON text of a value, or the writer's refusal.
struct JsonText {
  std::string text;
  const char* error = nullptr;  // static message when the writer refused the value
};

template <class T>
JsonText to_json_text(const T& value) {
  json::Buffer buffer;
  try {
    json::write_value(buffer, value);
  } catch (const json::WriteError& refusal) {
    return {std::string(), refusal.what()};
  }
  return {std::string(buffer.view()), nullptr};
}

// Writes into `buffer` (which must be empty) and returns the refusal's message, or nullptr.
template <class T>
const char* write_json_into(json::Buffer& buffer, const T& value) {
  try {
    json::write_value(buffer, value);
  } catch (const json::WriteError& refusal) {
    return refusal.what();
  }
  return nullptr;
}

}  // namespace veltrix_compute
