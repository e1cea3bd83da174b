// The write's confirmation in the window: "Записать" only with the digits
// and, when it warns, the tick that the warnings were checked; every row in
// sight up to the screen; and the service window's grid, the dialog and the
// command line showing one float as one text, with values the meter may no
// longer hold marked stale.
#include <QScreen>
#include <QTableWidget>
#include <iostream>
#include <sstream>

#include "GuiTestUtil.h"
#include "app/gui/service/ServiceWindow.h"
#include "cli/output/WriteOutput.h"
#include "sim/DemoMode.h"
#include "sim/FaultInjector.h"

namespace {

Confirmation WithRows(size_t rows, bool warn) {
  Confirmation c;
  for (size_t n = 0; n < rows; ++n)
    c.rows.push_back({"K[" + std::to_string(n % 10) + "] к.1", "0.0025", "0.00251", "+0.00001",
                      "+0.4 %", warn && n == 0});
  c.unchanged = 3;
  if (warn) c.warnings = {"K[0] к.1: изменение +12 % больше 5 %"};
  return c;
}

TEST(ConfirmationDialog, WriteNeedsTheDigitsAndForWarningsTheTick) {
  TestApp();
  struct Case {
    bool warn;
    QString digits;
    bool tick;
    WriteView::Answer answer;
  } const cases[] = {
      {false, "0517", false, WriteView::Answer::Write},
      {false, "0518", false, WriteView::Answer::DryRun},
      {true, "0517", true, WriteView::Answer::Write},
      {true, "0517", false, WriteView::Answer::DryRun},
      {true, "0518", true, WriteView::Answer::DryRun},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.digits.toStdString() + (c.warn ? " warns" : "") + (c.tick ? " ticked" : ""));
    bool boxShown = false;
    QString warningStyle;
    GuiWriteView view(nullptr, [&](QDialog& dialog, const QString& serial) {
      boxShown = dialog.findChild<QCheckBox*>("CBWarnings") != nullptr;
      if (auto* label = dialog.findChild<QLabel*>("LWarnings")) warningStyle = label->styleSheet();
      Typing(c.digits, c.tick)(dialog, serial);
    });
    view.ShowDifference(WithRows(2, c.warn));
    EXPECT_EQ(view.Confirm("360517"), c.answer);
    EXPECT_EQ(boxShown, c.warn);
    EXPECT_EQ(warningStyle.contains("color"), c.warn);
    EXPECT_EQ(view.WarningsAccepted(), c.warn && c.answer == WriteView::Answer::Write);
  }
}

TEST(ConfirmationDialog, ShowsEveryRowUpToTheScreen) {
  TestApp();
  for (const size_t rows : {size_t{4}, size_t{12}, size_t{300}}) {
    SCOPED_TRACE(rows);
    bool scrolls = false, fitsScreen = false;
    QString unchanged;
    GuiWriteView view(nullptr, [&](QDialog& dialog, const QString&) {
      dialog.show();
      QApplication::processEvents();
      scrolls = dialog.findChild<QTableWidget*>("DiffTable")->verticalScrollBar()->maximum() > 0;
      fitsScreen = dialog.frameGeometry().height() <= dialog.screen()->availableGeometry().height();
      unchanged = dialog.findChild<QLabel*>("LUnchanged")->text();
    });
    view.ShowDifference(WithRows(rows, false));
    view.Confirm("360517");
    EXPECT_EQ(scrolls, rows == 300);
    EXPECT_TRUE(fitsScreen);
    EXPECT_EQ(unchanged.toStdString(), "без изменений: 3");
  }
}

// The command line's confirmation of a dry run, as it prints it.
std::string CliConfirmation(Workbench& bench, const WriteRequest& request) {
  std::ostringstream out;
  std::streambuf* was = std::cout.rdbuf(out.rdbuf());
  CliWriteView view(std::nullopt, false, false, false);
  RunGuardedWrite(bench.MeterPort(), bench.GetCatalogue(), request, view);
  std::cout.rdbuf(was);
  return out.str();
}

