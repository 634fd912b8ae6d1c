#include "veltrix_compute/any.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "veltrix_compute/sorted_keeping_last.h"

namespace veltrix_compute {

struct Any::SequenceCell : Cell {
  SequenceCell() noexcept : Cell{nullptr, false} {}
  Sequence items;
};
struct Any::MapCell : Cell {
  MapCell() noexcept : Cell{nullptr, true} {}
  Map entries;
};

// The private parts that the free functions and loops below need, kept in one place.
struct AnyAccess {
  using Kind = Any::Kind;

  static Any make(Kind kind) noexcept { return Any(kind); }
  static Any::Storage& storage(Any& value) noexcept { return value.storage_; }
  static const Any::Storage& storage(const Any& value) noexcept { return value.storage_; }
  static bool is_container(const Any& value) noexcept { return value.is_container(); }

  // The children of a map alternate key, value, key, value...
  static std::size_t child_count(const Any& value) noexcept {
    return value.kind_ == Kind::sequence ? value.storage_.sequence->items.size()
                                         : value.storage_.map->entries.size() * 2;
  }
  template <class A>
  static A& child(A& value, std::size_t index) noexcept {
    if (value.kind_ == Kind::sequence) return value.storage_.sequence->items[index];
    auto& entry = value.storage_.map->entries[index / 2];
    return index % 2 == 0 ? entry.first : entry.second;
  }

