#include "veltrix_compute/api_time_unit_reader.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace veltrix_compute {
namespace {

constexpr int kMaxNesting = 128;

// One JSON value, held whole before any attempt to match it.
struct JsonValue {
  enum class Type { null, boolean, number, string, array, object };
  Type type = Type::null;
  std::string text;              // a string's decoded bytes, or a number as written
  std::vector<JsonValue> items;  // array elements, or object member values
  std::vector<std::string> names;  // object member names, one per item
};

struct SyntaxError {
  std::string message;
};

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  JsonValue value(int depth) {
    skip_whitespace();
    if (at_end()) fail("EOF while parsing a value");
    switch (text_[pos_]) {
      case '"':
        return make(JsonValue::Type::string, string());
      case '[':
      case '{':
        return container(depth);
      case 't':
        return literal("true", JsonValue::Type::boolean);
      case 'f':
        return literal("false", JsonValue::Type::boolean);
      case 'n':
        return literal("null", JsonValue::Type::null);
      default:
        return make(JsonValue::Type::number, number());
    }
  }

  // Only whitespace may follow the value.
  void finish() {
    skip_whitespace();
    if (!at_end()) fail("trailing characters");
  }

 private:
  static JsonValue make(JsonValue::Type type, std::string text) {
    JsonValue value;
    value.type = type;
    value.text = std::move(text);
    return value;
  }

