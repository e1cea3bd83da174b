// A strict reader for the one flat JSON object that calibrate-cli prints:
// string, number and null values only. Anything that is not valid JSON of
// that shape gives nullopt, so a test can tell a broken object from a wrong
// value.
#pragma once

#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <variant>

namespace clitest {

struct JsonNull {
  bool operator==(const JsonNull&) const = default;
};
using JsonValue = std::variant<JsonNull, double, std::string>;
using JsonObject = std::map<std::string, JsonValue>;

class FlatJsonReader {
 public:
  explicit FlatJsonReader(const std::string& text) : t_(text) {}

  std::optional<JsonObject> Read() {
    JsonObject object;
    Space();
    if (!Take('{')) return std::nullopt;
    Space();
    if (!Take('}')) {
      do {
        Space();
        auto key = String();
        Space();
        if (!key || !Take(':')) return std::nullopt;
        Space();
        auto value = Value();
        if (!value || object.count(*key)) return std::nullopt;
        object.emplace(*key, *value);
        Space();
      } while (Take(','));
      if (!Take('}')) return std::nullopt;
    }
    Space();
    if (i_ != t_.size()) return std::nullopt;
    return object;
  }

 private:
  bool Take(char c) {
    if (i_ < t_.size() && t_[i_] == c) return ++i_, true;
    return false;
  }
  void Space() {
    while (i_ < t_.size() && (t_[i_] == ' ' || t_[i_] == '\n' || t_[i_] == '\r' || t_[i_] == '\t'))
      ++i_;
  }
  bool Digits() {
    const size_t from = i_;
    while (i_ < t_.size() && t_[i_] >= '0' && t_[i_] <= '9')
      ++i_;
    return i_ > from;
  }
  std::optional<JsonValue> Value() {
    if (t_.compare(i_, 4, "null") == 0) return i_ += 4, JsonValue(JsonNull{});
    if (i_ < t_.size() && t_[i_] == '"') {
      auto s = String();
      return s ? std::optional<JsonValue>(*s) : std::nullopt;
    }
    const size_t from = i_;
    Take('-');
    if (!Digits()) return std::nullopt;
    if (Take('.') && !Digits()) return std::nullopt;
    if (Take('e') || Take('E')) {
      if (!Take('+')) Take('-');
      if (!Digits()) return std::nullopt;
    }
    return JsonValue(std::strtod(t_.substr(from, i_ - from).c_str(), nullptr));
  }
  std::optional<std::string> String() {
    if (!Take('"')) return std::nullopt;
    std::string out;
    while (i_ < t_.size()) {
      const char c = t_[i_++];
      if (c == '"') return out;
      if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (i_ >= t_.size()) return std::nullopt;
      const char e = t_[i_++];
      if (e == 'u') {
        if (i_ + 4 > t_.size()) return std::nullopt;
        const unsigned long code = std::strtoul(t_.substr(i_, 4).c_str(), nullptr, 16);
        i_ += 4;
        if (code >= 0x80) return std::nullopt;  // not needed by these tests
        out += static_cast<char>(code);
      } else if (e == '"' || e == '\\' || e == '/') {
        out += e;
      } else if (e == 'n') {
        out += '\n';
      } else {
        return std::nullopt;
      }
    }
    return std::nullopt;
  }

  const std::string& t_;
  size_t i_ = 0;
};

inline std::optional<JsonObject> ParseFlatJson(const std::string& text) {
  return FlatJsonReader(text).Read();
}

}  // namespace clitest
