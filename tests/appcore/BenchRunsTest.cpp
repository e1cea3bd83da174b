// The bench's evaluation against numbers worked out by hand, the faults of
// runs files and profiles.ini, and the proposed adjustment.
#include <gtest/gtest.h>

#include <cmath>

#include "app/core/ops/BenchRuns.h"

namespace {

constexpr double kNone = -1;  // no repeatability / no limit expected

struct PointWant {
  double flow, mf, error, repeatability, limit, acceptance;
  bool pass;
};

struct GoldenCase {
  const char* what;
  const char* profile;
  ProfileFlows flows;
  const char* runs;
  std::vector<PointWant> points;  // channel 1
  bool pass;
};

TEST(BenchRuns, GoldenRunsGiveHandComputedResults) {
  const GoldenCase cases[] = {
      // R 49 class 2, Q1 = 1, Q2 = 1.6. At 1.0 (Q1 <= q < Q2, ±5 %): three
      // runs 100 -> 104, MF = 100/104 = 0.961538, error +4 %, repeatability 0.
      // At 10 (±2 %): MF 100/101 = 0.990099 and 100/101.02 = 0.989903, mean
      // 0.990001; repeatability 0.000196/0.990001 = 0.0198 %; error
      // 1/0.990001 - 1 = +1.0100 %. Both pass.
      {"r49-2",
       "r49-2",
       {.q1 = 1, .q2 = 1.6},
       "канал,расход,эталон,показание,время\n"
       "1,1,100,104,60\n1,1,100,104,60\n1,1,100,104,60\n"
       "1,10,100,101,60\n1,10,100,101.02,60\n",
       {{1, 0.961538, 4.0, 0, 5, 5, true}, {10, 0.990001, 1.0100, 0.0198, 2, 2, true}},
       true},
      // Repeatability fails: MF 1 and 100/100.1 = 0.999001, mean 0.9995005,
      // (1 - 0.999001)/0.9995005 = 0.0999 % > 0.05 %; the error
      // 1/0.9995005 - 1 = +0.0500 % alone would pass MI-005 0.5.
      // Semicolons and decimal commas, as a Russian spreadsheet writes.
      {"repeatability",
       "mi005-0.5",
       {},
       "канал;расход;эталон;показание;время\n1;5;100;100;60\n1;5;100;100,1;60\n",
       {{5, 0.9995005, 0.0500, 0.0999, 0.5, 0.5, false}},
       false},
      // EN 1434 class 2, qp = 1.5: at 0.15 MPE = 2 + 0.02·1.5/0.15 = 2.2 %,
      // 100 -> 102.5 is +2.5 %: outside. At 1.5 MPE = 2.02 %, +1 % passes.
      {"en1434-2",
       "en1434-2",
       {.qp = 1.5},
       "c,q,ref,ind,t\n1,0.15,100,102.5,60\n1,0.15,100,102.5,60\n"
       "1,1.5,100,101,60\n1,1.5,100,101,60\n",
       {{0.15, 0.975610, 2.5, 0, 2.2, 2.2, false}, {1.5, 0.990099, 1.0, 0, 2.02, 2.02, true}},
       false},
      // EN 1434 class 3 at q = qp/100: 3 + 0.05·100 = 8 %, capped at 5 %.
      {"en1434-3 cap",
       "en1434-3",
       {.qp = 1},
       "c,q,ref,ind,t\n1,0.01,100,104,60\n1,0.01,100,104,60\n",
       {{0.01, 0.961538, 4.0, 0, 5, 5, true}},
       true},
      // Guard band: MI-005 1.0 with U = 0.3 % > 1.0/5: acceptance 0.7 %, so
      // +0.8 % fails; with U = 0.2 % (not above a fifth) the limit stays 1 %.
      {"guard band",
       "mi005-1.0",
       {},
       "c,q,ref,ind,t,u\n1,2,100,100.8,60,0.3\n1,2,100,100.8,60,0.3\n"
       "1,4,100,100.8,60,0.2\n1,4,100,100.8,60,0.2\n",
       {{2, 0.992063, 0.8, 0, 1, 0.7, false}, {4, 0.992063, 0.8, 0, 1, 1, true}},
       false},
      // One run has no repeatability: it passes on its error, with a note.
      // Below Q1 (0.5 < 1) R 49 sets no limit: the point fails.
      {"one run, below Q1",
       "r49-1",
       {.q1 = 1, .q2 = 1.6},
       "c,q,ref,ind,t\n1,0.5,100,100,60\n1,2,100,100.5,60\n",
       {{0.5, 1, 0, kNone, kNone, kNone, false}, {2, 0.995025, 0.5, kNone, 1, 1, true}},
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const RunsParse runs = ParseRuns(c.runs);
    ASSERT_TRUE(runs.Ok()) << runs.error;
    const ProfileResult profile = BuiltInProfile(c.profile, c.flows);
    ASSERT_TRUE(profile.Ok()) << profile.error;
    const BenchResult result = EvaluateRuns(runs.runs, profile.profile);
    ASSERT_EQ(result.channels.size(), 1u);
    const auto& points = result.channels[0].points;
    ASSERT_EQ(points.size(), c.points.size());
    for (size_t i = 0; i < points.size(); ++i) {
      const PointWant& want = c.points[i];
      EXPECT_DOUBLE_EQ(points[i].flow, want.flow);
      EXPECT_NEAR(points[i].mf, want.mf, 1e-6);
      EXPECT_NEAR(points[i].errorPercent, want.error, 1e-4);
      EXPECT_EQ(points[i].repeatabilityPercent.has_value(), want.repeatability != kNone);
      if (want.repeatability != kNone) {
        EXPECT_NEAR(*points[i].repeatabilityPercent, want.repeatability, 1e-4);
      } else {
        EXPECT_FALSE(points[i].notes.empty());
      }
      EXPECT_EQ(points[i].limitPercent.has_value(), want.limit != kNone);
      if (want.limit != kNone) {
        EXPECT_NEAR(*points[i].limitPercent, want.limit, 1e-9);
        EXPECT_NEAR(*points[i].acceptancePercent, want.acceptance, 1e-9);
      }
      EXPECT_EQ(points[i].pass, want.pass) << "point " << want.flow;
    }
    EXPECT_EQ(result.channels[0].pass, c.pass);
    EXPECT_EQ(result.pass, c.pass);
    EXPECT_NE(BenchResultJson(result).find(c.pass ? "\"pass\":true}" : "\"pass\":false}"),
              std::string::npos);
  }
}

TEST(BenchRuns, RunsFileFaultsNameTheLineAndColumn) {
  const struct {
    std::string text;
    RunsLayout layout;
    const char* error;  // a part of the message; empty: parses
  } cases[] = {
      {"к,р,э,п,т\n3,1,100,100,60\n", RunsLayout::Evaluate, "строка 2, столбец «канал»"},
      {"к;р;э;п;т\n\n1;1;100;abc;60\n", RunsLayout::Evaluate,
       "строка 3, столбец «показание»: не число"},
      {"h\n1,1,100,100\n", RunsLayout::Evaluate, "строка 2: 4 столбцов, ожидается 5 или 6"},
      {"h\n1,1,0,100,60\n", RunsLayout::Evaluate, "столбец «эталон»: должно быть больше нуля"},
      {"h\n1,1,100,100,60,-1\n", RunsLayout::Evaluate, "«неопределённость»: не может быть"},
      {"h\n# только заметка\n", RunsLayout::Evaluate, "нет ни одного прогона"},
      {"h\n1,1,100,100,60,0.1,7\n", RunsLayout::Evaluate, "7 столбцов"},
      {std::string(kMaxRunsText + 1, '#'), RunsLayout::Evaluate, "больше 1024 КБ"},
      {"\xEF\xBB\xBFк;р;э;т\n2;10,5;100;60\n", RunsLayout::Sample, ""},
      {"h\n1,10,100,100,60,1\n", RunsLayout::Sample, "6 столбцов, ожидается 4 или 5"},
      {"h\n1,10,100,1e999\n", RunsLayout::Sample, "«длительность»: не число"},
  };
  for (const auto& c : cases) {
    const RunsParse parsed = ParseRuns(c.text, c.layout);
    if (*c.error == 0) {
      ASSERT_TRUE(parsed.Ok()) << parsed.error;
      EXPECT_EQ(parsed.runs[0].channel, 2);
      EXPECT_DOUBLE_EQ(parsed.runs[0].nominalFlow, 10.5);
    } else {
      EXPECT_NE(parsed.error.find(c.error), std::string::npos)
          << c.text.substr(0, 40) << " -> " << parsed.error;
    }
  }
}

TEST(BenchRuns, ProfilesAndTheirFaults) {
  const struct {
    const char* ini;
    const char* error;
  } faults[] = {
      {"[A]\nLimit1=0..2\n", "ожидается «от..до:предел»"},
      {"[A]\nLimit1=0..2:5\nLimit2=1..3:2\n", "полосы перекрываются"},
      {"[A]\nName=x\n", "нет ни одной строки Limit"},
      {"Limit1=0..2:5\n", "строка 1: ключ вне раздела"},
      {"[A\n", "раздел без «]»"},
      {"[A]\nFoo=1\nLimit1=0..*:1\n", "неизвестный ключ Foo"},
      {"[A]\nRepeatability=-1\nLimit1=0..*:1\n", "Repeatability"},
      {"[A]\nLimit1=2..1:1\n", "ожидается"},
  };
  for (const auto& c : faults) {
    EXPECT_NE(ParseProfiles(c.ini).error.find(c.error), std::string::npos) << c.ini;
  }
  const ProfilesParse own = ParseProfiles(
      "; a department's class\n[Завод]\nName=Класс завода\nRepeatability=0,1\n"
      "Limit2=2..*:2\nLimit1=0..2:5 ; low flows\n");
  ASSERT_TRUE(own.Ok()) << own.error;
  ASSERT_EQ(own.profiles.size(), 1u);
  EXPECT_EQ(own.profiles[0].name, "Класс завода");
  EXPECT_DOUBLE_EQ(own.profiles[0].repeatabilityLimit, 0.1);

  // The built-in flows: Q1 = 2.5/100 = 0.025, Q2 = 1.6·Q1 = 0.04.
  const ProfileResult r49 = BuiltInProfile("r49-1", {.q3 = 2.5, .ratio = 100});
  ASSERT_TRUE(r49.Ok()) << r49.error;
  const struct {
    const BenchProfile& profile;
    double q;
    double limit;  // kNone: no band
  } limits[] = {{own.profiles[0], 1, 5},    {own.profiles[0], 2, 2}, {own.profiles[0], 900, 2},
                {r49.profile, 0.02, kNone}, {r49.profile, 0.03, 3},  {r49.profile, 0.04, 1}};
  for (const auto& c : limits) {
    const auto limit = LimitAt(c.profile, c.q);
    EXPECT_EQ(limit.value_or(kNone), c.limit) << c.profile.id << " at " << c.q;
  }
  const struct {
    const char* id;
    ProfileFlows flows;
  } wrongFlows[] = {{"r49-2", {}},
                    {"r49-2", {.q1 = 1, .q2 = 2, .q3 = 3, .ratio = 80}},
                    {"r49-2", {.q1 = 2, .q2 = 1}},
                    {"en1434-2", {.q1 = 1, .q2 = 2, .qp = 1.5}},
                    {"en1434-3", {}},
                    {"mi005-1.0", {.qp = 1}},
                    {"mi005-7", {}}};
  for (const auto& c : wrongFlows)
    EXPECT_FALSE(BuiltInProfile(c.id, c.flows).Ok()) << c.id;
}

TEST(BenchRuns, AdjustmentFitsTheLinearModel) {
  // The meter indicates 1.02·q + 0.05 (q = 2 -> 2.09, q = 5 -> 5.15), with
  // K0 = 0.01, Ku = 1, Gmax = 10: x = indicated - 0.1 is 1.99 and 5.05. The
  // line through (1.99, 2), (5.05, 5): Ku' = 3/3.06 = 0.980392,
  // K0'·Gmax = 2 - 0.980392·1.99 = 0.049020, K0' = 0.0049020.
  const RunsParse runs =
      ParseRuns("h\n1,2,200,209,60\n1,2,200,209,60\n1,5,500,515,60\n1,5,500,515,60\n");
  ASSERT_TRUE(runs.Ok());
  const BenchResult found = EvaluateRuns(runs.runs, BuiltInProfile("mi005-1.0", {}).profile);
  const ChannelCoefficients old[] = {{1, 0.01, 1, 10}};
  const AdjustProposal proposal = ProposeAdjustment(found, old);
  ASSERT_TRUE(proposal.Ok()) << proposal.error;
  const ChannelAdjustment& ch = proposal.channels.at(0);
  EXPECT_NEAR(ch.after.ku, 0.980392, 1e-6);
  EXPECT_NEAR(ch.after.k0, 0.0049020, 1e-7);
  ASSERT_EQ(ch.points.size(), 2u);
  EXPECT_NEAR(ch.points[0].asFoundError, 4.5, 1e-9);  // 2.09/2 - 1
  for (const auto& p : ch.points)
    EXPECT_NEAR(p.asLeftError, 0, 1e-9);

  // Refused: Ku would change by 1.96 % > 1 %; a channel without coefficients;
  // a point whose repeatability fails.
  EXPECT_NE(ProposeAdjustment(found, old, 0.01).error.find("Ku изменился бы на 2.0 %"),
            std::string::npos);
  EXPECT_FALSE(ProposeAdjustment(found, {}).Ok());
  const RunsParse scattered = ParseRuns("h\n1,2,200,209,60\n1,2,200,210,60\n");
  const BenchResult bad = EvaluateRuns(scattered.runs, BuiltInProfile("mi005-1.0", {}).profile);
  EXPECT_NE(ProposeAdjustment(bad, old).error.find("повторяемость"), std::string::npos);
}

}  // namespace
