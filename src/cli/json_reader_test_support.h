// A small JSON reader for the tests of the console's --json output: objects, arrays,
// strings (with \" \\ \/ \b \f \n \r \t and \uXXXX escapes), integers, true, false and
// null. A text that is not JSON gives a value whose `valid` is false.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace crvl::testing {

struct JsonValue {
  enum class Type { Null, Bool, Number, String, Array, Object } type = Type::Null;
  bool valid = true;
  bool flag = false;
  int64_t number = 0;
  std::string text;  // UTF-8
  std::vector<JsonValue> items;
  std::map<std::string, JsonValue> fields;

  [[nodiscard]] const JsonValue& operator[](const std::string& key) const {
    static const JsonValue kMissing{};
    const auto it = fields.find(key);
    return it == fields.end() ? kMissing : it->second;
  }
  [[nodiscard]] const JsonValue& operator[](size_t index) const {
    static const JsonValue kMissing{};
    return index < items.size() ? items[index] : kMissing;
  }
};

class JsonReader {
 public:
  explicit JsonReader(const std::string& text) : s_(text) {}
  JsonValue read() {
    JsonValue v = value();
    space();
    if (at_ != s_.size()) v.valid = false;
    return v;
  }

 private:
  void space() {
    while (at_ < s_.size() && (s_[at_] == ' ' || s_[at_] == '\n' || s_[at_] == '\r' || s_[at_] == '\t')) ++at_;
  }
  bool take(char c) {
    space();
    if (at_ < s_.size() && s_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }
  JsonValue fail() {
    JsonValue v;
    v.valid = false;
    at_ = s_.size();
    return v;
  }
  JsonValue value() {
    space();
    if (at_ >= s_.size()) return fail();
    JsonValue v;
    const char c = s_[at_];
    if (c == '{') {
      ++at_;
      v.type = JsonValue::Type::Object;
      if (take('}')) return v;
      do {
        space();
        JsonValue key = value();
        if (!key.valid || key.type != JsonValue::Type::String || !take(':')) return fail();
        JsonValue item = value();
        if (!item.valid) return fail();
        v.fields[key.text] = std::move(item);
      } while (take(','));
      return take('}') ? v : fail();
    }
    if (c == '[') {
      ++at_;
      v.type = JsonValue::Type::Array;
      if (take(']')) return v;
      do {
        JsonValue item = value();
        if (!item.valid) return fail();
        v.items.push_back(std::move(item));
      } while (take(','));
      return take(']') ? v : fail();
    }
    if (c == '"') return string();
    if (s_.compare(at_, 4, "true") == 0 || s_.compare(at_, 5, "false") == 0) {
      v.type = JsonValue::Type::Bool;
      v.flag = s_[at_] == 't';
      at_ += v.flag ? 4 : 5;
      return v;
    }
    if (s_.compare(at_, 4, "null") == 0) {
      at_ += 4;
      return v;
    }
    if (c == '-' || (c >= '0' && c <= '9')) {
      v.type = JsonValue::Type::Number;
      const bool negative = c == '-';
      if (negative) ++at_;
      if (at_ >= s_.size() || s_[at_] < '0' || s_[at_] > '9') return fail();
      while (at_ < s_.size() && s_[at_] >= '0' && s_[at_] <= '9') v.number = v.number * 10 + (s_[at_++] - '0');
      if (negative) v.number = -v.number;
      return v;
    }
    return fail();
  }
  JsonValue string() {
    JsonValue v;
    v.type = JsonValue::Type::String;
    ++at_;
    while (at_ < s_.size() && s_[at_] != '"') {
      char c = s_[at_++];
      if (static_cast<unsigned char>(c) < 0x20) return fail();
      if (c != '\\') {
        v.text += c;
        continue;
      }
      if (at_ >= s_.size()) return fail();
      c = s_[at_++];
      switch (c) {
        case '"': case '\\': case '/': v.text += c; break;
        case 'b': v.text += '\b'; break;
        case 'f': v.text += '\f'; break;
        case 'n': v.text += '\n'; break;
        case 'r': v.text += '\r'; break;
        case 't': v.text += '\t'; break;
        case 'u': {
          if (at_ + 4 > s_.size()) return fail();
          const unsigned code = static_cast<unsigned>(std::stoul(s_.substr(at_, 4), nullptr, 16));
          at_ += 4;
          if (code < 0x80) {
            v.text += static_cast<char>(code);
          } else if (code < 0x800) {
            v.text += static_cast<char>(0xC0 | code >> 6);
            v.text += static_cast<char>(0x80 | (code & 0x3F));
          } else {
            v.text += static_cast<char>(0xE0 | code >> 12);
            v.text += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            v.text += static_cast<char>(0x80 | (code & 0x3F));
          }
          break;
        }
        default:
          return fail();
      }
    }
    if (at_ >= s_.size()) return fail();
    ++at_;
    return v;
  }

  const std::string& s_;
  size_t at_ = 0;
};

inline JsonValue parseJson(const std::string& text) { return JsonReader(text).read(); }

}  // namespace crvl::testing
