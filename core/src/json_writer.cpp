#include "veltrix_compute/json_writer.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <new>

namespace veltrix_compute::json {

void Buffer::grow(std::size_t needed) {
  // Doubling keeps appends amortised O(1); realloc can often extend in place.
  std::size_t capacity = capacity_ * 2;
  if (capacity - size_ < needed) capacity = size_ + needed;
  char* data;
  if (data_ == inline_) {
    data = static_cast<char*>(std::malloc(capacity));
    if (data != nullptr) std::memcpy(data, inline_, size_);
  } else {
    data = static_cast<char*>(std::realloc(data_, capacity));
  }
  if (data == nullptr) throw std::bad_alloc();
  data_ = data;
  capacity_ = capacity;
}

void write_json(Buffer& out, bool value) {
  if (value) {
    out.literal("true");
  } else {
    out.literal("false");
  }
}

void write_json(Buffer& out, std::int32_t value) { write_integer(out, value); }
void write_json(Buffer& out, std::int64_t value) { write_integer(out, value); }

namespace {

// Lays out a finite, non-zero, positive value from std::to_chars' shortest scientific text,
// "d1[.d2...dn]e(+|-)XX[X]": the exponent E is read off the text's fixed-width tail, and the
// digits are copied straight from the text into their place. Plain notation is used for E in
// [plain_min, plain_max].
template <class Float>
void write_positive(Buffer& out, Float value, int plain_min, int plain_max) {
  // 1. The digits and E. to_chars writes at least two exponent digits and three only past 99.
  char text[32];
  const char* end = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific).ptr;
  const bool three_digit_exponent = end[-4] != 'e';
  const char* e = end - (three_digit_exponent ? 5 : 4);
  int exponent = (e[2] - '0') * 10 + (e[3] - '0');
  if (three_digit_exponent) exponent = exponent * 10 + (e[4] - '0');
  if (e[1] == '-') exponent = -exponent;
  const char* rest = text + 2;                                       // d2..dn
  const int n = e == text + 1 ? 1 : static_cast<int>(e - rest) + 1;  // count of digits

  // 2. Longest text: "0." + 5 zeros + 17 digits for E=-6..-1, 16 digits + ".0" for whole
  //    numbers, or "d.ddddddddddddddddde-324"; 32 bytes cover all of them.
  char* at = out.reserve(32);
  if (exponent >= 0 && exponent <= plain_max) {
    *at++ = text[0];
    if (n <= exponent + 1) {
      // A whole number: the digits, the zeros up to the units, then ".0".
      std::memcpy(at, rest, n - 1);
      at += n - 1;
      std::memset(at, '0', exponent + 1 - n);
      at += exponent + 1 - n;
      *at++ = '.';
      *at++ = '0';
    } else {
      std::memcpy(at, rest, exponent);
      at += exponent;
      *at++ = '.';
      std::memcpy(at, rest + exponent, n - 1 - exponent);
      at += n - 1 - exponent;
    }
  } else if (exponent < 0 && exponent >= plain_min) {
    *at++ = '0';
    *at++ = '.';
    std::memset(at, '0', -exponent - 1);
    at += -exponent - 1;
    *at++ = text[0];
    std::memcpy(at, rest, n - 1);
    at += n - 1;
  } else {
    // to_chars' own text up to the exponent's sign, then the exponent without a leading zero.
    std::memcpy(at, text, e + 2 - text);
    at += e + 2 - text;
    const char* digits = e[2] == '0' && !three_digit_exponent ? e + 3 : e + 2;
    std::memcpy(at, digits, end - digits);
    at += end - digits;
  }
  out.commit(at);
}

template <class Float>
void write_floating(Buffer& out, Float value, int plain_min, int plain_max) {
  if (!std::isfinite(value)) {
    out.literal("null");
    return;
  }
  if (std::signbit(value)) {
    out.put('-');
    value = -value;
  }
  if (value == 0) {
    out.literal("0.0");
    return;
  }
  write_positive(out, value, plain_min, plain_max);
}

// Escape of each byte: 0 means copied unchanged, 'u' means \u00xx, anything else is the letter
// after the backslash.
constexpr auto kEscapes = [] {
  struct Table {
    char code[256] = {};
  } table;
  for (int c = 0; c < 0x20; ++c) table.code[c] = 'u';
  table.code['\b'] = 'b';
  table.code['\t'] = 't';
  table.code['\n'] = 'n';
  table.code['\f'] = 'f';
  table.code['\r'] = 'r';
  table.code['"'] = '"';
  table.code['\\'] = '\\';
  return table;
}();

}  // namespace

void write_json(Buffer& out, double value) {
  // Whole numbers, common in definitions (bounds, windows, factors), skip the search for the
  // shortest digits: below 2^53 every integer is a double of its own, so the shortest text that
  // reads back as the value is the integer itself. Zero keeps the general path for its sign.
  constexpr double kExactIntegers = 9007199254740992.0;  // 2^53
  if (value > -kExactIntegers && value < kExactIntegers && value != 0) {
    const auto whole = static_cast<std::int64_t>(value);
    if (static_cast<double>(whole) == value) {
      char* at = out.reserve(24);  // "-9007199254740991.0" is 19
      at = std::to_chars(at, at + 22, whole).ptr;
      *at++ = '.';
      *at++ = '0';
      out.commit(at);
      return;
    }
  }
  write_floating(out, value, -5, 15);
}
void write_float32(Buffer& out, float value) { write_floating(out, value, -6, 12); }

namespace {

// The text from its first byte that needs an escape (at `first`) on, quoted.
[[gnu::noinline]] void write_escaped(Buffer& out, std::string_view text, std::size_t first) {
  // The exact length is counted first, so that the room taken is that of the output: reserving
  // for the worst case (every byte a 6-byte \u00xx) would need six times the text's length.
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  std::size_t length = size + 2;
  for (std::size_t i = first; i < size; ++i) {
    const char code = kEscapes.code[bytes[i]];
    if (code != 0) length += code == 'u' ? 5 : 1;
  }
  char* at = out.reserve(length);
  *at++ = '"';
  std::memcpy(at, text.data(), first);
  at += first;
  std::size_t run_start = first;
  for (std::size_t i = first; i < size; ++i) {
    const char code = kEscapes.code[bytes[i]];
    if (code == 0) continue;
    std::memcpy(at, text.data() + run_start, i - run_start);
    at += i - run_start;
    run_start = i + 1;
    *at++ = '\\';
    if (code == 'u') {
      static constexpr char kHex[] = "0123456789abcdef";
      *at++ = 'u';
      *at++ = '0';
      *at++ = '0';
      *at++ = kHex[bytes[i] >> 4];
      *at++ = kHex[bytes[i] & 0xF];
    } else {
      *at++ = code;
    }
  }
  std::memcpy(at, text.data() + run_start, size - run_start);
  at += size - run_start;
  *at++ = '"';
  out.commit(at);
}

}  // namespace

void write_json(Buffer& out, std::string_view text) {
  // Most texts (names, units) need no escape: one scan finds that, and they are copied whole.
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  for (std::size_t i = 0; i < size; ++i) {
    if (kEscapes.code[bytes[i]] != 0) {
      write_escaped(out, text, i);
      return;
    }
  }
  char* at = out.reserve(size + 2);
  *at++ = '"';
  std::memcpy(at, text.data(), size);
  at[size] = '"';
  out.commit(at + size + 1);
}

}  // namespace veltrix_compute::json
