// A route's visit of a meter when the journal is on: once the snapshot is in
// the meter's journal, the visit's report (ServiceReport.h) as
// <serial>.html, and what changed since the meter's previous visit.
#pragma once

#include <string>

#include "app/core/ops/Route.h"

inline constexpr const char* kFirstVisit = "первый визит";
inline constexpr const char* kNoChange = "без изменений";

// dir: the journal's folder. A snapshot the journal does not hold (it could
// not be appended, or the meter gave no serial number) gets the visit of
// UnjournalledVisit, saying so.
RouteVisit JournalledVisit(const std::string& dir, const MeterSnapshot& snapshot);
