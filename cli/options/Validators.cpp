#include "Validators.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

#include "app/core/line/PortSpec.h"
#include "app/core/values/StorableValue.h"

namespace {

CLI::Validator Refusing(std::function<std::optional<std::string>(std::string&)> fault,
                        const std::string& name) {
  return CLI::Validator(
      [fault](std::string& value) {
        if (auto reason = fault(value)) throw Refusal{*reason};
        return std::string();
      },
      "", name);
}

}  // namespace

std::string MissingValue(const std::string& option) {
  return "параметру " + option + " нужно значение";
}

CLI::Validator Valued(const std::string& option) {
  return Refusing(
      [option](std::string& value) -> std::optional<std::string> {
        if (value.empty() || value.rfind("--", 0) == 0) return MissingValue(option);
        return std::nullopt;
      },
      "VALUED");
}

CLI::Validator NotAnOption(const std::string& option) {
  return Refusing(
      [option](std::string& value) -> std::optional<std::string> {
        if (value.rfind("--", 0) == 0) return MissingValue(option);
        return std::nullopt;
      },
      "NOT_AN_OPTION");
}

std::optional<unsigned> Decimal(const std::string& text) {
  // Nine digits cannot overflow an unsigned.
  if (text.empty() || text.size() > 9) return std::nullopt;
  unsigned v = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    v = v * 10 + static_cast<unsigned>(c - '0');
  }
  return v;
}

CLI::Validator DecimalIn(unsigned lo, unsigned hi, RefusalText refusal) {
  return Refusing(
      [=](std::string& value) -> std::optional<std::string> {
        const auto n = Decimal(value);
        if (!n || *n < lo || *n > hi) return refusal(value);
        value = std::to_string(*n);
        return std::nullopt;
      },
      "DECIMAL");
}

CLI::Validator DecimalAmong(std::vector<unsigned> values, RefusalText refusal) {
  return Refusing(
      [=](std::string& value) -> std::optional<std::string> {
        const auto n = Decimal(value);
        if (!n || std::find(values.begin(), values.end(), *n) == values.end())
          return refusal(value);
        value = std::to_string(*n);
        return std::nullopt;
      },
      "DECIMAL");
}

CLI::Option* DecimalOption(CLI::Option* option, CLI::Validator decimal) {
  return option->transform(std::move(decimal))->transform(Valued(option->get_name()));
}

std::vector<std::string> Items(const std::string& list) {
  std::vector<std::string> items;
  size_t start = 0;
  for (size_t comma; (comma = list.find(',', start)) != std::string::npos; start = comma + 1)
    items.push_back(list.substr(start, comma - start));
  items.push_back(list.substr(start));
  return items;
}

CLI::Validator Each(CLI::Validator piece) {
  return CLI::Validator(
      [piece](std::string& list) {
        std::string rewritten;
        for (std::string item : Items(list)) {
          if (std::string why = piece(item); !why.empty()) return why;
          rewritten += (rewritten.empty() ? "" : ",") + item;
        }
        list = rewritten;
        return std::string();
      },
      "", "EACH");
}

CLI::Validator OneOf(std::vector<std::string> names, RefusalText refusal) {
  const CLI::Validator member = CLI::IsMember(std::move(names));
  return Refusing(
      [member, refusal](std::string& value) -> std::optional<std::string> {
        std::string copy = value;
        if (!member(copy).empty()) return refusal(value);
        return std::nullopt;
      },
      "ONE OF");
}

CLI::Validator PortName() {
  return Refusing(
      [](std::string& value) -> std::optional<std::string> {
        if (value.rfind("COM", 0) == 0 && !ComPortNumber(value))
          return "порт " + value + " недопустим (COM1..COM255 или путь к устройству)";
        return std::nullopt;
      },
      "PORT");
}

namespace {

// The float the text is stored as; nullopt and why for no number or one the
// meter would keep as something else.
std::optional<float> Storable(const std::string& text, std::string& why) {
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size()) {
    why = "не число";
    return std::nullopt;
  }
  return StorableFloat(v, why);
}

std::optional<std::string> Unstorable(const std::string& option, const std::string& text) {
  std::string why;
  if (Storable(text, why)) return std::nullopt;
  return option + " = '" + text + "': " + why;
}

}  // namespace

std::optional<float> Finite(const std::string& text) {
  std::string why;
  return Storable(text, why);
}

CLI::Validator FiniteValue(const std::string& option) {
  return Refusing([option](std::string& value) { return Unstorable(option, value); }, "FINITE");
}

std::optional<IndexedValue> ParseIndexValue(const std::string& text) {
  const size_t eq = text.find('=');
  if (eq == std::string::npos) return std::nullopt;
  const auto index = Decimal(text.substr(0, eq));
  const auto value = Finite(text.substr(eq + 1));
  if (!index || *index > 9 || !value) return std::nullopt;
  return IndexedValue{*index, *value};
}

CLI::Validator IndexValue(const std::string& option) {
  return Refusing(
      [option](std::string& value) -> std::optional<std::string> {
        const size_t eq = value.find('=');
        const auto index = Decimal(eq == std::string::npos ? value : value.substr(0, eq));
        if (eq == std::string::npos || !index || *index > 9)
          return option + " " + value + ": ожидается I=X с индексом I от 0 до 9";
        return Unstorable(option, value.substr(eq + 1));
      },
      "INDEX=VALUE");
}
