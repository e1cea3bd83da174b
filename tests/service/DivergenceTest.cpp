// When the merged record of a meter holds two states after service.
#include <gtest/gtest.h>

#include "app/journal/Divergence.h"

namespace {

nlohmann::json ReadWithK0(double k0) {
  return {{"result", "ok"}, {"channels", {{{"k0", {{"stored", k0}}}, {"ku", {{"stored", 1.0}}}}}}};
}

// A visit of workstation ws at minute: a read as found, one as left.
JournalSession Visit(const std::string& ws, int minute, double found, double left,
                     const nlohmann::json& seen = nullptr) {
  JournalSession s;
  for (int i = 0; i < 2; ++i) {
    JournalRecord r;
    r.hash = ws + std::to_string(minute) + "-" + std::to_string(i);
    r.id = r.hash;
    r.timeUtc = "2026-12-10T09:" + std::to_string(10 + minute) + ":0" + std::to_string(i) + "Z";
    r.timeLocal = r.timeUtc;
    r.event.kind = "read";
    r.event.workstation = ws;
    r.event.engineer = "инженер " + ws;
    r.event.payload = ReadWithK0(i == 0 ? found : left);
    r.seen = seen;
    s.records.push_back(r);
  }
  s.id = s.records.front().id;
  return s;
}

}  // namespace

TEST(Divergence, TwoStatesAfterServiceOnlyWhenNeitherVisitKnewTheOther) {
  const struct {
    const char* name;
    std::string laterWs;
    double laterFound, laterLeft;
    nlohmann::json seen;  // the later visit's events had seen this of a
    bool divergent;
  } cases[] = {
      {"neither knew, the meter had changed in between", "b", 1, 3, nullptr, true},
      {"b had a's last event", "b", 1, 3, {{"a", "a1-1"}}, false},
      {"b had only a's earlier visit", "b", 1, 3, {{"a", "a0-1"}}, true},
      {"b had an event of a it does not hold yet", "b", 1, 3, {{"a", "unknown"}}, false},
      {"b found the meter as a left it", "b", 2, 3, nullptr, false},
      {"both left it alike", "b", 1, 2, nullptr, false},
      {"one workstation's visits", "a", 1, 3, nullptr, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<JournalSession> sessions = {
        Visit("a", 0, 0, 1), Visit("a", 1, 1, 2),
        Visit(c.laterWs, 2, c.laterFound, c.laterLeft, c.seen)};
    const std::optional<Divergence> d = FindDivergence(sessions);
    ASSERT_EQ(d.has_value(), c.divergent);
    if (!d) continue;
    EXPECT_EQ(d->earlier.last.hash, "a1-1");
    EXPECT_EQ(d->later.last.hash, "b2-1");
    ASSERT_EQ(d->difference.changes.size(), 1u);
    const std::string text = DivergenceText(*d);
    for (const char* shown : {kDivergenceText, "инженер a", "инженер b", "рабочее место b"})
      EXPECT_NE(text.find(shown), std::string::npos) << shown << "\n" << text;
  }
}
