// The compact JSON writer shared by every type of the object model.
//
// Writing is one pass into a growable byte buffer: each type appends its own text, with no
// intermediate tree and no sizing pass. Nothing here can fail except for lack of memory
// (std::bad_alloc); the one refusal a value can cause, a map key of an `Any` that cannot be an
// object key, is thrown as `WriteError` and caught by `write_json_into` (model_support.h).
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>

namespace veltrix_compute::json {

// A refusal of the writer. `message` is static text, so throwing allocates nothing beyond the
// exception object itself.
class WriteError : public std::exception {
 public:
  explicit WriteError(const char* message) noexcept : message_(message) {}
  const char* what() const noexcept override { return message_; }

 private:
  const char* message_;
};

// Growable output buffer. `reserve(n)` makes room for n more bytes and returns the write
// position; `commit(end)` records how far a caller wrote through that pointer.
//
// The first kInitialCapacity bytes live inside the buffer itself, so a buffer on the stack writes
// a short text without touching the heap; past them the text moves to the heap and doubles from
// there. 512 bytes hold the text of a short expression (a head(10) of a reference writes 142);
// the 13-operation expression of bench/bench.py writes 1,023 and so moves to the heap once.
class Buffer {
 public:
  static constexpr std::size_t kInitialCapacity = 512;

  Buffer() noexcept : data_(inline_), capacity_(kInitialCapacity) {}
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;
  ~Buffer() {
    if (data_ != inline_) std::free(data_);
  }

  char* reserve(std::size_t n) {
    if (capacity_ - size_ < n) grow(n);
    return data_ + size_;
  }
  void commit(char* end) noexcept { size_ = static_cast<std::size_t>(end - data_); }

  void put(char c) { *reserve(1) = c; ++size_; }
  void append(const char* text, std::size_t n) {
    std::memcpy(reserve(n), text, n);
    size_ += n;
  }
  void append(std::string_view text) { append(text.data(), text.size()); }
  // A string literal, copied without measuring it at run time.
  template <std::size_t N>
  void literal(const char (&text)[N]) {
    append(text, N - 1);
  }

  const char* data() const noexcept { return data_; }
  std::size_t size() const noexcept { return size_; }
  std::string_view view() const noexcept { return {data_, size_}; }

 private:
  void grow(std::size_t needed);

  char* data_;
  std::size_t size_ = 0;
  std::size_t capacity_;
  char inline_[kInitialCapacity];
};

// An integer of any width (128-bit ones included) as plain decimal.
template <class Integer>
void write_integer(Buffer& out, Integer value) {
  // A sign and at most 3 digits per byte: 20 bytes hold any 64-bit value, 40 any 128-bit one.
  constexpr std::size_t kLongest = 1 + 3 * sizeof(Integer);
  char* at = out.reserve(kLongest);
  out.commit(std::to_chars(at, at + kLongest, value).ptr);
}

// Scalars. Integers as plain decimal; doubles as the shortest text that reads back to the same
// value, always with a "." or an exponent; NaN and the infinities as null.
void write_json(Buffer& out, bool value);
void write_json(Buffer& out, std::int32_t value);
void write_json(Buffer& out, std::int64_t value);
void write_json(Buffer& out, double value);
// The 32-bit float form used only inside `Any`: 9 significant digits at most, and the plain
// layout for decimal exponents -6..12 instead of -5..15.
void write_float32(Buffer& out, float value);
void write_json(Buffer& out, std::string_view text);
inline void write_json(Buffer& out, const std::string& text) { write_json(out, std::string_view(text)); }

}  // namespace veltrix_compute::json
