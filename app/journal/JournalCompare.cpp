#include "JournalCompare.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

using nlohmann::json;

const char* const kUnreadable = "ошибка";

const json& At(const json& j, const char* key) {
  static const json null;
  return j.is_object() && j.contains(key) ? j.at(key) : null;
}

// An item object {"state", "stored" | "value" | "text"}: its value, the
// unreadable mark, or null when the model has no such item.
json ItemValue(const json& item, const char* valueKey) {
  if (item.is_number() || item.is_string()) return item;
  if (!item.is_object()) return nullptr;
  if (At(item, "state") == "failed") return kUnreadable;
  return At(item, valueKey);
}

std::string CoefName(bool obr, size_t index) {
  if (!obr && index == 0) return "K0";
  if (!obr && index == 1) return "Ku";
  return std::string(obr ? "Obr[" : "K[") + std::to_string(index) + "]";
}

class StateBuilder {
 public:
  void Add(const std::string& key, const std::string& label, const json& value) {
    if (!value.is_null()) state.push_back({key, label, value});
  }
  void Coef(int channel, bool obr, size_t index, const json& value) {
    const std::string name = CoefName(obr, index);
    const std::string ch = std::to_string(channel);
    Add("k" + ch + "." + name, name + " к." + ch, value);
  }
  void Record(const json& record) {
    if (record.is_null()) return;
    if (At(record, "state") == "failed") return Add("record", "Запись калибровки", kUnreadable);
    Add("record.date", "Дата калибровки", At(record, "date"));
    Add("record.seal", "Пломба", At(record, "seal"));
    Add("record.licence", "Лицензия", At(record, "licence"));
    Add("record.version", "Версия в записи", At(record, "version"));
  }
  MeterState state;
};

MeterState ReadState(const json& d) {
  StateBuilder b;
  b.Add("model", "Идентификация", At(d, "identification"));
  b.Add("serial", "Заводской номер", At(d, "serial"));
  b.Add("firmware.reference", "Эталонная версия ПО", At(d, "firmware_version"));
  const json& channels = At(d, "channels");
  for (size_t c = 0; c < 2 && channels.is_array() && c < channels.size(); ++c) {
    const json& ch = channels[c];
    if (!ch.is_object()) continue;
    const int n = static_cast<int>(c) + 1;
    b.Coef(n, false, 0, ItemValue(At(ch, "k0"), "stored"));
    b.Coef(n, false, 1, ItemValue(At(ch, "ku"), "stored"));
    b.Add("k" + std::to_string(n) + ".Gmax", "Gmax к." + std::to_string(n), At(ch, "gmax"));
  }
  b.Record(At(d, "record"));
  return b.state;
}

MeterState SnapshotState(const json& d) {
  StateBuilder b;
  b.Add("model", "Идентификация", At(d, "identification"));
  b.Add("serial", "Заводской номер", ItemValue(At(d, "serial"), "text"));
  const json& firmware = At(d, "firmware");
  b.Add("firmware.reference", "Эталонная версия ПО", At(At(firmware, "reference"), "version"));
  b.Add("firmware.meter", "Версия ПО прибора", ItemValue(At(firmware, "meter"), "text"));
  const json& channels = At(d, "channels");
  for (size_t c = 0; c < 2 && channels.is_array() && c < channels.size(); ++c) {
    const json& ch = channels[c];
    if (!ch.is_object()) continue;
    const int n = static_cast<int>(c) + 1;
    for (bool obr : {false, true}) {
      const json& list = At(ch, obr ? "obr" : "k");
      // Obr 0 and 1 are K0 and Ku again.
      for (size_t i = obr ? 2 : 0; list.is_array() && i < list.size(); ++i)
        b.Coef(n, obr, i, ItemValue(list[i], "stored"));
    }
    b.Add("k" + std::to_string(n) + ".Gmax", "Gmax к." + std::to_string(n),
          ItemValue(At(ch, "gmax"), "value"));
  }
  b.Record(At(d, "record"));
  return b.state;
}

MeterState WriteState(const json& d) {
  StateBuilder b;
  const json& items = At(At(d, "after"), "items");
  for (const json& item : items.is_array() ? items : json::array()) {
    if (At(item, "item") != "coef") continue;
    const json value = At(item, "read") == true ? At(item, "stored") : json(kUnreadable);
    const bool obr = At(item, "list") == "Obr";
    const size_t index = At(item, "index").get<size_t>();
    // Obr 0 and 1 are K0 and Ku: one field each, whichever list wrote it.
    b.Coef(At(item, "channel").get<int>(), obr && index >= 2, index, value);
  }
  return b.state;
}

std::string Number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.7g", v);
  return text;
}

std::string ValueText(const json& v) {
  if (v.is_null()) return "—";
  if (v.is_string()) return v.get<std::string>();
  if (v.is_number()) return Number(v.get<double>());
  return v.dump();
}

std::string DayOf(const JournalRecord& r) {
  return r.timeLocal.substr(0, 10);
}

// The command line runs once per command; its events of a day are one visit.
std::string SessionKey(const JournalRecord& r) {
  const json& run = At(r.event.payload, "run");
  if (r.event.program.rfind("calibrate-cli", 0) == 0 || !run.is_string()) return "day " + DayOf(r);
  return "run " + run.get<std::string>();
}

}  // namespace