  // A copy of everything but the elements: a container comes back holding as many nulls.
  static Any copy_node(const Any& source) {
    Any copy(source.kind_);
    switch (source.kind_) {
      case Kind::string:
        copy.storage_.text = new std::string(*source.storage_.text);
        break;
      case Kind::bytes:
        copy.storage_.bytes = new std::vector<std::uint8_t>(*source.storage_.bytes);
        break;
      case Kind::sequence:
        copy.storage_.sequence = new Any::SequenceCell;
        copy.storage_.sequence->items.resize(source.storage_.sequence->items.size());
        break;
      case Kind::map:
        copy.storage_.map = new Any::MapCell;
        copy.storage_.map->entries.resize(source.storage_.map->entries.size());
        break;
      default:
        // Scalars are copied with all their bits, so a NaN keeps its payload and -0.0 its sign.
        copy.storage_ = source.storage_;
    }
    return copy;
  }
};

namespace {

using Kind = Any::Kind;

Any make_signed(Kind kind, __int128 value) noexcept {
  Any any = AnyAccess::make(kind);
  AnyAccess::storage(any).signed_value = value;
  return any;
}

Any make_unsigned(Kind kind, unsigned __int128 value) noexcept {
  Any any = AnyAccess::make(kind);
  AnyAccess::storage(any).unsigned_value = value;
  return any;
}

bool is_signed_integer(Kind kind) noexcept { return kind >= Kind::i8 && kind <= Kind::i128; }
bool is_unsigned_integer(Kind kind) noexcept { return kind >= Kind::u8 && kind <= Kind::u128; }

}  // namespace

Any::Any() noexcept : kind_(Kind::null), storage_() {}

Any Any::from_bool(bool value) {
  Any any(Kind::bool_);
  any.storage_.flag = value;
  return any;
}
Any Any::from_i8(std::int8_t value) { return make_signed(Kind::i8, value); }
Any Any::from_i16(std::int16_t value) { return make_signed(Kind::i16, value); }
Any Any::from_i32(std::int32_t value) { return make_signed(Kind::i32, value); }
Any Any::from_i64(std::int64_t value) { return make_signed(Kind::i64, value); }
Any Any::from_i128(__int128 value) { return make_signed(Kind::i128, value); }
Any Any::from_u8(std::uint8_t value) { return make_unsigned(Kind::u8, value); }
Any Any::from_u16(std::uint16_t value) { return make_unsigned(Kind::u16, value); }
Any Any::from_u32(std::uint32_t value) { return make_unsigned(Kind::u32, value); }
Any Any::from_u64(std::uint64_t value) { return make_unsigned(Kind::u64, value); }
Any Any::from_u128(unsigned __int128 value) { return make_unsigned(Kind::u128, value); }
Any Any::from_f32(float value) {
  Any any(Kind::f32);
  any.storage_.f32 = value;
  return any;
}
Any Any::from_f64(double value) {
  Any any(Kind::f64);
  any.storage_.f64 = value;
  return any;
}
Any Any::from_char(char32_t code_point) {
  Any any(Kind::char_);
  any.storage_.code_point = code_point;
  return any;
}
Any Any::from_string(std::string text) {
  Any any(Kind::string);
  any.storage_.text = new std::string(std::move(text));
  return any;
}
Any Any::from_bytes(std::vector<std::uint8_t> bytes) {
  Any any(Kind::bytes);
  any.storage_.bytes = new std::vector<std::uint8_t>(std::move(bytes));
  return any;
}
Any Any::from_sequence(Sequence items) {
  Any any(Kind::sequence);
  any.storage_.sequence = new SequenceCell;
  any.storage_.sequence->items = std::move(items);
  return any;
}
Any Any::from_map(Map entries) {
  Map unique = detail::sorted_keeping_last(
      std::move(entries), [](const Map::value_type& a, const Map::value_type& b) { return a.first <=> b.first; });
  Any any(Kind::map);
  any.storage_.map = new MapCell;
  any.storage_.map->entries = std::move(unique);
  return any;
}

Any::Any(const Any& other) : Any() {
  Any root = AnyAccess::copy_node(other);
  if (root.is_container()) {
    // Each pair is a source container and its copy, whose elements are still nulls. The copies'
    // element vectors never change size, so the pointers stay valid.
    std::vector<std::pair<const Any*, Any*>> pending{{&other, &root}};
    while (!pending.empty()) {
      auto [source, copy] = pending.back();
      pending.pop_back();
      const std::size_t count = AnyAccess::child_count(*source);
      for (std::size_t i = 0; i < count; ++i) {
        const Any& from = AnyAccess::child(*source, i);
        Any& to = AnyAccess::child(*copy, i);
        to = AnyAccess::copy_node(from);
        if (to.is_container()) pending.emplace_back(&from, &to);
      }
    }
  }
  *this = std::move(root);
}

Any::Any(Any&& other) noexcept : kind_(other.kind_), storage_(other.storage_) { other.kind_ = Kind::null; }

Any& Any::operator=(const Any& other) {
  if (this != &other) *this = Any(other);
  return *this;
}

Any& Any::operator=(Any&& other) noexcept {
  if (this != &other) {
    // Take the new content before freeing the old, which may contain `other`.
    const Kind kind = other.kind_;
    const Storage storage = other.storage_;
    other.kind_ = Kind::null;
    destroy();
    kind_ = kind;
    storage_ = storage;
  }
  return *this;
}

Any::~Any() { destroy(); }

void Any::destroy() noexcept {
  switch (kind_) {
    case Kind::string:
      delete storage_.text;
      break;
    case Kind::bytes:
      delete storage_.bytes;
      break;
    case Kind::sequence:
    case Kind::map: {
      // Containers found inside a cell are unhooked from their element (which becomes null) and
      // chained for a later turn of the loop, so each cell is freed with shallow elements only.
      Cell* pending = kind_ == Kind::sequence ? static_cast<Cell*>(storage_.sequence) : storage_.map;
      // No cell when allocating it threw (copy_node, from_sequence, from_map).
      if (pending == nullptr) break;
      pending->next = nullptr;
      auto unhook = [&pending](Any& element) {
        if (!element.is_container()) return;
        Cell* cell = element.kind_ == Kind::sequence ? static_cast<Cell*>(element.storage_.sequence)
                                                     : element.storage_.map;
        cell->next = pending;
        pending = cell;
        element.kind_ = Kind::null;
      };
      while (pending != nullptr) {
        Cell* cell = pending;
        pending = cell->next;
        if (cell->is_map) {
          auto* map = static_cast<MapCell*>(cell);
          for (auto& [key, value] : map->entries) {
            unhook(key);
            unhook(value);
          }
          delete map;
        } else {
          auto* sequence = static_cast<SequenceCell*>(cell);
          for (Any& item : sequence->items) unhook(item);
          delete sequence;
        }
      }
      break;
    }
    default:
      break;
  }
  kind_ = Kind::null;
}

const Any::Sequence& Any::sequence() const { return storage_.sequence->items; }
const Any::Map& Any::map() const { return storage_.map->entries; }

namespace {

template <class Float>
std::strong_ordering compare_float(Float a, Float b) noexcept {
  const bool a_nan = std::isnan(a);
  const bool b_nan = std::isnan(b);
  if (a_nan || b_nan) return a_nan <=> b_nan;  // NaN above every number, equal to every NaN
  if (a < b) return std::strong_ordering::less;
  if (b < a) return std::strong_ordering::greater;
  return std::strong_ordering::equal;
}

template <class Bytes>
std::strong_ordering compare_bytes(const Bytes& a, const Bytes& b) noexcept {
  return std::lexicographical_compare_three_way(
      a.begin(), a.end(), b.begin(), b.end(),
      [](auto x, auto y) { return static_cast<unsigned char>(x) <=> static_cast<unsigned char>(y); });
}

// Compares all but the elements of two values; two containers of one kind compare equal here.
std::strong_ordering compare_node(const Any& a, const Any& b) noexcept {
  if (a.kind() != b.kind()) return a.kind() <=> b.kind();
  const auto& x = AnyAccess::storage(a);
  const auto& y = AnyAccess::storage(b);
  const Kind kind = a.kind();
  if (is_signed_integer(kind)) return x.signed_value <=> y.signed_value;
  if (is_unsigned_integer(kind)) return x.unsigned_value <=> y.unsigned_value;
  switch (kind) {
    case Kind::bool_:
      return x.flag <=> y.flag;
    case Kind::f32:
      return compare_float(x.f32, y.f32);
    case Kind::f64:
      return compare_float(x.f64, y.f64);
    case Kind::char_:
      return x.code_point <=> y.code_point;
    case Kind::string:
      return compare_bytes(*x.text, *y.text);
    case Kind::bytes:
      return compare_bytes(*x.bytes, *y.bytes);
    default:
      return std::strong_ordering::equal;
  }
}

}  // namespace

std::strong_ordering operator<=>(const Any& a, const Any& b) noexcept {
  std::strong_ordering order = compare_node(a, b);
  if (order != 0 || !AnyAccess::is_container(a)) return order;
  struct Level {
    const Any* a;
    const Any* b;
    std::size_t next;  // the child to compare next
  };
  std::vector<Level> levels{{&a, &b, 0}};
  while (!levels.empty()) {
    Level& level = levels.back();
    const std::size_t a_count = AnyAccess::child_count(*level.a);
    const std::size_t b_count = AnyAccess::child_count(*level.b);
    if (level.next == a_count || level.next == b_count) {
      // One ran out: the shorter one is less; equal lengths go on with the parent.
      if (a_count != b_count) return a_count <=> b_count;
      levels.pop_back();
      continue;
    }
    const Any& x = AnyAccess::child(*level.a, level.next);
    const Any& y = AnyAccess::child(*level.b, level.next);
    ++level.next;
    order = compare_node(x, y);
    if (order != 0) return order;
    if (AnyAccess::is_container(x)) levels.push_back({&x, &y, 0});
  }
  return std::strong_ordering::equal;
}

bool operator==(const Any& a, const Any& b) noexcept { return (a <=> b) == 0; }

std::string_view detail::encode_utf8(char32_t code_point, char (&text)[4]) noexcept {
  if (code_point > 0x10FFFF || (code_point >= 0xD800 && code_point <= 0xDFFF)) code_point = 0xFFFD;
  if (code_point < 0x80) {
    text[0] = static_cast<char>(code_point);
    return {text, 1};
  }
  if (code_point < 0x800) {
    text[0] = static_cast<char>(0xC0 | (code_point >> 6));
    text[1] = static_cast<char>(0x80 | (code_point & 0x3F));
    return {text, 2};
  }
  if (code_point < 0x10000) {
    text[0] = static_cast<char>(0xE0 | (code_point >> 12));
    text[1] = static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    text[2] = static_cast<char>(0x80 | (code_point & 0x3F));
    return {text, 3};
  }
  text[0] = static_cast<char>(0xF0 | (code_point >> 18));
  text[1] = static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
  text[2] = static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
  text[3] = static_cast<char>(0x80 | (code_point & 0x3F));
  return {text, 4};
}

namespace {

// Everything but sequences and maps.
void write_scalar(json::Buffer& out, const Any& value) {
  const auto& storage = AnyAccess::storage(value);
  const Kind kind = value.kind();
  if (is_signed_integer(kind)) return json::write_integer(out, storage.signed_value);
  if (is_unsigned_integer(kind)) return json::write_integer(out, storage.unsigned_value);
  switch (kind) {
    case Kind::null:
      out.literal("null");
      break;
    case Kind::bool_:
      json::write_json(out, storage.flag);
      break;
    case Kind::f32:
      json::write_float32(out, storage.f32);
      break;
    case Kind::f64:
      json::write_json(out, storage.f64);
      break;
    case Kind::char_: {
      char text[4];
      json::write_json(out, detail::encode_utf8(storage.code_point, text));
      break;
    }
    case Kind::string:
      json::write_json(out, *storage.text);
      break;
    case Kind::bytes: {
      out.put('[');
      bool first = true;
      for (std::uint8_t byte : *storage.bytes) {
        if (!first) out.put(',');
        first = false;
        json::write_integer(out, byte);
      }
      out.put(']');
      break;
    }
    default:
      break;
  }
}

}  // namespace

void write_json(json::Buffer& out, const Any& value) {
  if (!AnyAccess::is_container(value)) return write_scalar(out, value);
  struct Level {
    const Any* container;
    std::size_t next;  // the child to write next
  };
  std::vector<Level> levels;
  auto open = [&](const Any& container) {
    out.put(container.kind() == Kind::sequence ? '[' : '{');
    levels.push_back({&container, 0});
  };
  open(value);
  while (!levels.empty()) {
    Level& level = levels.back();
    const Any& container = *level.container;
    if (level.next == AnyAccess::child_count(container)) {
      out.put(container.kind() == Kind::sequence ? ']' : '}');
      levels.pop_back();
      continue;
    }
    if (level.next != 0) out.put(',');
    if (container.kind() == Kind::map) {
      // A key is never a container (write_key refuses those), so the key and its colon go out
      // together and the entry's value is the child written next.
      write_key(out, AnyAccess::child(container, level.next));
      out.put(':');
      ++level.next;
    }
    const Any& child = AnyAccess::child(container, level.next);
    ++level.next;
    if (AnyAccess::is_container(child)) {
      open(child);
    } else {
      write_scalar(out, child);
    }
  }
}

void write_key(json::Buffer& out, const Any& key) {
  const Kind kind = key.kind();
  if (kind == Kind::string || kind == Kind::char_) return write_scalar(out, key);
  const auto& storage = AnyAccess::storage(key);
  const bool is_float = kind == Kind::f32 || kind == Kind::f64;
  if (is_float && !(kind == Kind::f32 ? std::isfinite(storage.f32) : std::isfinite(storage.f64))) {
    throw json::WriteError("float key must be finite (got NaN or +/-inf)");
  }
  if (!is_float && kind != Kind::bool_ && !is_signed_integer(kind) && !is_unsigned_integer(kind)) {
    throw json::WriteError("key must be a string");
  }
  out.put('"');
  write_scalar(out, key);
  out.put('"');
}

std::optional<Variant> Variant::from_str(std::string_view text) {
  if (text.empty()) return std::nullopt;
  for (char c : text) {
    const bool allowed = c == '_' || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!allowed) return std::nullopt;
  }
  return Variant(std::string(text));
}

}  // namespace veltrix_compute
