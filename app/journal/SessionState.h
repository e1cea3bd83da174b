// The fullest state a session shows of its meter. No one event holds it: a
// read shows K0 and Ku, a snapshot every coefficient, a write the items it
// changed with their values before and as read back. So every field is taken
// from the events that know it: as found, its first known value (a read's, a
// snapshot's, or the value a write found before it wrote); as left, its last
// (a later read or snapshot, or a write's read-back).
#pragma once

#include <vector>

#include "JournalCompare.h"

struct SessionState {
  MeterState found;                      // every field the session knows, in the order first known
  MeterState left;                       // the same fields, each with its last known value
  const JournalRecord* first = nullptr;  // the first event that gave a value
  const JournalRecord* last = nullptr;   // the last one
  bool Empty() const { return found.empty(); }
  // The fields whose as-left differs from their as-found, nothing else.
  StateComparison Changes() const;
};

// records: oldest first, as a session holds them. A write's start gives its
// before-values (the outcome may never have come); only a write's outcome
// gives a read-back.
SessionState FullestState(const std::vector<JournalRecord>& records);

// The field of state with this key; null when it has none.
const StateField* FindField(const MeterState& state, const std::string& key);
