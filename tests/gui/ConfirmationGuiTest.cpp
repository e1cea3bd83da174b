// The write's confirmation in the window, and one float as one text in the
// service window's grid, the dialog and the command line.
#include <QTableWidget>
#include <iostream>
#include <sstream>

#include "GuiTestUtil.h"
#include "app/gui/service/ServiceWindow.h"
#include "cli/output/WriteOutput.h"
#include "sim/DemoMode.h"
#include "sim/FaultInjector.h"

namespace {

// Twelve rows, the first warned of when warn; "Записать" needs the digits
// and, with warnings, the tick; every row in sight.
TEST(ConfirmationDialog, WriteNeedsTheDigitsAndForWarningsTheTick) {
  TestApp();
  const struct {
    bool warn;
    QString digits;
    bool tick;
    WriteView::Answer answer;
  } cases[] = {
      {false, "0517", false, WriteView::Answer::Write},
      {false, "0518", false, WriteView::Answer::DryRun},
      {true, "0517", true, WriteView::Answer::Write},
      {true, "0517", false, WriteView::Answer::DryRun},
      {true, "0518", true, WriteView::Answer::DryRun},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.digits.toStdString() + (c.warn ? " warns" : "") + (c.tick ? " ticked" : ""));
    bool box = false, scrolls = true;
    GuiWriteView view(nullptr, [&](QDialog& dialog, const QString& serial) {
      dialog.show();
      QApplication::processEvents();
      box = dialog.findChild<QCheckBox*>("CBWarnings") != nullptr;
      scrolls = dialog.findChild<QTableWidget*>("DiffTable")->verticalScrollBar()->maximum() > 0;
      // CALIBRATE_SHOT_DIR, when set, receives a picture of the dialog that warns.
      if (const QByteArray dir = qgetenv("CALIBRATE_SHOT_DIR"); c.warn && !dir.isEmpty())
        dialog.grab().save(QString::fromUtf8(dir) + "/confirmation.png");
      Typing(c.digits, c.tick)(dialog, serial);
    });
    Confirmation confirmation;
    confirmation.rows.assign(12, {"K[2] к.1", "0.0025", "0.00251", "+0.00001", "+0.4 %", c.warn});
    if (c.warn) confirmation.warnings = {"K[2] к.1: изменение +12 % больше 5 %"};
    view.ShowDifference(confirmation);
    EXPECT_EQ(view.Confirm("360517"), c.answer);
    EXPECT_EQ(box, c.warn);
    EXPECT_FALSE(scrolls);
    EXPECT_EQ(view.WarningsAccepted(), c.warn && c.answer == WriteView::Answer::Write);
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
// Then values the meter may no longer hold, written and not read back or
// from before a read that failed, are greyed until read afresh.
TEST_F(WindowTest, OneFloatReadsTheSameEverywhereAndStaleValuesAreMarked) {
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
  QStringList rows;  // item, before, after; K0 with the window's figure
  service.SetAnswering([&](QDialog& dialog, const QString& serial) {
    const auto* t = dialog.findChild<QTableWidget*>("DiffTable");
    for (int r = 0; r < t->rowCount(); ++r)
      rows << t->item(r, 0)->text() + "|" + t->item(r, 1)->text() + "|" + t->item(r, 2)->text();
    Typing(SerialTail(window->LastReading().serial))(dialog, serial);
  });
  service.WriteCoefsClick();
  ASSERT_EQ(service.LastOutcome()->status, WriteStatus::Verified);
  ASSERT_EQ(rows.size(), 2);
  EXPECT_TRUE(rows[0].startsWith("K[0] к.1|163.84 (в окне ")) << rows[0].toStdString();
  EXPECT_TRUE(rows[0].contains("|163.9 (в окне ")) << rows[0].toStdString();
  EXPECT_EQ(rows[1], "K[2] к.1|0.0010200001|0.00102");
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

  const auto stale = [&](int index) { return TFrmService::IsStale(service.CoefCell(0, 1, index)); };
  ASSERT_FALSE(stale(2) || stale(3));
  demo->Meter()->AddFault(metersim::MakeFault(metersim::FaultKind::PowerLoss));
  service.CoefCell(0, 1, 2)->setText("0.002");
  service.WriteCoefsClick();  // taken, then the meter answers no more
  EXPECT_EQ(service.LastOutcome()->status, WriteStatus::Failed);
  EXPECT_TRUE(stale(2));
  EXPECT_EQ(service.CoefCell(0, 1, 2)->toolTip(), "значение устарело");
  EXPECT_FALSE(stale(3));
  service.LoadClick();
  EXPECT_TRUE(stale(3));
  demo->Meter()->ClearFaults();
  demo->Meter()->PowerOn();
  service.LoadClick();
  EXPECT_FALSE(stale(2) || stale(3));
}

}  // namespace
