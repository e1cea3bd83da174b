#include "EventNames.h"

#include <array>
#include <utility>

namespace {

// The journal's kinds and GuardedWrite's operation names (WriteKindName).
constexpr std::array<std::pair<const char*, const char*>, 7> kNames = {{
    {"read", "чтение"},
    {"snapshot", "снимок"},
    {"write", "запись коэффициентов"},
    {"reset", "сброс"},
    {"seal", "запись пломбы"},
    {"clock", "установка часов"},
    {"restore", "восстановление"},
}};

std::string Named(const std::string& name) {
  for (const auto& [key, words] : kNames)
    if (name == key) return words;
  return name;
}

std::string OperationOf(const JournalRecord& r) {
  const nlohmann::json& p = r.event.payload;
  const auto op = p.is_object() ? p.find("operation") : p.end();
  return p.is_object() && op != p.end() && op->is_string() ? op->get<std::string>() : "write";
}

}  // namespace

std::string OperationName(const std::string& operation) {
  return Named(operation);
}

std::string EventName(const JournalRecord& r) {
  if (r.event.kind == "write") return OperationName(OperationOf(r));
  if (r.event.kind == "write-started") return OperationName(OperationOf(r)) + " (начало)";
  return Named(r.event.kind);
}
