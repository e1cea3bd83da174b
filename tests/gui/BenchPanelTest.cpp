// "Поверка": pasted runs fill the table and the verdict (worked out by hand
// below), a bad text shows why and no table, the profile decides the limits
// and the flow fields asked for, the proposal needs a meter.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QtCharts/QChartView>

#include <cmath>

#include "GuiTestUtil.h"
#include "app/gui/service/BenchPanel.h"

namespace {

class BenchPanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    panel.LoadProfiles(ini.Path() + ".none");  // no own profiles but the test's
  }
  void Choose(const char* id) { panel.CBProfile->setCurrentIndex(panel.CBProfile->findData(id)); }
  QString Cell(int row, int column) const {
    const QTableWidgetItem* item = panel.Table->item(row, column);
    return item ? item->text() : "<нет>";
  }
  int SeriesCount() const { return static_cast<int>(panel.Chart->chart()->series().size()); }

  QApplication& app = TestApp();  // before the panel
  ScratchIni ini;
  Workbench bench{ini.Path(), "calibrate"};
  TBenchPanel panel{bench};
};

struct PasteCase {
  const char* profile;
  const char* flows[3];  // typed in Q1, Q2 and qp
  const char* runs;
  // The cells of each row: channel, flow, runs, MF, error, repeatability,
  // limit, limit less U, result.
  std::vector<QString> rows;
  bool pass;
  int series;  // curves per channel, ± MPE, ± MPE - U where a guard band applies
};

TEST_F(BenchPanelTest, PastedRunsFillTheTableWithTheirVerdicts) {
  const PasteCase cases[] = {
      // MI-005 0.5 (±0.5 %). Channel 1 at 5: 100 -> 100.2 twice, MF =
      // 100/100.2 = 0.998004, error +0.2 %, U 0.2 > 0.5/5: guard band, 0.3;
      // годен. Channel 2 at 1: 100 -> 101 twice, MF 0.990099, +1 %: не годен.
      {"mi005-0.5",
       {"", "", ""},
       "к;q;эт;пок;t;U\n1;5;100;100,2;60;0,2\n1;5;100;100,2;60;0,2\n2;1;100;101;60\n"
       "2;1;100;101;60\n",
       {"1|5|2|0.998004|+0.200|0.000|±0.50|±0.30|годен",
        "2|1|2|0.990099|+1.000|0.000|±0.50|±0.50|не годен"},
       false,
       2 + 2 + 2},
      // R 49 class 2, Q1 1, Q2 1.6: at 1 (±5 %) 100 -> 104, MF 0.961538,
      // +4 %; at 10 (±2 %) one run 100 -> 101, +1 %: both годен.
      {"r49-2",
       {"1", "1,6", ""},
       "c,q,r,i,t\n1,1,100,104,60\n1,1,100,104,60\n1,10,100,101,60\n",
       {"1|1|2|0.961538|+4.000|0.000|±5.00|±5.00|годен",
        "1|10|1|0.990099|+1.000|—|±2.00|±2.00|годен"},
       true,
       1 + 2},
      // EN 1434 class 2, qp 1.5: at 0.15 MPE = 2 + 0.02·1.5/0.15 = 2.2 %;
      // 100 -> 102.5 is +2.5 %: не годен.
      {"en1434-2",
       {"", "", "1,5"},
       "c,q,r,i,t\n1,0.15,100,102.5,60\n1,0.15,100,102.5,60\n",
       {"1|0.15|2|0.975610|+2.500|0.000|±2.20|±2.20|не годен"},
       false,
       1 + 2},
  };
  for (const PasteCase& c : cases) {
    SCOPED_TRACE(c.profile);
    Choose(c.profile);
    panel.EQ1->setText(c.flows[0]);
    panel.EQ2->setText(c.flows[1]);
    panel.EQp->setText(c.flows[2]);
    panel.ERuns->setPlainText(c.runs);
    EXPECT_TRUE(panel.LError->text().isEmpty()) << panel.LError->text().toStdString();
    std::vector<QString> rows;
    for (int r = 0; r < panel.Table->rowCount(); ++r) {
      QStringList cells;
      for (int k = 0; k < TBenchPanel::CCount; ++k)
        cells << Cell(r, k);
      rows.push_back(cells.join('|'));
    }
    EXPECT_EQ(rows, c.rows);
    EXPECT_TRUE(panel.LVerdict->text().contains(c.pass ? ": прибор годен" : ": прибор не годен"))
        << panel.LVerdict->text().toStdString();
    EXPECT_EQ(SeriesCount(), c.series);
    panel.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(TextFit::Clipped(panel), std::vector<std::string>{});
  }
  // The first case's limits on the chart; its guard band dashed at 0.5 - 0.2.
  Choose("mi005-0.5");
  panel.ERuns->setPlainText(cases[0].runs);
  for (const auto* s : panel.Chart->chart()->series()) {
    const auto* line = static_cast<const QLineSeries*>(s);
    if (s->name() == "Допуск МПП − U") EXPECT_NEAR(std::abs(line->at(0).y()), 0.3, 1e-9);
    if (s->name() == "Предел ±МПП") EXPECT_NEAR(std::abs(line->at(0).y()), 0.5, 1e-9);
  }
}

