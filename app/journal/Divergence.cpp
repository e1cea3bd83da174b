#include "Divergence.h"

#include <map>
#include <unordered_map>

#include "app/core/values/ValueText.h"

namespace {

struct Visit {
  std::string workstation;
  SessionState state;
  const JournalSession* session = nullptr;
};

// Events without a workstation id come from journals older than the ids: the
// computer's name stands for it.
std::string WorkstationOf(const JournalRecord& r) {
  return r.event.workstation.empty() ? r.event.computer : r.event.workstation;
}

// Whether a visit of one workstation knew of the other's visit: one of its
// events had seen the other's last event of that visit or a later one. An
// event we do not hold ourselves was seen all the same: it is later news.
bool Saw(const Visit& later, const Visit& earlier,
         const std::unordered_map<std::string, const JournalRecord*>& byHash) {
  for (const JournalRecord& r : later.session->records) {
    if (!r.seen.is_object()) continue;
    const auto it = r.seen.find(earlier.workstation);
    if (it == r.seen.end() || !it->is_string()) continue;
    const auto known = byHash.find(it->get<std::string>());
    if (known == byHash.end() || known->second->timeUtc >= earlier.state.last->timeUtc) return true;
  }
  return false;
}

std::string VisitLine(const char* number, const DivergentVisit& v) {
  const JournalEvent& e = v.last.event;
  std::string line = std::string("  ") + number + ") " + JournalTimeText(v.last.timeLocal);
  line += ", инженер " + (e.engineer.empty() ? std::string("не указан") : e.engineer);
  line += ", рабочее место " + (e.workstation.empty() ? e.computer : e.workstation);
  return line;
}

nlohmann::json VisitJson(const DivergentVisit& v) {
  nlohmann::json state = nlohmann::json::object();
  for (const StateField& f : v.left)
    state[f.key] = f.value;
  return {{"id", v.last.id},
          {"timeUtc", v.last.timeUtc},
          {"engineer", v.last.event.engineer},
          {"workstation", v.last.event.workstation},
          {"computer", v.last.event.computer},
          {"left", state}};
}

}  // namespace

std::optional<Divergence> FindDivergence(const std::vector<JournalSession>& sessions) {
  std::unordered_map<std::string, const JournalRecord*> byHash;
  std::map<std::string, Visit> heads;  // each workstation's latest visit with a state
  for (const JournalSession& s : sessions) {
    for (const JournalRecord& r : s.records)
      byHash[r.hash] = &r;
    SessionState state = FullestState(s.records);
    if (state.Empty()) continue;
    const std::string ws = WorkstationOf(*state.last);
    Visit& head = heads[ws];
    if (!head.session || state.last->timeUtc >= head.state.last->timeUtc)
      head = {ws, std::move(state), &s};
  }
  std::optional<Divergence> latest;
  for (auto a = heads.begin(); a != heads.end(); ++a)
    for (auto b = std::next(a); b != heads.end(); ++b) {
      const bool aFirst = a->second.state.last->timeUtc <= b->second.state.last->timeUtc;
      const Visit& earlier = aFirst ? a->second : b->second;
      const Visit& later = aFirst ? b->second : a->second;
      if (Saw(later, earlier, byHash) || Saw(earlier, later, byHash)) continue;
      if (CompareStates(earlier.state.left, later.state.found, false).Equal()) continue;
      StateComparison difference = CompareStates(earlier.state.left, later.state.left, false);
      if (difference.Equal()) continue;
      if (latest && latest->later.last.timeUtc >= later.state.last->timeUtc) continue;
      latest = Divergence{{*earlier.state.last, earlier.state.left},
                          {*later.state.last, later.state.left},
                          std::move(difference)};
    }
  return latest;
}

std::string DivergenceText(const Divergence& d) {
  std::string text = std::string(kDivergenceText) + "\n";
  text += VisitLine("1", d.earlier) + "\n" + VisitLine("2", d.later) + "\n";
  for (const FieldChange& c : d.difference.changes)
    text += "  " + c.label + ": 1) " + FieldValueText(c.key, c.before) + "; 2) " +
            FieldValueText(c.key, c.after) + "\n";
  return text;
}

nlohmann::json ToJson(const Divergence& d) {
  return {{"text", kDivergenceText},
          {"visits", {VisitJson(d.earlier), VisitJson(d.later)}},
          {"difference", ToJson(d.difference)}};
}
