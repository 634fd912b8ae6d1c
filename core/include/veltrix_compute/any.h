// `Any`: the generic JSON-like value carried by the `Unknown` variant of every union, and
// `Variant`, the checked text that an enum keeps for a value outside its closed list.
//
// Nothing about an `Any` recurses on the call stack: freeing, copying, comparing and writing
// walk nested sequences and maps with loops, so a value of any depth is safe on any thread.
// Freeing needs no memory at all (the containers still to free are chained through their own
// heap cells); copying, comparing and writing keep a work stack on the heap, one small entry per
// open level. Comparison is noexcept, so running out of memory for that stack ends the process,
// as any other failed allocation in a noexcept function would.
#pragma once

#include <compare>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "veltrix_compute/json_writer.h"

namespace veltrix_compute {

class Any {
 public:
  // The kinds in their numbered order; the number orders values of different kinds.
  enum class Kind : std::uint8_t {
    null, bool_, i8, i16, i32, i64, i128, u8, u16, u32, u64, u128, f32, f64, char_, string, bytes, sequence, map
  };
  using Sequence = std::vector<Any>;
  // Entries in ascending key order, keys unique.
  using Map = std::vector<std::pair<Any, Any>>;

  Any() noexcept;  // null
  static Any from_bool(bool value);
  static Any from_i8(std::int8_t value);
  static Any from_i16(std::int16_t value);
  static Any from_i32(std::int32_t value);
  static Any from_i64(std::int64_t value);
  static Any from_i128(__int128 value);
  static Any from_u8(std::uint8_t value);
  static Any from_u16(std::uint16_t value);
  static Any from_u32(std::uint32_t value);
  static Any from_u64(std::uint64_t value);
  static Any from_u128(unsigned __int128 value);
  static Any from_f32(float value);
  static Any from_f64(double value);
  // A code point outside the Unicode scalar values is written as U+FFFD.
  static Any from_char(char32_t code_point);
  static Any from_string(std::string text);
  static Any from_bytes(std::vector<std::uint8_t> bytes);
  static Any from_sequence(Sequence items);
  // Sorts the entries by key; of entries with equal keys the last one is kept.
  static Any from_map(Map entries);

  Any(const Any& other);
  Any(Any&& other) noexcept;
  Any& operator=(const Any& other);
  Any& operator=(Any&& other) noexcept;
  ~Any();

  Kind kind() const noexcept { return kind_; }
  const Sequence& sequence() const;  // precondition: kind() == Kind::sequence
  const Map& map() const;            // precondition: kind() == Kind::map

 private:
  friend bool operator==(const Any& a, const Any& b) noexcept;
  friend std::strong_ordering operator<=>(const Any& a, const Any& b) noexcept;
  friend void write_json(json::Buffer& out, const Any& value);
  friend void write_key(json::Buffer& out, const Any& key);
  friend struct AnyAccess;

  // The heap cell of a sequence or a map. `next` links cells waiting to be freed.
  struct Cell {
    Cell* next = nullptr;
    bool is_map;
  };
  struct SequenceCell;
  struct MapCell;

  // The storage starts zeroed, so a payload allocation that throws leaves a null pointer behind
  // for the destructor.
  explicit Any(Kind kind) noexcept : kind_(kind), storage_() {}
  bool is_container() const noexcept { return kind_ == Kind::sequence || kind_ == Kind::map; }
  void destroy() noexcept;

  Kind kind_;
  union Storage {
    bool flag;
    __int128 signed_value;             // i8 .. i128
    unsigned __int128 unsigned_value;  // u8 .. u128
    float f32;
    double f64;
    char32_t code_point;
    std::string* text;                  // string
    std::vector<std::uint8_t>* bytes;   // bytes
    SequenceCell* sequence;
    MapCell* map;
  } storage_;
};

// Equality and total order: kind number first; NaN equals NaN and sorts above +inf; -0.0 equals
// 0.0; strings and bytes byte-wise with a proper prefix first; sequences and maps element-wise.
bool operator==(const Any& a, const Any& b) noexcept;
std::strong_ordering operator<=>(const Any& a, const Any& b) noexcept;

// Throws json::WriteError for a map key that cannot be an object key.
void write_json(json::Buffer& out, const Any& value);
void write_key(json::Buffer& out, const Any& key);

// A non-empty text of 'A'-'Z', '0'-'9' and '_' only.
class Variant {
 public:
  static std::optional<Variant> from_str(std::string_view text);
  const std::string& text() const noexcept { return text_; }

 private:
  explicit Variant(std::string text) : text_(std::move(text)) {}
  std::string text_;
};

namespace detail {

// The UTF-8 bytes of one code point, written into `text`; anything that is not a Unicode scalar
// value (a surrogate, or above U+10FFFF) gives U+FFFD.
std::string_view encode_utf8(char32_t code_point, char (&text)[4]) noexcept;

}  // namespace detail
}  // namespace veltrix_compute