TEST_F(BenchPanelTest, BadRunsOrFlowsShowWhyAndNoTable) {
  Choose("mi005-1.0");
  const char* bad[] = {"c,q,r,i,t\n1,abc,100,100,60\n", "c,q,r,i,t\n3,1,100,100,60\n",
                       "c,q,r,i,t\n1,1,100\n"};
  for (const char* text : bad) {
    panel.ERuns->setPlainText("c,q,r,i,t\n1,1,100,100,60\n");
    ASSERT_EQ(panel.Table->rowCount(), 1);
    panel.ERuns->setPlainText(text);
    EXPECT_TRUE(panel.LError->text().startsWith("Прогоны: ")) << text;
    EXPECT_EQ(panel.Table->rowCount(), 0) << text;
    EXPECT_EQ(SeriesCount(), 0) << text;
    EXPECT_TRUE(panel.LVerdict->text().isEmpty()) << text;
  }
  Choose("r49-1");  // no Q1/Q2 typed
  panel.ERuns->setPlainText("c,q,r,i,t\n1,1,100,100,60\n");
  EXPECT_TRUE(panel.LError->text().startsWith("Профиль: ")) << panel.LError->text().toStdString();
  EXPECT_EQ(panel.Table->rowCount(), 0);
}

TEST_F(BenchPanelTest, TheProfileDecidesTheLimitAndTheFlowFields) {
  std::ofstream(ini.Path() + ".profiles") << "[Завод]\nLimit1=0..*:4\n";
  panel.LoadProfiles(ini.Path() + ".profiles");
  panel.ERuns->setPlainText("c,q,r,i,t\n1,5,100,100,60\n");
  struct Case {
    const char* id;
    const char* flow;  // typed into every enabled field
    bool r49, qp;      // which fields are enabled
    const char* limit;
  };
  // EN 1434 class 3 at qp 5, q 5: 3 + 0.05·5/5 = 3.05 %.
  const Case cases[] = {{"mi005-0.5", "", false, false, "±0.50"},
                        {"r49-2", "", true, false, "<нет>"},  // no flows yet: no table
                        {"en1434-3", "5", false, true, "±3.05"},
                        {"Завод", "", false, false, "±4.00"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    Choose(c.id);
    ASSERT_EQ(panel.CBProfile->currentData().toString(), c.id);
    for (QLineEdit* e : {panel.EQ1, panel.EQ2, panel.EQ3, panel.ERatio})
      EXPECT_EQ(e->isEnabled(), c.r49);
    EXPECT_EQ(panel.EQp->isEnabled(), c.qp);
    if (c.qp) panel.EQp->setText(c.flow);
    EXPECT_EQ(Cell(0, TBenchPanel::CLimit), c.limit);
  }
  EXPECT_EQ(panel.CBProfile->itemText(panel.CBProfile->findData("r49-2")), "OIML R 49, класс 2");

  std::ofstream(ini.Path() + ".profiles") << "[Завод]\nLimit1=2..1:4\n";
  panel.LoadProfiles(ini.Path() + ".profiles");
  EXPECT_EQ(panel.CBProfile->findData("Завод"), -1);
  EXPECT_TRUE(panel.LError->text().contains(".profiles")) << panel.LError->text().toStdString();
}

TEST_F(BenchPanelTest, ProposalNeedsAMeterAndFollowsTheLinearModel) {
  Choose("mi005-1.0");
  // +1 % at 1 and at 10: x = indicated = 1.01 and 10.1 with K0 0, Ku 1, so
  // the fitted line is reference = x / 1.01: Ku 0.990099, K0 0.
  panel.ERuns->setPlainText("c,q,r,i,t\n1,1,100,101,60\n1,10,100,101,60\n");
  EXPECT_FALSE(panel.BPropose->isEnabled());
  EXPECT_TRUE(panel.BPropose->toolTip().startsWith("Нет прибора"));
  MeterReading reading;
  reading.identified = true;
  reading.path = ReadPath::Zfk31;
  ChannelReading& ch = reading.channels[0];
  ch.k0.state = ch.ku.state = ch.gmaxState = ValueState::Read;
  ch.kuShown = 1;
  ch.gmax = 10;
  bench.SetLastReading(reading);
  panel.ShowMeter();
  ASSERT_TRUE(panel.BPropose->isEnabled());
  panel.BPropose->click();
  const QString text = panel.EProposal->toPlainText();
  EXPECT_TRUE(text.contains("Ku  1 → 0.990099")) << text.toStdString();
  EXPECT_TRUE(text.contains(QRegularExpression("  1 м³/ч: \\+1.000 % → [+-]?0.000 %")))
      << text.toStdString();
}

}  // namespace
