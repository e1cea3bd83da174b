#include "JournalCompare.h"

#include <algorithm>
#include <cmath>

#include "SessionState.h"
#include "app/core/values/ValueText.h"
#include "app/core/values/WriteImage.h"

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
  // The record as its 16 bytes: a read, a snapshot and a write's read-back
  // then give one field, and every reader decodes it the same way.
  void Record(const json& record) {
    if (record.is_null()) return;
    if (At(record, "state") == "failed") return Add(kRecordKey, kRecordLabel, kUnreadable);
    Add(kRecordKey, kRecordLabel, At(record, "raw"));
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

// A write's image (its "before" or its read-back "after"): the coefficients
// and the record it holds.
MeterState ImageState(const json& image) {
  StateBuilder b;
  const json& items = At(image, "items");
  for (const json& item : items.is_array() ? items : json::array()) {
    const bool read = At(item, "read") == true;
    if (At(item, "item") == "record")
      b.Add(kRecordKey, kRecordLabel, read ? At(item, "raw") : json(kUnreadable));
    if (At(item, "item") != "coef") continue;
    const json value = read ? At(item, "stored") : json(kUnreadable);
    const bool obr = At(item, "list") == "Obr";
    const size_t index = At(item, "index").get<size_t>();
    // Obr 0 and 1 are K0 and Ku: one field each, whichever list wrote it.
    b.Coef(At(item, "channel").get<int>(), obr && index >= 2, index, value);
  }
  return b.state;
}

// A number of the state is a float the meter keeps (FloatNumber's shortest form).
float Float(const json& v) {
  return static_cast<float>(v.get<double>());
}

std::string RecordValueText(const json& v) {
  const auto bytes = v.is_string() ? BytesFromHex(v.get<std::string>()) : std::nullopt;
  if (!bytes || bytes->size() != CalibrationRecordBytes{}.size()) return v.get<std::string>();
  CalibrationRecordBytes record{};
  std::copy(bytes->begin(), bytes->end(), record.begin());
  return RecordText(record);
}

std::string DayOf(const JournalRecord& r) {
  return r.timeLocal.substr(0, 10);
}

// The command line runs once per command; its events of a day are one visit,
// of one workstation: two engineers' visits of a day are two.
std::string SessionKey(const JournalRecord& r) {
  const json& run = At(r.event.payload, "run");
  const std::string where = r.event.workstation.empty() ? r.event.computer : r.event.workstation;
  if (r.event.program.rfind("calibrate-cli", 0) == 0 || !run.is_string())
    return where + " day " + DayOf(r);
  return where + " run " + run.get<std::string>();
}

}  // namespace

std::optional<MeterState> StateOf(const nlohmann::json& d, std::string& error) {
  try {
    if (d.contains("schema")) {
      if (d.at("schema") != 1) {
        error = "снимок схемы " + d.at("schema").dump() + ", а не 1";
        return std::nullopt;
      }
      return SnapshotState(d);
    }
    if (d.contains("operation") && d.contains("after")) return ImageState(d.at("after"));
    if (d.contains("result") && d.contains("channels")) return ReadState(d);
  } catch (const json::exception& e) {
    error = std::string("документ неожиданного вида: ") + e.what();
    return std::nullopt;
  }
  error = "не чтение, не снимок и не запись";
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

std::optional<MeterState> WriteBeforeState(const nlohmann::json& write) {
  if (!write.is_object() || !write.contains("before") || !write.at("before").is_object())
    return std::nullopt;
  try {
    return ImageState(write.at("before"));
  } catch (const json::exception&) {
    return std::nullopt;
  }
}

std::string FieldValueText(const std::string& key, const nlohmann::json& v) {
  if (v.is_null()) return "—";
  if (key == kRecordKey && v.is_string() && v != kUnreadable) return RecordValueText(v);
  if (v.is_string()) return v.get<std::string>();
  if (v.is_number()) return NumberText(v.get<double>());
  return v.dump();
}

std::string ChangeText(const FieldChange& c) {
  std::string text = FieldValueText(c.key, c.before) + " → " + FieldValueText(c.key, c.after);
  if (!c.difference) return text;
  const std::string share = ShareText(Float(c.before), Float(c.after));
  return text + " (" + DifferenceText(Float(c.before), Float(c.after)) +
         (share.empty() ? "" : ", " + share) + ")";
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

bool BeginsSession(const std::string& file, const std::string& id) {
  const std::vector<JournalSession> sessions = JournalSessions(ReadJournalFile(file));
  return !sessions.empty() && sessions.back().records.front().id == id;
}

const JournalSession* FindSession(const std::vector<JournalSession>& sessions,
                                  const std::string& ref, std::string& error) {
  if (sessions.empty()) {
    error = "в журнале нет событий прибора";
    return nullptr;
  }
  if (ref == "last") return &sessions.back();
  const JournalSession* found = nullptr;
  for (const JournalSession& s : sessions)
    for (const JournalRecord& r : s.records)
      if (ref.size() >= 4 && r.id.rfind(ref, 0) == 0) {
        if (found && found != &s) {
          error = "номер события " + ref + " неоднозначен";
          return nullptr;
        }
        found = &s;
      }
  if (!found) error = "в журнале прибора нет события " + ref;
  return found;
}

VisitComparison CompareWithPreviousVisit(const std::vector<JournalSession>& sessions) {
  VisitComparison out;
  std::optional<SessionState> last, previous;
  for (auto s = sessions.rbegin(); s != sessions.rend() && !previous; ++s) {
    SessionState state = FullestState(s->records);
    if (state.Empty()) continue;
    (last ? previous : last) = std::move(state);
  }
  if (!previous) {
    out.error = last ? "в журнале нет прошлого визита этого прибора"
                     : "в журнале нет ни чтения, ни снимка этого прибора";
    return out;
  }
  out.comparison = CompareStates(previous->left, last->left, false);
  out.last = *last->last;
  out.previous = *previous->last;
  out.ok = true;
  return out;
}
