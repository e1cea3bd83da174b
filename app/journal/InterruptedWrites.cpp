#include "InterruptedWrites.h"

namespace {

using nlohmann::json;

std::string TextAt(const json& object, const char* key) {
  const auto it = object.find(key);
  return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

}  // namespace

std::set<std::string> FinishedWriteStarts(const std::vector<JournalRecord>& records) {
  std::set<std::string> finished;
  for (const JournalRecord& r : records)
    if (r.event.kind == "write" && r.event.payload.is_object())
      if (const std::string started = TextAt(r.event.payload, "started"); !started.empty())
        finished.insert(started);
  return finished;
}

bool IsInterruptedWrite(const JournalRecord& record, const std::set<std::string>& finished) {
  const json& p = record.event.payload;
  if (record.event.kind == "write-started") return !finished.contains(record.id);
  return record.event.kind == "write" && p.is_object() && TextAt(p, "status") == "interrupted";
}

std::vector<WriteItemChange> WriteItemChanges(const JournalRecord& record) {
  std::vector<WriteItemChange> changes;
  const json& p = record.event.payload;
  const auto items = p.is_object() ? p.find("items") : p.end();
  if (!p.is_object() || items == p.end() || !items->is_array()) return changes;
  for (const json& i : *items)
    if (i.is_object())
      changes.push_back({TextAt(i, "item"), TextAt(i, "before"), TextAt(i, "after")});
  return changes;
}
