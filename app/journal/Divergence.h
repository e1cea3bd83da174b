// Two as-left states of one meter that the record cannot put in order. Each
// workstation records offline; when two of them serviced one meter and
// neither had the other's visit in its journal (an event's "seen" names what
// its workstation had of the others), their visits are two branches of the
// meter's history. That is no conflict when the later visit found the meter
// as the earlier left it (the meter itself carried the news), nor when both
// left it alike; otherwise the record holds two states after service and
// says so, with both, instead of choosing one.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "JournalCompare.h"
#include "SessionState.h"

inline constexpr const char* kDivergenceText = "расхождение: два состояния после обслуживания";

struct DivergentVisit {
  JournalRecord last;  // the visit's last event with a state
  MeterState left;     // its as-left
};

struct Divergence {
  DivergentVisit earlier, later;  // by the time of their last events
  StateComparison difference;     // earlier's as-left against later's
};

// The latest divergence among the visits of sessions (oldest first, as
// JournalSessions gives them for a meter's merged events); nullopt when the
// record is one line of visits.
std::optional<Divergence> FindDivergence(const std::vector<JournalSession>& sessions);

// kDivergenceText, then one line per visit (time, engineer, workstation) and
// one per field the two leave differently.
std::string DivergenceText(const Divergence& divergence);
nlohmann::json ToJson(const Divergence& divergence);