// The demo ZFK-31 holds K0 = 163.84 on channel 1; K[2] is set to 0.00102.
TEST_F(WindowTest, OneFloatReadsTheSameInGridDialogAndCommandLine) {
  std::string error;
  auto demo = StartDemoMeter("zfk31", 0, 19200, error);
  ASSERT_TRUE(demo) << error;
  auto window = MakeWindow(ini.Path());
  window->SelectDeviceForRun(demo->Device(), "демо");
  window->CBBaud->setCurrentIndex(1);
  window->BRefreshClick();
  window->BServiceClick();
  TFrmService& service = *window->ServiceWindow();
  service.SetImageDir(QString::fromStdString(ini.Path() + ".images"));
  service.LoadClick();
  EXPECT_EQ(service.CoefCell(0, 1, 0)->text(), "163.84");
  service.CoefCell(0, 1, 0)->setText("163,9");
  service.CoefCell(0, 1, 2)->setText("0.00102");

  std::vector<QStringList> rows;
  service.SetAnswering([&](QDialog& dialog, const QString& serial) {
    const auto* table = dialog.findChild<QTableWidget*>("DiffTable");
    for (int r = 0; r < table->rowCount(); ++r)
      rows.push_back({table->item(r, 0)->text(), table->item(r, 1)->text().section(' ', 0, 0),
                      table->item(r, 2)->text().section(' ', 0, 0)});
    Typing(SerialTail(window->LastReading().serial))(dialog, serial);
  });
  service.WriteCoefsClick();
  ASSERT_EQ(service.LastOutcome()->status, WriteStatus::Verified)
      << service.StatusText().toStdString();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], (QStringList{"K[0] к.1", "163.84", "163.9"}));
  EXPECT_EQ(rows[1][2], "0.00102");
  EXPECT_EQ(service.CoefCell(0, 1, 0)->text(), "163.9");
  EXPECT_EQ(service.CoefCell(0, 1, 2)->text(), "0.00102");

  WriteRequest back;
  back.coefficients = {CoefTarget(CoefList::K, 1, 0, 163.84f),
                       CoefTarget(CoefList::K, 1, 2, 0.00102f)};
  back.saveDir = service.ImageDir().toStdString();
  const std::string cli = CliConfirmation(window->Bench(), back);
  EXPECT_NE(cli.find("K[0] к.1: 163.9 (в окне "), std::string::npos) << cli;
  EXPECT_NE(cli.find("-> 163.84 (в окне "), std::string::npos) << cli;
  EXPECT_NE(cli.find("без изменений: 1"), std::string::npos) << cli;  // K[2] holds 0.00102
}

// Values the meter may no longer hold: written and not read back, or shown
// from before a read that failed. Greyed with a tooltip until read afresh.
TEST_F(WindowTest, TheGridMarksValuesTheMeterMayNoLongerHold) {
  std::string error;
  auto demo = StartDemoMeter("zfk31", 0, 19200, error);
  ASSERT_TRUE(demo) << error;
  auto window = MakeWindow(ini.Path());
  window->SelectDeviceForRun(demo->Device(), "демо");
  window->CBBaud->setCurrentIndex(1);
  window->BRefreshClick();
  window->BServiceClick();
  TFrmService& service = *window->ServiceWindow();
  service.SetImageDir(QString::fromStdString(ini.Path() + ".images"));
  service.SetAnswering(Typing(SerialTail(window->LastReading().serial)));
  const auto stale = [&](int index) { return TFrmService::IsStale(service.CoefCell(0, 1, index)); };

  service.LoadClick();
  ASSERT_FALSE(stale(2) || stale(3));
  metersim::Fault powerLoss = metersim::MakeFault(metersim::FaultKind::PowerLoss);
  demo->Meter()->AddFault(powerLoss);  // takes the write, then answers no more
  service.CoefCell(0, 1, 2)->setText("0.00102");
  service.WriteCoefsClick();
  EXPECT_EQ(service.LastOutcome()->status, WriteStatus::Failed);
  EXPECT_TRUE(stale(2));
  EXPECT_EQ(service.CoefCell(0, 1, 2)->toolTip(), "значение устарело");
  EXPECT_FALSE(stale(3));
  service.LoadClick();  // the meter is silent now
  EXPECT_TRUE(stale(3));

  demo->Meter()->ClearFaults();
  demo->Meter()->PowerOn();
  service.LoadClick();
  EXPECT_FALSE(stale(2) || stale(3));
  EXPECT_EQ(service.CoefCell(0, 1, 2)->toolTip(), "");
}

}  // namespace
