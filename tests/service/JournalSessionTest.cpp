// Sessions of a meter's journal file and its previous visit, on records made
// up in memory: the window's runs, the command line's days, writes between.
#include <gtest/gtest.h>

#include "app/journal/JournalCompare.h"

namespace {

struct Ev {
  const char* program;
  const char* run;  // "" for none
  const char* day;
  const char* kind;
  double k0;
};

JournalFileContent Content(const std::vector<Ev>& events) {
  JournalFileContent c;
  c.ok = true;
  int n = 0;
  for (const Ev& e : events) {
    JournalRecord r;
    r.id = "abcd" + std::to_string(1000 + n++);
    r.timeLocal = std::string(e.day) + "T10:00:00.000+03:00";
    r.event.kind = e.kind;
    r.event.program = e.program;
    r.event.payload = {{"result", "ok"},
                       {"channels", {{{"k0", {{"state", "read"}, {"stored", e.k0}}}}}}};
    if (*e.run) r.event.payload["run"] = e.run;
    c.records.insert(c.records.begin(), r);  // newest first, as read back
  }
  return c;
}

}  // namespace

TEST(JournalSession, SessionsAndThePreviousVisit) {
  const char* cli = "calibrate-cli 1.1";
  const char* gui = "calibrate 1.1";
  struct Case {
    std::vector<Ev> events;
    std::vector<size_t> sizes;  // events per session, oldest first
    std::string change;         // compare --last: "" equal, "none" no earlier visit
  };
  const Case cases[] = {
      {{{cli, "a", "2026-12-01", "read", 1}, {cli, "b", "2026-12-01", "read", 2}}, {2}, "none"},
      {{{cli, "a", "2026-12-01", "read", 1}, {cli, "b", "2026-12-02", "read", 2}},
       {1, 1},
       "1 → 2 (+1, +100 %)"},
      {{{gui, "a", "2026-12-01", "read", 1},
        {gui, "a", "2026-12-02", "write", 0},
        {gui, "b", "2026-12-02", "read", 1},
        {gui, "b", "2026-12-02", "write", 0}},
       {2, 2},
       ""},  // equal: the previous visit's K0 is the same
      // A visit that only wrote is a visit: what it left is compared.
      {{{gui, "a", "2026-12-01", "read", 0}, {gui, "b", "2026-12-01", "write", 5}},
       {1, 1},
       "0 → 5 (+5)"},
      {{{gui, "", "2026-12-01", "read", 3}, {gui, "", "2026-12-01", "read", 4}}, {2}, "none"},
  };
  for (const Case& c : cases) {
    const std::vector<JournalSession> sessions = JournalSessions(Content(c.events));
    std::vector<size_t> sizes;
    for (const JournalSession& s : sessions)
      sizes.push_back(s.records.size());
    EXPECT_EQ(sizes, c.sizes) << c.events.size();
    const VisitComparison v = CompareWithPreviousVisit(sessions);
    if (c.change == "none") {
      EXPECT_FALSE(v.ok);
      EXPECT_NE(v.error.find("нет прошлого визита"), std::string::npos) << v.error;
      continue;
    }
    ASSERT_TRUE(v.ok) << v.error;
    EXPECT_EQ(v.comparison.changes.empty() ? "" : ChangeText(v.comparison.changes[0]), c.change);
  }
  std::string error;
  const auto sessions = JournalSessions(Content(cases[1].events));
  EXPECT_EQ(FindSession(sessions, "abcd1001", error), &sessions[1]);
  EXPECT_EQ(FindSession(sessions, "last", error), &sessions[1]);
  EXPECT_EQ(FindSession(sessions, "abcd", error), nullptr);  // both sessions match
  EXPECT_EQ(FindSession({}, "last", error), nullptr);
}
