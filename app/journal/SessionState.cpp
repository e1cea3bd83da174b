#include "SessionState.h"

namespace {

StateField* Find(MeterState& state, const std::string& key) {
  return const_cast<StateField*>(FindField(state, key));
}

// Values the meter held before the event: only what nothing earlier told.
void Found(SessionState& s, const MeterState& values) {
  for (const StateField& f : values)
    if (!Find(s.found, f.key)) {
      s.found.push_back(f);
      s.left.push_back(f);
    }
}

// Values the meter holds after the event.
void Left(SessionState& s, const MeterState& values) {
  Found(s, values);
  for (const StateField& f : values)
    Find(s.left, f.key)->value = f.value;
}

void Mark(SessionState& s, const JournalRecord& r) {
  if (!s.first) s.first = &r;
  s.last = &r;
}

}  // namespace

const StateField* FindField(const MeterState& state, const std::string& key) {
  for (const StateField& f : state)
    if (f.key == key) return &f;
  return nullptr;
}

StateComparison SessionState::Changes() const {
  return CompareStates(found, left, false);
}

SessionState FullestState(const std::vector<JournalRecord>& records) {
  SessionState s;
  for (const JournalRecord& r : records) {
    const std::string& kind = r.event.kind;
    std::string error;
    if (kind == "write" || kind == "write-started")
      if (const auto before = WriteBeforeState(r.event.payload); before && !before->empty()) {
        Found(s, *before);
        Mark(s, r);
      }
    if (kind != "read" && kind != "snapshot" && kind != "write") continue;
    const auto state = StateOf(r.event.payload, error);
    if (!state || state->empty()) continue;
    Left(s, *state);
    Mark(s, r);
  }
  return s;
}