std::optional<MeterState> StateOf(const nlohmann::json& d, std::string& error) {
  try {
    if (d.contains("schema")) {
      if (d.at("schema") != 1) {
        error = "a snapshot of schema " + d.at("schema").dump() + ", not 1";
        return std::nullopt;
      }
      return SnapshotState(d);
    }
    if (d.contains("operation") && d.contains("after")) return WriteState(d);
    if (d.contains("result") && d.contains("channels")) return ReadState(d);
  } catch (const json::exception& e) {
    error = std::string("a document of unexpected form: ") + e.what();
    return std::nullopt;
  }
  error = "neither a read, a snapshot nor a write";
  return std::nullopt;
}

StateComparison CompareStates(const MeterState& before, const MeterState& after, bool sameKind) {
  StateComparison out;
  const auto find = [](const MeterState& s, const std::string& key) -> const StateField* {
    for (const StateField& f : s)
      if (f.key == key) return &f;
    return nullptr;
  };
  const auto change = [&](const StateField& f, const json& a, const json& b) {
    FieldChange c{f.key, f.label, a, b, std::nullopt, std::nullopt};
    if (a.is_number() && b.is_number()) {
      c.difference = b.get<double>() - a.get<double>();
      if (a.get<double>() != 0) c.percent = *c.difference / std::fabs(a.get<double>()) * 100;
    }
    out.changes.push_back(std::move(c));
  };
  for (const StateField& f : after) {
    const StateField* old = find(before, f.key);
    if (old) ++out.compared;
    if (old && old->value != f.value) change(f, old->value, f.value);
    if (!old && sameKind) change(f, nullptr, f.value);
  }
  for (const StateField& f : before)
    if (sameKind && !find(after, f.key)) change(f, f.value, nullptr);
  return out;
}

std::string ChangeText(const FieldChange& c) {
  std::string text = ValueText(c.before) + " → " + ValueText(c.after);
  if (c.difference) {
    text += " (" + std::string(*c.difference >= 0 ? "+" : "") + Number(*c.difference);
    if (c.percent) {
      char pct[32];
      std::snprintf(pct, sizeof pct, ", %+.2f %%", *c.percent);
      text += pct;
    }
    text += ")";
  }
  return text;
}

nlohmann::json ToJson(const StateComparison& comparison) {
  json changes = json::array();
  for (const FieldChange& c : comparison.changes) {
    json j = {{"field", c.key}, {"label", c.label}, {"before", c.before}, {"after", c.after}};
    j["difference"] = c.difference ? json(*c.difference) : json(nullptr);
    j["percent"] = c.percent ? json(*c.percent) : json(nullptr);
    changes.push_back(std::move(j));
  }
  return {{"equal", comparison.Equal()}, {"compared", comparison.compared}, {"changes", changes}};
}

std::string JournalSession::Day() const {
  return records.empty() ? std::string() : DayOf(records.front());
}

std::vector<JournalSession> JournalSessions(const JournalFileContent& content) {
  std::vector<JournalSession> sessions;
  std::string key;
  // The records come newest first; sessions run in the file's order.
  for (auto r = content.records.rbegin(); r != content.records.rend(); ++r) {
    const std::string k = SessionKey(*r);
    if (sessions.empty() || k != key) sessions.push_back({r->id, {}});
    key = k;
    sessions.back().records.push_back(*r);
  }
  return sessions;
}

const JournalSession* FindSession(const std::vector<JournalSession>& sessions,
                                  const std::string& ref, std::string& error) {
  if (sessions.empty()) {
    error = "the meter has no events in the journal";
    return nullptr;
  }
  if (ref == "last") return &sessions.back();
  const JournalSession* found = nullptr;
  for (const JournalSession& s : sessions)
    for (const JournalRecord& r : s.records)
      if (ref.size() >= 4 && r.id.rfind(ref, 0) == 0) {
        if (found && found != &s) {
          error = "the id " + ref + " is ambiguous";
          return nullptr;
        }
        found = &s;
      }
  if (!found) error = "no event " + ref + " in the meter's journal";
  return found;
}

bool ShowsState(const JournalRecord& record) {
  return record.event.kind == "read" || record.event.kind == "snapshot";
}

VisitComparison CompareWithPreviousVisit(const std::vector<JournalSession>& sessions) {
  VisitComparison out;
  const JournalRecord* last = nullptr;
  const JournalRecord* previous = nullptr;
  for (auto s = sessions.rbegin(); s != sessions.rend() && !previous; ++s) {
    // The newest state of a session; the previous visit is in an earlier one.
    auto r = std::find_if(s->records.rbegin(), s->records.rend(), ShowsState);
    if (r == s->records.rend()) continue;
    (last ? previous : last) = &*r;
  }
  if (!previous) {
    out.error = last ? "no earlier visit of this meter in the journal"
                     : "the journal holds no read or snapshot of this meter";
    return out;
  }
  std::string error;
  const auto a = StateOf(previous->event.payload, error);
  const auto b = a ? StateOf(last->event.payload, error) : std::nullopt;
  if (!b) {
    out.error = error;
    return out;
  }
  out.comparison = CompareStates(*a, *b, previous->event.kind == last->event.kind);
  out.last = *last;
  out.previous = *previous;
  out.ok = true;
  return out;
}
