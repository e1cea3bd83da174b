#include "RouteVisit.h"

#include "JournalCompare.h"
#include "ServiceReport.h"

namespace {

// "изменилось: K0 канала 1, Запись калибровки".
std::string SinceLastVisit(const std::vector<JournalSession>& sessions) {
  const VisitComparison v = CompareWithPreviousVisit(sessions);
  if (!v.ok) return kFirstVisit;
  if (v.comparison.Equal()) return kNoChange;
  std::string text = "изменилось: ";
  for (size_t i = 0; i < v.comparison.changes.size(); ++i)
    text += (i ? ", " : "") + v.comparison.changes[i].label;
  return text;
}

}  // namespace

RouteVisit JournalledVisit(const std::string& dir, const MeterSnapshot& snapshot) {
  RouteVisit unjournalled = UnjournalledVisit(snapshot);
  unjournalled.sinceLastVisit = "нет в журнале";
  if (snapshot.serial.empty()) return unjournalled;
  const JournalFileContent content = ReadMeterJournal(dir, snapshot.serial);
  if (!content.ok) return unjournalled;
  const std::vector<JournalSession> sessions = JournalSessions(content);
  if (sessions.empty()) return unjournalled;
  const ServiceReport report = MakeServiceReport(sessions.back(), &content);
  return {RouteFileName(snapshot, ".html"), report.html, SinceLastVisit(sessions)};
}
