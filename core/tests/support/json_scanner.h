// A scanner that checks a text is one well-formed JSON value and reads the members of its outermost
// object: the catalogue tests check every written key, and how many elements each member holds,
// without trusting the writer under test.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace veltrix_test {

class JsonScanner {
 public:
  explicit JsonScanner(std::string_view text) : text_(text) {}

  // A member's key, and how many elements (of an array) or members (of an object) its value
  // holds; -1 for any other value.
  using Member = std::pair<std::string, long>;

  // The members of the outermost object in order, or nullopt when the text is not exactly one
  // well-formed JSON object.
  std::optional<std::vector<Member>> members() {
    std::vector<Member> members;
    long size;
    if (peek() != '{' || !value(&members, &size) || at_ != text_.size()) return std::nullopt;
    return members;
  }

 private:
  char peek() const { return at_ < text_.size() ? text_[at_] : '\0'; }
  bool eat(char c) {
    if (peek() != c) return false;
    ++at_;
    return true;
  }

  // With `members`, the value must be an object, whose members go there.
  bool value(std::vector<Member>* members, long* size) {
    *size = -1;
    switch (peek()) {
      case '{':
      case '[': {
        const bool object = peek() == '{';
        const char close = object ? '}' : ']';
        ++at_;
        *size = 0;
        if (eat(close)) return true;
        do {
          Member member{std::string(), -1};
          if (object && (!string(&member.first) || !eat(':'))) return false;
          if (!value(nullptr, &member.second)) return false;
          ++*size;
          if (members != nullptr) members->push_back(std::move(member));
        } while (eat(','));
        return eat(close);
      }
      case '"':
        return string(nullptr);
      case 't':
        return word("true");
      case 'f':
        return word("false");
      case 'n':
        return word("null");
      default:
        return number();
    }
  }

  bool word(std::string_view w) {
    if (text_.substr(at_, w.size()) != w) return false;
    at_ += w.size();
    return true;
  }

  bool digits() {
    const std::size_t start = at_;
    while (peek() >= '0' && peek() <= '9') ++at_;
    return at_ > start;
  }

  bool number() {
    eat('-');
    if (peek() == '0' && at_ + 1 < text_.size() && text_[at_ + 1] >= '0' && text_[at_ + 1] <= '9') return false;
    if (!digits()) return false;
    if (eat('.') && !digits()) return false;
    if (eat('e') || eat('E')) {
      if (!eat('+')) eat('-');
      if (!digits()) return false;
    }
    return true;
  }

  // Keeps the raw text between the quotes; the model's keys need no unescaping.
  bool string(std::string* out) {
    if (!eat('"')) return false;
    const std::size_t start = at_;
    while (at_ < text_.size() && text_[at_] != '"') {
      if (static_cast<unsigned char>(text_[at_]) < 0x20) return false;
      at_ += text_[at_] == '\\' ? 2 : 1;
    }
    if (at_ >= text_.size()) return false;
    if (out != nullptr) out->assign(text_.substr(start, at_ - start));
    ++at_;
    return true;
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

}  // namespace veltrix_test