  bool at_end() const noexcept { return pos_ == text_.size(); }
  void skip_whitespace() noexcept {
    while (!at_end() && (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\n' || text_[pos_] == '\r')) {
      ++pos_;
    }
  }

  // Reports the byte at the current position, or the end of the text. Lines count from 1;
  // the column is that byte's position in its line, counting from 1, or the length of the last
  // line at the end.
  [[noreturn]] void fail(const char* what) const {
    const std::size_t line_start = text_.rfind('\n', pos_ == 0 ? 0 : pos_ - 1);
    const std::size_t first = pos_ == 0 || line_start == std::string_view::npos ? 0 : line_start + 1;
    const auto line = 1 + std::count(text_.begin(), text_.begin() + static_cast<std::ptrdiff_t>(first), '\n');
    const std::size_t column = pos_ - first + (at_end() ? 0 : 1);
    throw SyntaxError{std::string(what) + " at line " + std::to_string(line) + " column " + std::to_string(column)};
  }

  JsonValue literal(std::string_view word, JsonValue::Type type) {
    for (char expected : word) {
      if (at_end()) fail("EOF while parsing a value");
      if (text_[pos_] != expected) fail("invalid literal");
      ++pos_;
    }
    return make(type, std::string(word));
  }

  // -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?, kept as written: no attempt needs its value.
  std::string number() {
    const std::size_t start = pos_;
    auto digit = [this] { return !at_end() && text_[pos_] >= '0' && text_[pos_] <= '9'; };
    auto digits = [&] {
      if (at_end()) fail("EOF while parsing a value");
      if (!digit()) fail(pos_ == start ? "expected value" : "invalid number");
      while (digit()) ++pos_;
    };
    if (!at_end() && text_[pos_] == '-') ++pos_;
    if (!at_end() && text_[pos_] == '0') {
      ++pos_;
    } else {
      digits();
    }
    if (!at_end() && text_[pos_] == '.') {
      ++pos_;
      digits();
    }
    if (!at_end() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
      ++pos_;
      if (!at_end() && (text_[pos_] == '+' || text_[pos_] == '-')) ++pos_;
      digits();
    }
    return std::string(text_.substr(start, pos_ - start));
  }

  // The four hex digits after "\u"; the position is on the 'u'.
  char32_t hex4() {
    char32_t code = 0;
    for (int i = 0; i < 4; ++i) {
      ++pos_;
      if (at_end()) fail("EOF while parsing a string");
      const char c = text_[pos_];
      int nibble;
      if (c >= '0' && c <= '9') {
        nibble = c - '0';
      } else if (c >= 'a' && c <= 'f') {
        nibble = c - 'a' + 10;
      } else if (c >= 'A' && c <= 'F') {
        nibble = c - 'A' + 10;
      } else {
        fail("invalid escape");
      }
      code = code << 4 | static_cast<char32_t>(nibble);
    }
    return code;
  }

  // A code point from "\uXXXX", or from a surrogate pair of two of them; the position is on
  // the first 'u' and ends on the last hex digit.
  char32_t unicode_escape() {
    const char32_t first = hex4();
    if (first >= 0xDC00 && first <= 0xDFFF) fail("unpaired surrogate in escape");
    if (first < 0xD800 || first > 0xDBFF) return first;
    for (char expected : {'\\', 'u'}) {
      ++pos_;
      if (at_end()) fail("EOF while parsing a string");
      if (text_[pos_] != expected) fail("unpaired surrogate in escape");
    }
    const char32_t second = hex4();
    if (second < 0xDC00 || second > 0xDFFF) fail("unpaired surrogate in escape");
    return 0x10000 + ((first - 0xD800) << 10) + (second - 0xDC00);
  }

  // The position is on the opening quote; ends after the closing one.
  std::string string() {
    std::string decoded;
    for (++pos_;; ++pos_) {
      if (at_end()) fail("EOF while parsing a string");
      const char c = text_[pos_];
      if (c == '"') break;
      if (static_cast<unsigned char>(c) < 0x20) fail("control character in string");
      if (c != '\\') {
        decoded += c;
        continue;
      }
      ++pos_;
      if (at_end()) fail("EOF while parsing a string");
      switch (text_[pos_]) {
        case '"': decoded += '"'; break;
        case '\\': decoded += '\\'; break;
        case '/': decoded += '/'; break;
        case 'b': decoded += '\b'; break;
        case 'f': decoded += '\f'; break;
        case 'n': decoded += '\n'; break;
        case 'r': decoded += '\r'; break;
        case 't': decoded += '\t'; break;
        case 'u': {
          char utf8[4];
          decoded += detail::encode_utf8(unicode_escape(), utf8);
          break;
        }
        default:
          fail("invalid escape");
      }
    }
    ++pos_;
    return decoded;
  }

  // An array or an object; the position is on its opening bracket.
  JsonValue container(int depth) {
    if (depth == kMaxNesting) fail("recursion limit exceeded");
    const bool is_object = text_[pos_] == '{';
    const char close = is_object ? '}' : ']';
    const char* eof = is_object ? "EOF while parsing an object" : "EOF while parsing a list";
    JsonValue result;
    result.type = is_object ? JsonValue::Type::object : JsonValue::Type::array;
    ++pos_;
    skip_whitespace();
    if (!at_end() && text_[pos_] == close) {
      ++pos_;
      return result;
    }
    for (;;) {
      if (is_object) {
        skip_whitespace();
        if (at_end()) fail(eof);
        if (text_[pos_] != '"') fail("key must be a string");
        result.names.push_back(string());
        skip_whitespace();
        if (at_end()) fail(eof);
        if (text_[pos_] != ':') fail("expected ':'");
        ++pos_;
      }
      result.items.push_back(value(depth + 1));
      skip_whitespace();
      if (at_end()) fail(eof);
      if (text_[pos_] == close) break;
      if (text_[pos_] != ',') fail(is_object ? "expected ',' or '}'" : "expected ',' or ']'");
      ++pos_;
      skip_whitespace();
      if (!at_end() && text_[pos_] == close) fail("trailing comma");
    }
    ++pos_;
    return result;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

std::optional<api::TimeUnit> named_unit(std::string_view name) {
  const auto& names = api::TimeUnit::kNames;
  const auto* found = std::find(std::begin(names), std::end(names), name);
  if (found == std::end(names)) return std::nullopt;
  return api::TimeUnit(static_cast<api::TimeUnit::Value>(found - std::begin(names)));
}

std::optional<api::TimeUnit> match(const JsonValue& value) {
  // A name, either as a string or as the only member of an object, with null as its value.
  if (value.type == JsonValue::Type::string) {
    if (auto unit = named_unit(value.text)) return unit;
  } else if (value.type == JsonValue::Type::object && value.items.size() == 1 &&
             value.items[0].type == JsonValue::Type::null) {
    if (auto unit = named_unit(value.names[0])) return unit;
  }
  // Any other upper-case text is a unit this build does not know yet.
  if (value.type == JsonValue::Type::string) {
    if (auto variant = Variant::from_str(value.text)) return api::TimeUnit::unknown(std::move(*variant));
  }
  return std::nullopt;
}

}  // namespace

ApiTimeUnitRead read_api_time_unit(std::string_view json_text) {
  try {
    Parser parser(json_text);
    std::optional<api::TimeUnit> unit = match(parser.value(0));
    if (!unit) return {std::nullopt, "data did not match any variant of untagged enum TimeUnit"};
    parser.finish();
    return {std::move(unit), std::string()};
  } catch (const SyntaxError& error) {
    return {std::nullopt, error.message};
  }
}

}  // namespace veltrix_compute
