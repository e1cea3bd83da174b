#include "JournalLine.h"

#include <algorithm>

#include "Sha256.h"

namespace {

constexpr std::string_view kHashOpen = ",\"hash\":\"";
constexpr std::string_view kHashClose = "\"}";
constexpr size_t kHexDigits = 64;
constexpr size_t kHashFieldSize = kHashOpen.size() + kHexDigits + kHashClose.size();

bool IsHash(std::string_view text) {
  return text.size() == kHexDigits && std::all_of(text.begin(), text.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

}  // namespace

std::string MakeJournalLine(const nlohmann::ordered_json& fields, std::string_view prev) {
  nlohmann::ordered_json object = fields;
  object.erase("hash");
  object["prev"] = std::string(prev);
  const std::string body = object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  const std::string hash = Sha256Hex(body);
  if (hash.empty()) return {};
  std::string line = body.substr(0, body.size() - 1);  // without its closing brace
  line.append(kHashOpen).append(hash).append(kHashClose);
  return line;
}

ParsedJournalLine ParseJournalLine(std::string_view text) {
  ParsedJournalLine parsed;
  if (text.empty()) {
    parsed.why = "пустая строка";
    return parsed;
  }
  parsed.event = nlohmann::json::parse(text, nullptr, false);
  if (parsed.event.is_discarded() || !parsed.event.is_object()) {
    parsed.event = nullptr;
    parsed.why = "не объект JSON (оборвана или перезаписана)";
    return parsed;
  }
  const size_t size = text.size();
  const std::string_view hash =
      size > kHashFieldSize ? text.substr(size - kHashClose.size() - kHexDigits, kHexDigits) : "";
  if (size <= kHashFieldSize || text.substr(size - kHashFieldSize, kHashOpen.size()) != kHashOpen ||
      text.substr(size - kHashClose.size()) != kHashClose || !IsHash(hash)) {
    parsed.why = "не кончается своим хешем";
    return parsed;
  }
  const auto prev = parsed.event.find("prev");
  if (prev == parsed.event.end() || !prev->is_string() ||
      !IsHash(prev->get_ref<const std::string&>())) {
    parsed.why = "нет хеша предыдущей строки";
    return parsed;
  }
  parsed.valid = true;
  parsed.prev = prev->get<std::string>();
  parsed.hash = std::string(hash);
  std::string body(text.substr(0, size - kHashFieldSize));
  body += '}';
  parsed.hashMatches = Sha256Hex(body) == parsed.hash;
  return parsed;
}
